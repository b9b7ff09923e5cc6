#include "positionstore.h"

#include "networktype.h"
#include "textrules.h"
#include "userlistxml.h"
#include "wirerequests.h"

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
)";

// A row written by something other than this server (an edited file) must not reach the
// answers unchecked.
bool isSound(const RegisterRequest &profile)
{
    return profile.network >= 0 && profile.network < NetworkCount && profile.sex >= 0
        && profile.sex <= 2 && !profile.id.empty() && profile.id.size() <= MaxIdBytes
        && profile.name.size() <= MaxNameBytes && isXmlSafeUtf8(profile.id)
        && isXmlSafeUtf8(profile.name)
        && (profile.smallPicture.empty() || isWebAddress(profile.smallPicture))
        && (profile.mediumPicture.empty() || isWebAddress(profile.mediumPicture))
        && profile.smallPicture.size() <= MaxPictureBytes
        && profile.mediumPicture.size() <= MaxPictureBytes;
}

} // namespace

PositionStore::PositionStore(const std::string &path)
    : db(path)
{
    db.execute("PRAGMA busy_timeout = 5000");
    db.execute("PRAGMA journal_mode = WAL");
    db.execute("PRAGMA synchronous = FULL");
    db.execute(Schema);
    upsertPerson = std::make_unique<SqliteStatement>(db.handle(),
        "INSERT INTO person (network, ext_id, name, small_picture, medium_picture, sex) "
        "VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT (network, ext_id) DO UPDATE SET "
        "name = excluded.name, small_picture = excluded.small_picture, "
        "medium_picture = excluded.medium_picture, sex = excluded.sex RETURNING id");
    bindInstallation = std::make_unique<SqliteStatement>(db.handle(),
        "INSERT INTO installation (uid, person_id) VALUES (?1, ?2) "
        "ON CONFLICT (uid) DO UPDATE SET person_id = excluded.person_id");
    updatePosition = std::make_unique<SqliteStatement>(
        db.handle(), "UPDATE person SET lat = ?1, lon = ?2, seen_ms = ?3 WHERE id = ?4");
}

PositionStore::~PositionStore() = default;

void PositionStore::load(PresenceModel &model)
{
    SqliteStatement people(db.handle(),
        "SELECT id, network, ext_id, name, small_picture, medium_picture, "
        "sex, lat, lon, seen_ms FROM person");
    while (people.step()) {
        RegisterRequest profile;
        profile.network = static_cast<int>(people.integer(1));
        profile.id = people.text(2);
        profile.name = people.text(3);
        profile.smallPicture = people.text(4);
        profile.mediumPicture = people.text(5);
        profile.sex = static_cast<int>(people.integer(6));
        if (!isSound(profile))
            continue;
        const auto id = people.integer(0);
        model.setProfile(
            id, std::make_shared<const std::string>(UserListXml::profileFragment(profile)));
        if (people.isNull(7) || people.isNull(8) || people.isNull(9))
            continue;
        const double lat = people.real(7);
        const double lon = people.real(8);
        if (std::isfinite(lat) && std::isfinite(lon) && std::abs(lat) <= 90 && std::abs(lon) <= 180)
            model.restorePosition(id, lat, lon, people.integer(9));
    }
    SqliteStatement installations(db.handle(), "SELECT uid, person_id FROM installation");
    while (installations.step()) {
        const auto uid = Uuid::fromBraced(installations.text(0));
        if (uid)
            model.bindInstallation(*uid, installations.integer(1));
    }
}

bool PositionStore::commit(const std::vector<PositionRecord> &positions,
    const std::vector<const RegisterRequest *> &registrations, std::vector<std::int64_t> &personIds,
    std::string &error)
{
    personIds.clear();
    try {
        db.execute("BEGIN IMMEDIATE");
    } catch (const std::exception &e) {
        error = e.what();
        return false;
    }
    try {
        for (const auto &position : positions) {
            updatePosition->bind(1, position.lat)
                .bind(2, position.lon)
                .bind(3, position.timeMs)
                .bind(4, position.personId);
            updatePosition->step();
            updatePosition->reset();
        }
        for (const RegisterRequest *registration : registrations) {
            upsertPerson->bind(1, std::int64_t(registration->network))
                .bind(2, registration->id)
                .bind(3, registration->name)
                .bind(4, registration->smallPicture)
                .bind(5, registration->mediumPicture)
                .bind(6, std::int64_t(registration->sex));
            if (!upsertPerson->step())
                throw std::runtime_error("upsert gave no row id");
            const auto id = upsertPerson->integer(0);
            upsertPerson->step();
            upsertPerson->reset();
            bindInstallation->bind(1, registration->uid.toBraced()).bind(2, id);
            bindInstallation->step();
            bindInstallation->reset();
            personIds.push_back(id);
        }
        db.execute("COMMIT");
        return true;
    } catch (const std::exception &e) {
        error = e.what();
        updatePosition->reset();
        upsertPerson->reset();
        bindInstallation->reset();
        try {
            db.execute("ROLLBACK");
        } catch (const std::exception &) {
            // SQLite may already have rolled back on its own (a full disk does that).
        }
        personIds.clear();
        return false;
    }
}

} // namespace Pinrova::Server
