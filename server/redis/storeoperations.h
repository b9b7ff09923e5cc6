#pragma once

#include "base/limits.h"
#include "redis/client/rediscluster.h"
#include "redis/tilegeometry.h"
#include "store/peoplestore.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Pinrova::Server::Redis {

struct RedisStoreConfig
{
    std::string seeds; // "HOST:PORT[,HOST:PORT…]"
    std::chrono::milliseconds timeout = Limits::RedisTimeout; // every call to the cluster
    // Replicas that must hold a registration before it is answered (WAIT); 0 for a cluster
    // without replicas.
    int durableReplicas = Limits::RedisReplicas;
    // People silent (no Register, no position) for longer are deleted by Redis's expiry.
    std::int64_t retainMs = Limits::RetainMs;
    // People silent for longer are not listed, nor counted in crowd cells.
    std::int64_t forgetMs = Limits::ForgetMs;
    // Lists being searched at most; beyond, nearest answers Busy.
    std::size_t maxQueuedLists = Limits::MaxQueuedLists;
};

// The cluster store's write operations. Each is an object that owns itself (through the
// callbacks of its calls) for one operation on the cluster's thread, answers once, and is
// gone when its last call is back, the way NearestSearch serves a list.

// The call that takes a person out of a tile (its geo set, times, coordinates, profiles and
// crowd cells), sent to Keys::geo(tile).
std::vector<std::string> removeFromTile(const Tile &tile, const std::string &member);

// The calls of one operation in flight: the answer is Done when every call succeeded, else
// the first failure, given once the last call is back.
class StoreOperation : public std::enable_shared_from_this<StoreOperation>
{
public:
    virtual ~StoreOperation() = default;

protected:
    StoreOperation(
        RedisCluster &cluster, const RedisStoreConfig &config, PeopleStore::Done<StoreStatus> done);

    // A call that must succeed and, when check is given, whose answer check must accept.
    RedisCluster::Done expect(std::function<bool(const CallResult &)> check = {});
    // Holds the answer back while calls are still being sent; settle() lets it go.
    void hold() { ++open; }
    void settle(StoreStatus status);
    // Called once, with the outcome, just before the answer.
    virtual void finished(StoreStatus) { }

    std::string retain() const { return std::to_string(config.retainMs); }
    // The WAIT for a write that succeeded, on the node that took its last attempt.
    void waitForReplicas(const CallResult &written);

    RedisCluster &cluster;
    const RedisStoreConfig &config;

private:
    PeopleStore::Done<StoreStatus> done;
    int open = 0;
    StoreStatus outcome = StoreStatus::Done;
};

// A Register: the person's profile and the installation's binding, each acknowledged by the
// replicas asked for, so a master lost right after the answer loses neither; then the copy
// of the profile in the person's tile and the count of people.
class Registration : public StoreOperation
{
public:
    static void start(RedisCluster &cluster, const RedisStoreConfig &config, PersonRecord person,
        std::string profile, PeopleStore::Done<StoreStatus> done);

private:
    Registration(RedisCluster &cluster, const RedisStoreConfig &config, PersonRecord person,
        std::string profile, PeopleStore::Done<StoreStatus> done);
    void send();
    void bindKey(const std::string &hash);
    // A write's answer: a WAIT follows it on the node that took it.
    RedisCluster::Done written();
    void finished(StoreStatus status) override;

    const PersonRecord person;
    const std::string profile;
    const std::string member;
    std::string tile; // the tile the person is filed under, "" for none yet
};

// A position: the installation's person, then the position in its tile while the person's
// record says which tile they were in; a move also files the profile in the new tile and
// takes the person out of the old one.
class PositionUpdate : public StoreOperation
{
public:
    static void start(RedisCluster &cluster, const RedisStoreConfig &config,
        const PositionReport &position, std::int64_t nowMs, PeopleStore::Done<StoreStatus> done);

private:
    PositionUpdate(RedisCluster &cluster, const RedisStoreConfig &config,
        const PositionReport &position, std::int64_t nowMs, PeopleStore::Done<StoreStatus> done);
    void lookUp();
    void checkKey();
    void place(std::string found);
    void onPlaced(const CallResult &placed);
    void onMoved(const CallResult &moved);
    // Files the person's profile in the tile and the tile in the directory.
    void fileInTile(const std::string &profile);
    // A person whose record names this tile but whose profile the tile lost (the clean-up of
    // the silent, the tile's expiry, a late removal or a lost write) would be stored and never
    // listed: the profile is filed again from the person's record.
    void repairIfLost();

    const PositionReport position;
    const std::int64_t nowMs;
    const Tile tile;
    std::string member;
    bool placed = false; // the tile has the position
    bool profileInTile = true;
    bool stayed = false; // the person's record already named this tile
    bool repairing = false;
};

// Records a person as active now (and positioned, for a position) in the monitoring figures
// (see Keys::active); not waited for.
void countPerson(RedisCluster &cluster, const std::string &member, std::int64_t nowMs,
    bool position, std::int64_t retainMs);
// Takes a forgotten person out of those figures; not waited for.
void uncountPerson(RedisCluster &cluster, const std::string &member);

// The monitoring figures: the people not yet expired and the ones positioned since a time,
// from the count shards (a fixed number of calls, whatever the population).
class CountsTally : public std::enable_shared_from_this<CountsTally>
{
public:
    static void start(RedisCluster &cluster, std::int64_t onlineSinceMs, std::int64_t activeSinceMs,
        PeopleStore::Done<StoreCounts> done);

private:
    explicit CountsTally(PeopleStore::Done<StoreCounts> done);
    void onShard(const CallResult &counted);
    void close();

    PeopleStore::Done<StoreCounts> done;
    StoreCounts counts;
    std::size_t open = 1;
};

} // namespace Pinrova::Server::Redis
