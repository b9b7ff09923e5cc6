#pragma once

#include "peoplestore.h"

#include <atomic>
#include <cstdint>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace Pinrova::Server::Redis {

class RedisCluster;
struct RedisEndpoint;

struct RedisStoreConfig
{
    std::string seeds; // "HOST:PORT[,HOST:PORT…]"
    std::chrono::milliseconds timeout {1000}; // every call to the cluster
    // Replicas that must hold a registration before it is answered (WAIT); 0 for a cluster
    // without replicas.
    int durableReplicas = 1;
    // People silent (no Register, no position) for longer are deleted by Redis's expiry.
    std::int64_t retainMs = 30LL * 24 * 3600 * 1000;
};

// The store on a Redis Cluster: everything lives in the cluster, this process keeps only the
// slot map, so any number of instances serve the same people.
//
// One thread of its own runs a Boost.Asio io_context with the cluster client (hiredis' async
// API, one pipelined connection per master): the HTTP threads post a call and return, the
// answer comes back on this thread through done. A thread per call (a pool of blocking
// clients) would cap the calls in flight at the pool's size, and a slow master would hold
// them all; here a slow master costs timers, and the time-out answers Unavailable.
//
// Data (one hash tag per tile, per person, per installation):
//   {t:x.y}:g   geo set of the people whose newest position is in zoom-8 tile (x, y)
//   {t:x.y}:s   their last-seen times (ms), for "online" and retention
//   {t:x.y}:c   "lat lon seen" each, the exact coordinates (the geo set rounds them)
//   {t:x.y}:p   their profile fragments, copied so a view's answer needs the tile's shard only
//   {p:net:id}  the person: profile, the tile they are filed under, first registration
//   {u:uid}     the person an installation is bound to
//   {r:x.y}     the tiles ever occupied in a 16 × 16 region, for zoomed-out views
// Every key of a person or installation expires retainMs after their last Register or
// position, a tile's keys retainMs after its last position, and each position removes silent
// people of its tile; nobody walks the data to delete it.
// Times are the instances' clocks (ms since the epoch), written with each position: instances
// are assumed to be NTP-synchronised to well under a second, far inside the online window.
class RedisPeopleStore : public PeopleStore
{
public:
    // Throws std::invalid_argument when the seeds do not parse; an unreachable cluster is not
    // an error (calls answer Unavailable until it is back).
    explicit RedisPeopleStore(RedisStoreConfig config);
    ~RedisPeopleStore() override;
    RedisPeopleStore(const RedisPeopleStore &) = delete;
    RedisPeopleStore &operator=(const RedisPeopleStore &) = delete;

    void registerPerson(RegisterRequest registration, Done<StoreStatus> done) override;
    void setPosition(
        const SetPosRequest &position, std::int64_t nowMs, Done<StoreStatus> done) override;
    void nearest(const NearestQuery &query, Done<NearestAnswer> done) override;
    void sweep(std::int64_t silentBeforeMs, Done<SweepResult> done) override;
    void counts(std::int64_t onlineSinceMs, Done<StoreCounts> done) override;
    void stop() override;

private:
    struct Loop;

    // Runs work on the store's thread; false (work dropped) once stopped.
    template<typename Work> bool post(Work work);

    const RedisStoreConfig config;
    std::unique_ptr<Loop> loop;
    std::atomic<bool> stopped {false};
};

} // namespace Pinrova::Server::Redis
