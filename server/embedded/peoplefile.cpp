#include "embedded/peoplefile.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace Pinrova::Server {

namespace {

const char *const Schema = R"(
CREATE TABLE IF NOT EXISTS person (
    id INTEGER PRIMARY KEY,
    network INTEGER NOT NULL,
    ext_id TEXT NOT NULL,
    name TEXT NOT NULL,
    small_picture TEXT NOT NULL,
    medium_picture TEXT NOT NULL,
    sex INTEGER NOT NULL,
    lat REAL,
    lon REAL,
    seen_ms INTEGER,
    UNIQUE (network, ext_id)
);
CREATE TABLE IF NOT EXISTS installation (
    uid TEXT PRIMARY KEY,
    person_id INTEGER NOT NULL REFERENCES person (id)
) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS installation_person ON installation (person_id);
CREATE TABLE IF NOT EXISTS position (
    person_id INTEGER PRIMARY KEY,
    lat REAL NOT NULL,
    lon REAL NOT NULL,
    seen_ms INTEGER NOT NULL
);
)";
// person.lat, lon and seen_ms are read only from files written before positions had their own
// table; they are left as they are, so such a file still opens in an older build.

} // namespace

PeopleFile::PeopleFile(const std::string &path)
    : db(path)
{
    db.execute("PRAGMA busy_timeout = 5000");
    db.execute("PRAGMA journal_mode = WAL");
    db.execute("PRAGMA synchronous = FULL");
    // Deleted rows are overwritten with zeros, freed pages too: a person who asked to be
    // forgotten leaves no copy in the file's free space.
    db.execute("PRAGMA secure_delete = ON");
    db.execute(Schema);
    bool hasRegisteredMs = false;
    {
        SqliteStatement columns(db.handle(), "SELECT name FROM pragma_table_info('person')");
        while (columns.step())
            hasRegisteredMs = hasRegisteredMs || columns.text(0) == "registered_ms";
    }
    if (!hasRegisteredMs)
        db.execute("ALTER TABLE person ADD COLUMN registered_ms INTEGER");
    addKeysAndHiding();
    upsertPerson = std::make_unique<SqliteStatement>(db.handle(),
        "INSERT INTO person (network, ext_id, name, small_picture, medium_picture, sex, "
        "registered_ms) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7) ON CONFLICT (network, ext_id) DO "
        "UPDATE SET name = excluded.name, small_picture = excluded.small_picture, "
        "medium_picture = excluded.medium_picture, sex = excluded.sex, "
        "registered_ms = excluded.registered_ms, hidden = 0 RETURNING id");
    bindInstallation = std::make_unique<SqliteStatement>(db.handle(),
        "INSERT INTO installation (uid, person_id, key_hash) VALUES (?1, ?2, ?3) "
        "ON CONFLICT (uid) DO UPDATE SET person_id = excluded.person_id, "
        "key_hash = excluded.key_hash");
    hidePerson = std::make_unique<SqliteStatement>(db.handle(),
        "UPDATE person SET hidden = 1, lat = NULL, lon = NULL, seen_ms = NULL WHERE id = ?1");
    upsertPosition = std::make_unique<SqliteStatement>(db.handle(),
        "INSERT INTO position (person_id, lat, lon, seen_ms) VALUES (?1, ?2, ?3, ?4) "
        "ON CONFLICT (person_id) DO UPDATE SET lat = excluded.lat, lon = excluded.lon, "
        "seen_ms = excluded.seen_ms");
    deletePerson
        = std::make_unique<SqliteStatement>(db.handle(), "DELETE FROM person WHERE id = ?1");
    deleteInstallations = std::make_unique<SqliteStatement>(
        db.handle(), "DELETE FROM installation WHERE person_id = ?1");
    deletePosition = std::make_unique<SqliteStatement>(
        db.handle(), "DELETE FROM position WHERE person_id = ?1");
}

PeopleFile::~PeopleFile() = default;

void PeopleFile::load(PresenceModel &model, std::int64_t nowMs, const ProfileRenderer &render)
{
    SqliteStatement people(db.handle(),
        "SELECT p.id, p.network, p.ext_id, p.name, p.small_picture, p.medium_picture, p.sex, "
        "coalesce(q.lat, p.lat), coalesce(q.lon, p.lon), coalesce(q.seen_ms, p.seen_ms), "
        "p.registered_ms, p.hidden FROM person p LEFT JOIN position q ON q.person_id = p.id");
    while (people.step()) {
        PersonRecord profile;
        profile.network = static_cast<int>(people.integer(1));
        profile.id = people.text(2);
        profile.name = people.text(3);
        profile.smallPicture = people.text(4);
        profile.mediumPicture = people.text(5);
        profile.sex = static_cast<int>(people.integer(6));
        // A row written by something other than this service (an edited file) must not reach
        // the answers unchecked: the renderer refuses what no Register could have carried.
        auto listed = render(profile);
        if (!listed)
            continue;
        const auto id = people.integer(0);
        model.setProfile(id, std::make_shared<const std::string>(std::move(*listed)),
            people.isNull(10) ? nowMs : people.integer(10));
        if (people.integer(11) != 0) {
            model.restoreHidden(id);
            continue;
        }
        if (people.isNull(7) || people.isNull(8) || people.isNull(9))
            continue;
        const double lat = people.real(7);
        const double lon = people.real(8);
        if (std::isfinite(lat) && std::isfinite(lon) && std::abs(lat) <= 90 && std::abs(lon) <= 180)
            model.restorePosition(id, lat, lon, people.integer(9));
    }
    SqliteStatement installations(db.handle(), "SELECT uid, person_id, key_hash FROM installation");
    while (installations.step()) {
        const auto uid = Uuid::fromBraced(installations.text(0));
        if (!uid)
            continue;
        // A key of any other length (an edited file) is no key: that installation must
        // register again before its reports are taken.
        std::optional<KeyHash> key;
        const std::string stored = installations.blob(2);
        if (stored.size() == KeyHash().size()) {
            key.emplace();
            std::copy(stored.begin(), stored.end(), key->begin());
        }
        model.bindInstallation(*uid, installations.integer(1), key);
    }
}

bool PeopleFile::inTransaction(const std::function<void()> &work, std::string &error)
{
    try {
        db.execute("BEGIN IMMEDIATE");
    } catch (const std::exception &e) {
        error = e.what();
        return false;
    }
    try {
        work();
        db.execute("COMMIT");
        return true;
    } catch (const std::exception &e) {
        error = e.what();
        for (auto *statement :
            {upsertPosition.get(), upsertPerson.get(), bindInstallation.get(), deletePerson.get(),
                deleteInstallations.get(), deletePosition.get(), hidePerson.get()})
            statement->reset();
        try {
            db.execute("ROLLBACK");
        } catch (const std::exception &) {
            // SQLite may already have rolled back on its own (a full disk does that).
        }
        return false;
    }
}

bool PeopleFile::commit(const std::vector<PositionRecord> &positions,
    const std::vector<const PersonRecord *> &registrations, std::int64_t nowMs,
    std::vector<std::int64_t> &personIds, std::string &error)
{
    personIds.clear();
    const bool done = inTransaction(
        [&] {
            for (const auto &position : positions) {
                upsertPosition->bind(1, position.personId)
                    .bind(2, position.lat)
                    .bind(3, position.lon)
                    .bind(4, position.timeMs);
                upsertPosition->step();
                upsertPosition->reset();
            }
            for (const PersonRecord *registration : registrations) {
                upsertPerson->bind(1, std::int64_t(registration->network))
                    .bind(2, registration->id)
                    .bind(3, registration->name)
                    .bind(4, registration->smallPicture)
                    .bind(5, registration->mediumPicture)
                    .bind(6, std::int64_t(registration->sex))
                    .bind(7, nowMs);
                if (!upsertPerson->step())
                    throw std::runtime_error("upsert gave no row id");
                const auto id = upsertPerson->integer(0);
                upsertPerson->step();
                upsertPerson->reset();
                bindInstallation->bind(1, registration->uid.toBraced()).bind(2, id);
                if (registration->keyHash)
                    bindInstallation->bindBlob(
                        3, registration->keyHash->data(), registration->keyHash->size());
                else
                    bindInstallation->bindNull(3);
                bindInstallation->step();
                bindInstallation->reset();
                personIds.push_back(id);
            }
        },
        error);
    if (!done)
        personIds.clear();
    return done;
}

bool PeopleFile::remove(const std::vector<std::int64_t> &personIds, std::string &error)
{
    return inTransaction(
        [&] {
            for (const auto id : personIds) {
                for (auto *statement :
                    {deleteInstallations.get(), deletePosition.get(), deletePerson.get()}) {
                    statement->bind(1, id);
                    statement->step();
                    statement->reset();
                }
            }
        },
        error);
}

void PeopleFile::addKeysAndHiding()
{
    // Files written before keys and hiding get the columns, empty: their installations have
    // no key (they register again for one) and nobody in them is hidden.
    bool hasKeyHash = false;
    bool hasHidden = false;
    {
        SqliteStatement columns(db.handle(), "SELECT name FROM pragma_table_info('installation')");
        while (columns.step())
            hasKeyHash = hasKeyHash || columns.text(0) == "key_hash";
    }
    {
        SqliteStatement columns(db.handle(), "SELECT name FROM pragma_table_info('person')");
        while (columns.step())
            hasHidden = hasHidden || columns.text(0) == "hidden";
    }
    if (!hasKeyHash)
        db.execute("ALTER TABLE installation ADD COLUMN key_hash BLOB");
    if (!hasHidden)
        db.execute("ALTER TABLE person ADD COLUMN hidden INTEGER NOT NULL DEFAULT 0");
}

bool PeopleFile::hide(std::int64_t personId, std::string &error)
{
    return inTransaction(
        [&] {
            for (auto *statement : {deletePosition.get(), hidePerson.get()}) {
                statement->bind(1, personId);
                statement->step();
                statement->reset();
            }
        },
        error);
}

bool PeopleFile::truncateLog(std::string &error)
{
    try {
        SqliteStatement checkpoint(db.handle(), "PRAGMA wal_checkpoint(TRUNCATE)");
        if (checkpoint.step() && checkpoint.integer(0) != 0) {
            error = "the log could not be emptied: the file is busy";
            return false;
        }
    } catch (const std::exception &e) {
        error = e.what();
        return false;
    }
    return true;
}

} // namespace Pinrova::Server
