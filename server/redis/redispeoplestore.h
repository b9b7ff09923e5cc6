#pragma once

#include "redis/storeoperations.h"
#include "store/peoplestore.h"

#include <atomic>
#include <memory>

namespace Pinrova::Server::Redis {

// The store on a Redis Cluster: everything lives in the cluster (see storekeys.h), this
// process keeps only the slot map, so any number of instances serve the same people.
//
// One thread of its own runs a Boost.Asio io_context with the cluster client (hiredis' async
// API, one pipelined connection per master): the HTTP threads post a call and return, the
// answer comes back on this thread through done. A thread per call (a pool of blocking
// clients) would cap the calls in flight at the pool's size, and a slow master would hold
// them all; here a slow master costs timers, and the time-out answers Unavailable.
// Times are the instances' clocks (ms since the epoch), written with each position: instances
// are assumed to be NTP-synchronised to well under a second, far inside the online window.
class RedisPeopleStore : public PeopleStore
{
public:
    // Throws std::invalid_argument when the seeds do not parse; an unreachable cluster is not
    // an error (calls answer Unavailable until it is back). render gives each person's
    // listed profile.
    RedisPeopleStore(RedisStoreConfig config, ProfileRenderer render);
    ~RedisPeopleStore() override;
    RedisPeopleStore(const RedisPeopleStore &) = delete;
    RedisPeopleStore &operator=(const RedisPeopleStore &) = delete;

    void registerPerson(PersonRecord person, Done<StoreStatus> done) override;
    void setPosition(
        const PositionReport &position, std::int64_t nowMs, Done<StoreStatus> done) override;
    void nearest(const NearestQuery &query, Done<NearestAnswer> done) override;
    void sweep(std::int64_t silentBeforeMs, Done<SweepResult> done) override;
    void hide(
        const Uuid &uid, const std::optional<KeyHash> &keyHash, Done<StoreStatus> done) override;
    void forget(
        const Uuid &uid, const std::optional<KeyHash> &keyHash, Done<StoreStatus> done) override;
    void counts(std::int64_t onlineSinceMs, Done<StoreCounts> done) override;
    void stop() override;

private:
    struct Loop;

    // Runs work on the store's thread; false (work dropped) once stopped.
    template<typename Work> bool post(Work work);

    const RedisStoreConfig config;
    const ProfileRenderer render;
    std::unique_ptr<Loop> loop;
    std::atomic<std::size_t> listsInHand {0};
    std::atomic<bool> stopped {false};
};

} // namespace Pinrova::Server::Redis
