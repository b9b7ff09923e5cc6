#pragma once

#include "embedded/presencemodel.h"
#include "embedded/sqlitedatabase.h"
#include "store/peoplestore.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Pinrova::Server {

// The SQLite file behind the model: people, the installations bound to them, and each
// person's last written position in a narrow row of its own, so a report rewrites a few dozen
// bytes rather than the whole profile. WAL mode with full sync, so a commit survives a crash
// of the process or of the machine and a torn write never damages the file. Used from one
// thread.
class PeopleFile
{
public:
    explicit PeopleFile(const std::string &path);
    ~PeopleFile();

    // Reads everyone into model with the profile render gives them, leaving out those it
    // refuses; a person without a stored registration time counts as registered at nowMs.
    void load(PresenceModel &model, std::int64_t nowMs, const ProfileRenderer &render);

    // Writes positions and registrations (made at nowMs) in one transaction. personIds
    // receives the row id of each registration's person. False (and nothing written) on
    // failure; error says why.
    bool commit(const std::vector<PositionRecord> &positions,
        const std::vector<const PersonRecord *> &registrations, std::int64_t nowMs,
        std::vector<std::int64_t> &personIds, std::string &error);

    // Deletes the people with these row ids, their installations and positions, in one
    // transaction. False (and nothing deleted) on failure.
    bool remove(const std::vector<std::int64_t> &personIds, std::string &error);

    // Deletes the person's position and marks them hidden until they register again.
    bool hide(std::int64_t personId, std::string &error);
    // Copies the log into the file and cuts it to nothing, so rows deleted before (zeroed in
    // the file's pages) leave no older copy there. False (error says why) when it could not.
    bool truncateLog(std::string &error);

private:
    bool inTransaction(const std::function<void()> &work, std::string &error);
    void addKeysAndHiding();

    SqliteDatabase db;
    std::unique_ptr<SqliteStatement> upsertPerson;
    std::unique_ptr<SqliteStatement> bindInstallation;
    std::unique_ptr<SqliteStatement> upsertPosition;
    std::unique_ptr<SqliteStatement> deletePerson;
    std::unique_ptr<SqliteStatement> deleteInstallations;
    std::unique_ptr<SqliteStatement> deletePosition;
    std::unique_ptr<SqliteStatement> hidePerson;
};

} // namespace Pinrova::Server
