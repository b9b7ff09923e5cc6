#pragma once

#include "presencemodel.h"
#include "sqlitedatabase.h"

#include <memory>
#include <string>
#include <vector>

namespace Pinrova::Server {

struct RegisterRequest;

// The SQLite file behind the model: people with their last written position, and the
// installations bound to them. WAL mode with full sync, so a commit survives a crash of the
// process or of the machine and a torn write never damages the file. Used from one thread.
class PositionStore
{
public:
    explicit PositionStore(const std::string &path);
    ~PositionStore();

    // Reads every stored person and installation into model.
    void load(PresenceModel &model);

    // Writes positions and registrations in one transaction. personIds receives the row id
    // of each registration's person. False (and nothing written) on failure; error says why.
    bool commit(const std::vector<PositionRecord> &positions,
        const std::vector<const RegisterRequest *> &registrations,
        std::vector<std::int64_t> &personIds, std::string &error);

private:
    SqliteDatabase db;
    std::unique_ptr<SqliteStatement> upsertPerson;
    std::unique_ptr<SqliteStatement> bindInstallation;
    std::unique_ptr<SqliteStatement> updatePosition;
};

} // namespace Pinrova::Server
