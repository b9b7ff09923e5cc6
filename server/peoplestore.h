#pragma once

#include "wirerequests.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Pinrova::Server {

// What a store call came to.
enum class StoreStatus {
    Done,
    UnknownUid, // a position for a uid no Register has bound: nothing stored
    Busy, // the write queue is full: nothing stored, the client may try again shortly
    Unavailable, // the backend failed or did not answer in time: nothing is promised stored
};

// One person of a nearest query's answer.
struct ListedPerson
{
    double lat = 0;
    double lon = 0;
    std::int64_t seenMs = 0; // when the position was reported, ms since the epoch
    // The person's profile as UserListXml::profileFragment renders their last Register.
    std::shared_ptr<const std::string> profile;
};

struct NearestQuery
{
    GetUsersRequest area; // centre, zoom and view size in pixels
    std::int64_t seenSinceMs = 0; // people whose newest position is older are left out
    std::size_t limit = 150;
};

struct NearestAnswer
{
    StoreStatus status = StoreStatus::Done;
    // The people whose position is inside MapView(area), at most limit of them, nearest first
    // by MapView::distanceSquared; equal distances in an order the store keeps fixed (the
    // embedded store: the person's row id). Exactly the first limit of a scan of everyone.
    std::vector<ListedPerson> people;
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

// Where people, their installations and positions live, behind the request handling. The
// embedded store (SQLite file, memory index) is the default; other backends answer the same
// calls.
//
// Threading: every call returns without waiting on disk or network; its done is called
// exactly once, either before the call returns or later on a thread of the store. done must
// not block (the service hands the answer to the connection's own thread) and must not call
// the store. A backend bounds every call with its own time-out and then answers Unavailable,
// so no request is ever left unanswered and no HTTP thread waits on a slow backend. Calls may
// come from several threads at once. Once stop() has returned no done is called any more;
// calls made after it are answered Unavailable at once.
class PeopleStore
{
public:
    template<typename Result> using Done = std::function<void(Result)>;

    virtual ~PeopleStore() = default;

    // Binds registration.uid to the person (network, id), whose profile it replaces. Done
    // only once it is durable: a crash after the answer never loses it.
    virtual void registerPerson(RegisterRequest registration, Done<StoreStatus> done) = 0;

    // The newest position of the person uid is bound to, seen at nowMs. Done once it is in
    // memory and queued for storage; a crash may lose the last interval's positions. Busy when
    // the queue to storage is full.
    virtual void setPosition(
        const SetPosRequest &position, std::int64_t nowMs, Done<StoreStatus> done)
        = 0;

    // The nearest people in the query's view (see NearestAnswer).
    virtual void nearest(const NearestQuery &query, Done<NearestAnswer> done) = 0;

    // Deletes everyone (profile, installations, position) silent since before silentBeforeMs:
    // both their last Register and their newest position (if any) are older.
    virtual void sweep(std::int64_t silentBeforeMs, Done<SweepResult> done) = 0;

    // Figures for monitoring; online counts positions at or after onlineSinceMs.
    virtual void counts(std::int64_t onlineSinceMs, Done<StoreCounts> done) = 0;

    // Writes what is queued (bounded by the backend's time-out) and ends the store's work.
    virtual void stop() = 0;
};

} // namespace Pinrova::Server
