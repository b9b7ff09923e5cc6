#pragma once

#include "base/limits.h"
#include "store/mapprojection.h"
#include "store/uuid.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Pinrova::Server {

// The SHA-256 of a session key. The store keeps and compares only this, never the key.
using KeyHash = std::array<unsigned char, 32>;

// A person as the store keeps them: one network identity (network, id) with its profile, and
// the installation uid that is bound to them by this record.
struct PersonRecord
{
    Uuid uid;
    int network = 0;
    std::string id;
    std::string name;
    std::string smallPicture;
    std::string mediumPicture;
    int sex = 0; // 0 unknown, 1 male, 2 female
    // The installation's new session key, replacing the one it had; none where the service
    // runs without keys (open registration). Kept until the person's retention ends.
    std::optional<KeyHash> keyHash;
};

// The newest position of the person an installation is bound to.
struct PositionReport
{
    Uuid uid;
    double lat = 0;
    double lon = 0;
    // When set, it must be the session key of uid, or nothing is stored (BadKey).
    std::optional<KeyHash> keyHash;
};

// A person's profile as every list shows it, rendered by the store's owner when the person is
// registered or read back, and kept by the store as opaque bytes: a list then copies it rather
// than render it again. Nothing for a record the owner would never have accepted (a row
// written by something other than this service): such a person is not loaded.
using ProfileRenderer = std::function<std::optional<std::string>(const PersonRecord &)>;

// Who is listed and how, and how long people are kept.
struct ListingPolicy
{
    std::int64_t onlineMs = Limits::OnlineMs;
    std::int64_t forgetMs = Limits::ForgetMs;
    std::size_t maxUsers = Limits::MaxUsers;
    std::int64_t retainMs = Limits::RetainMs; // silent longer: deleted
};

// What a store call came to.
enum class StoreStatus {
    Done,
    UnknownUid, // a position for a uid no Register has bound: nothing stored
    Busy, // a queue is full: nothing stored or listed, the client may try again shortly
    Unavailable, // the backend failed or did not answer in time: nothing is promised stored
    BadKey, // the session key is not the uid's (or, for a list, not any live key): nothing done
    Hidden, // the person asked to be hidden and has not registered since: nothing stored
};

// One person of a nearest query's answer.
struct ListedPerson
{
    double lat = 0;
    double lon = 0;
    std::int64_t seenMs = 0; // when the position was reported, ms since the epoch
    std::shared_ptr<const std::string> profile; // as the ProfileRenderer rendered it
};

struct NearestQuery
{
    MapView view = MapView(0, 0, 0);
    std::int64_t seenSinceMs = 0; // people whose newest position is older are left out
    std::size_t limit = Limits::MaxUsers;
    // When set, it must be a live session key of anyone, or nothing is listed (BadKey).
    std::optional<KeyHash> keyHash;
    // Also count the people of the view per crowd cell (NearestAnswer::crowds).
    bool crowds = false;
};

// Crowd cells are the map tiles CrowdCellZoomOffset zoom levels below the view's (64 world
// pixels of a 256-pixel tile).
constexpr int crowdCellZoomOffset()
{
    int offset = 0;
    for (int pixels = Limits::CrowdCellPixels; pixels < 256; pixels *= 2)
        ++offset;
    return offset;
}
constexpr int CrowdCellZoomOffset = crowdCellZoomOffset();
static_assert(256 >> CrowdCellZoomOffset == Limits::CrowdCellPixels,
    "a crowd cell is a power-of-two part of a tile");

// One cell of Limits::CrowdCellPixels x CrowdCellPixels world pixels at the view's zoom,
// aligned to world pixel coordinates, that holds listable people.
struct Crowd
{
    // A point inside the cell: its people's mean position, or the cell's centre.
    double lat = 0;
    double lon = 0;
    // The people a list would show in the cell (neither forgotten nor hidden), minus those of
    // this answer who stand in it; a cell whose count comes to 0 is left out.
    std::size_t count = 0;
};

struct NearestAnswer
{
    StoreStatus status = StoreStatus::Done;
    // The people whose position is inside the view, at most limit of them, nearest first by
    // MapView::distanceSquared; equal distances in an order the store keeps fixed (the
    // embedded store: the person's row id). Exactly the first limit of a scan of everyone.
    std::vector<ListedPerson> people;
    // Only when the query asked for crowds: the view's cells, each once, in no set order.
    std::vector<Crowd> crowds;
};

struct SweepResult
{
    StoreStatus status = StoreStatus::Done;
    std::size_t removed = 0;
};

struct StoreCounts
{
    StoreStatus status = StoreStatus::Done;
    std::size_t people = 0; // stored
    std::size_t online = 0; // with a position at or after the given time
    std::size_t writeQueue = 0; // positions and registrations not yet in durable storage
};

// Told of a store's own work, from its threads: thread-safe and quick.
class StoreEvents
{
public:
    virtual ~StoreEvents() = default;
    // A write transaction took micros; stored false when it failed.
    virtual void commitTimed(std::int64_t micros, bool stored) = 0;
    // People deleted for having been silent past the retention time.
    virtual void peopleSwept(std::size_t removed) = 0;
};

// Where people, their installations and positions live, behind the request handling. The
// embedded store (SQLite file, memory index) is the default; other backends answer the same
// calls.
//
// Threading: every call returns without waiting on disk or network; its done is called
// exactly once, either before the call returns or later on a thread of the store. done must
// not block and must not call the store. A backend bounds every call with its own time-out
// and then answers Unavailable, so no request is ever left unanswered and no HTTP thread
// waits on a slow backend; it bounds the lists it has in hand and answers Busy beyond. Calls
// may come from several threads at once. Once stop() has returned no done is called any
// more; calls made after it are answered Unavailable at once.
class PeopleStore
{
public:
    template<typename Result> using Done = std::function<void(Result)>;

    virtual ~PeopleStore() = default;

    // Binds person.uid to the person (network, id), whose profile it replaces. Done only once
    // it is durable: a crash after the answer never loses it.
    virtual void registerPerson(PersonRecord person, Done<StoreStatus> done) = 0;

    // The newest position of the person uid is bound to, seen at nowMs. Done once it is in
    // memory and queued for storage; a crash may lose the last interval's positions. Busy when
    // the queue to storage is full.
    virtual void setPosition(
        const PositionReport &position, std::int64_t nowMs, Done<StoreStatus> done)
        = 0;

    // The nearest people in the query's view (see NearestAnswer); Busy when too many lists
    // are already waiting.
    virtual void nearest(const NearestQuery &query, Done<NearestAnswer> done) = 0;

    // Deletes everyone (profile, installations, position) silent since before silentBeforeMs:
    // both their last Register and their newest position (if any) are older.
    virtual void sweep(std::int64_t silentBeforeMs, Done<SweepResult> done) = 0;

    // Stops listing the person uid is bound to and deletes their last position; until their
    // next Register, setPosition answers Hidden. keyHash, when set, must be uid's key (BadKey).
    virtual void hide(
        const Uuid &uid, const std::optional<KeyHash> &keyHash, Done<StoreStatus> done);

    // Deletes the person uid is bound to: profile, every installation of theirs, position and
    // keys, from memory and from durable storage, so that no copy of them survives there.
    // Done only once it is durable. keyHash, when set, must be uid's key (BadKey).
    virtual void forget(
        const Uuid &uid, const std::optional<KeyHash> &keyHash, Done<StoreStatus> done);

    // Figures for monitoring; online counts positions at or after onlineSinceMs.
    virtual void counts(std::int64_t onlineSinceMs, Done<StoreCounts> done) = 0;

    // Writes what is queued (bounded by the backend's time-out) and ends the store's work.
    virtual void stop() = 0;
};

// A backend that cannot hide or forget yet says so rather than claim it did.
inline void PeopleStore::hide(const Uuid &, const std::optional<KeyHash> &, Done<StoreStatus> done)
{
    done(StoreStatus::Unavailable);
}

inline void PeopleStore::forget(
    const Uuid &, const std::optional<KeyHash> &, Done<StoreStatus> done)
{
    done(StoreStatus::Unavailable);
}

} // namespace Pinrova::Server
