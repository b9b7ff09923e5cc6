#include "redis/storeoperations.h"

#include "redis/crowdcount.h"
#include "redis/privacyscripts.h"
#include "redis/redisscripts.h"
#include "redis/storekeys.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace Pinrova::Server::Redis {

namespace {

std::int64_t wallClockMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

std::vector<std::string> removeFromTile(const Tile &tile, const std::string &member)
{
    return {"EVAL", Scripts::RemoveFromTile, "5", Keys::geo(tile), Keys::seen(tile),
        Keys::coordinates(tile), Keys::profiles(tile), Keys::cells(tile), member};
}

void countPerson(RedisCluster &cluster, const std::string &member, std::int64_t nowMs,
    bool position, std::int64_t retainMs)
{
    // Not waited for: a lost count costs monitoring, never the answer.
    const int shard = Keys::countShard(member);
    cluster.call(Keys::active(shard),
        {"EVAL", Scripts::CountPerson, "2", Keys::active(shard), Keys::positioned(shard), member,
            std::to_string(nowMs), position ? "1" : "0", std::to_string(retainMs)},
        [](CallResult) {});
}

void uncountPerson(RedisCluster &cluster, const std::string &member)
{
    // Not waited for either: a forgotten person leaves monitoring's figures now rather than
    // at their expiry.
    const int shard = Keys::countShard(member);
    cluster.call(Keys::active(shard), {"ZREM", Keys::active(shard), member}, [](CallResult) {});
    cluster.call(
        Keys::positioned(shard), {"ZREM", Keys::positioned(shard), member}, [](CallResult) {});
}

StoreOperation::StoreOperation(
    RedisCluster &cluster, const RedisStoreConfig &config, PeopleStore::Done<StoreStatus> done)
    : cluster(cluster)
    , config(config)
    , done(std::move(done))
{ }

RedisCluster::Done StoreOperation::expect(std::function<bool(const CallResult &)> check)
{
    ++open;
    return [self = shared_from_this(), check = std::move(check)](CallResult result) {
        const bool good = result.ok() && (!check || check(result));
        self->settle(good ? StoreStatus::Done : StoreStatus::Unavailable);
    };
}

void StoreOperation::settle(StoreStatus status)
{
    if (status != StoreStatus::Done && outcome == StoreStatus::Done)
        outcome = status;
    if (--open > 0 || !done)
        return;
    auto answer = std::move(done);
    done = nullptr;
    finished(outcome);
    answer(outcome);
}

void Registration::start(RedisCluster &cluster, const RedisStoreConfig &config, PersonRecord person,
    std::string profile, PeopleStore::Done<StoreStatus> done)
{
    std::shared_ptr<Registration> registration(
        new Registration(cluster, config, std::move(person), std::move(profile), std::move(done)));
    registration->send();
}

Registration::Registration(RedisCluster &cluster, const RedisStoreConfig &config,
    PersonRecord person, std::string profile, PeopleStore::Done<StoreStatus> done)
    : StoreOperation(cluster, config, std::move(done))
    , person(std::move(person))
    , profile(std::move(profile))
    , member(Keys::personMember(this->person.network, this->person.id))
{ }

void Registration::send()
{
    const std::string personKey = Keys::person(member);
    const std::string uidKey = Keys::installation(person.uid);
    auto self = std::static_pointer_cast<Registration>(shared_from_this());
    hold(); // until every write is sent
    hold(); // the person's write's answer; the others hold in written() and bindKey()
    cluster.callBlocking(personKey,
        {"EVAL", Scripts::RegisterPerson, "1", personKey, profile, std::to_string(wallClockMs()),
            retain()},
        [self](CallResult result) {
            const auto &parts = result.reply.elements;
            const bool good = result.ok() && parts.size() == 2;
            if (good) {
                self->tile = parts[1].text;
                self->waitForReplicas(result);
            }
            self->settle(good ? StoreStatus::Done : StoreStatus::Unavailable);
        });
    cluster.callBlocking(personKey,
        {"EVAL", Scripts::RegisterInstallation, "2", personKey, Keys::installations(member),
            person.uid.toHex(), retain()},
        written());
    cluster.callBlocking(uidKey, {"SET", uidKey, member, "PX", retain()}, written());
    if (person.keyHash)
        bindKey(Keys::hashHex(*person.keyHash));
    settle(StoreStatus::Done);
}

RedisCluster::Done Registration::written()
{
    hold();
    return [self = std::static_pointer_cast<Registration>(shared_from_this())](CallResult result) {
        if (result.ok())
            self->waitForReplicas(result);
        self->settle(result.ok() ? StoreStatus::Done : StoreStatus::Unavailable);
    };
}

void StoreOperation::waitForReplicas(const CallResult &written)
{
    if (config.durableReplicas <= 0)
        return;
    // Sent once the write is answered, on the connection that carried its last attempt: a
    // WAIT pipelined behind the first attempt would have run before a retried or redirected
    // write. WAIT ends before the call's time-out, so its own answer says how many replicas
    // acknowledged, not the time-out.
    const std::string waitMs = std::to_string(std::max<long long>(1, config.timeout.count() / 2));
    cluster.callBlockingOn(written.node, {"WAIT", std::to_string(config.durableReplicas), waitMs},
        expect([n = config.durableReplicas](
                   const CallResult &result) { return result.reply.integer >= n; }));
}

void Registration::bindKey(const std::string &hash)
{
    // Each of the key's writes is followed by a WAIT of its own, as the installation's is.
    const std::string uidKey = Keys::installationKey(person.uid);
    const std::string entry = Keys::sessionKey(hash);
    auto self = std::static_pointer_cast<Registration>(shared_from_this());
    hold();
    cluster.callBlocking(uidKey,
        {"EVAL", Scripts::BindKey, "1", uidKey, hash, std::to_string(wallClockMs()), retain()},
        [self, hash](CallResult result) {
            if (result.ok()) {
                const std::string &old = result.reply.text;
                // The replaced key no longer lists anyone, on the replicas either.
                if (!old.empty() && old != hash) {
                    const std::string stale = Keys::sessionKey(old);
                    self->cluster.callBlocking(stale, {"DEL", stale}, self->written());
                }
                self->waitForReplicas(result);
            }
            self->settle(result.ok() ? StoreStatus::Done : StoreStatus::Unavailable);
        });
    cluster.callBlocking(entry, {"SET", entry, person.uid.toHex(), "PX", retain()}, written());
}

void Registration::finished(StoreStatus status)
{
    if (status != StoreStatus::Done)
        return;
    // Not waited for: the person is durable already, and a later position refreshes these.
    bool ok = false;
    const Tile filed = Tile::fromName(tile, &ok);
    if (ok) {
        cluster.call(Keys::coordinates(filed),
            {"EVAL", Scripts::RefreshProfile, "2", Keys::coordinates(filed), Keys::profiles(filed),
                member, profile},
            [](CallResult) {});
    }
    countPerson(cluster, member, wallClockMs(), false, config.retainMs);
}

void PositionUpdate::start(RedisCluster &cluster, const RedisStoreConfig &config,
    const PositionReport &position, std::int64_t nowMs, PeopleStore::Done<StoreStatus> done)
{
    std::shared_ptr<PositionUpdate> update(
        new PositionUpdate(cluster, config, position, nowMs, std::move(done)));
    update->lookUp();
}

PositionUpdate::PositionUpdate(RedisCluster &cluster, const RedisStoreConfig &config,
    const PositionReport &position, std::int64_t nowMs, PeopleStore::Done<StoreStatus> done)
    : StoreOperation(cluster, config, std::move(done))
    , position(position)
    , nowMs(nowMs)
    , tile(Tile::of(position.lat, position.lon))
{ }

void PositionUpdate::lookUp()
{
    const std::string uidKey = Keys::installation(position.uid);
    auto self = std::static_pointer_cast<PositionUpdate>(shared_from_this());
    hold();
    if (position.keyHash)
        return checkKey();
    cluster.call(uidKey, {"GETEX", uidKey, "PX", retain()}, [self](CallResult found) {
        if (!found.ok())
            return self->settle(StoreStatus::Unavailable);
        if (found.reply.isNil())
            return self->settle(StoreStatus::UnknownUid);
        self->place(found.reply.text);
    });
}

void PositionUpdate::checkKey()
{
    // The check is part of the lookup: the installation and its key read by two plain commands
    // pipelined to the installation's shard, one round trip as without a key.
    const std::string uidKey = Keys::installation(position.uid);
    const std::string keyKey = Keys::installationKey(position.uid);
    auto self = std::static_pointer_cast<PositionUpdate>(shared_from_this());
    auto installation = std::make_shared<CallResult>();
    cluster.call(uidKey, {"GET", uidKey},
        [installation](CallResult found) { *installation = std::move(found); });
    cluster.call(keyKey, {"GET", keyKey}, [self, installation, uidKey, keyKey](CallResult key) {
        if (!installation->ok() || !key.ok())
            return self->settle(StoreStatus::Unavailable);
        // "hash renewedMs"; a key offered for an installation that does not exist is bad.
        const std::string hash = Keys::hashHex(*self->position.keyHash);
        const std::string &stored = key.reply.text;
        if (installation->reply.kind != RedisReply::Kind::String
            || key.reply.kind != RedisReply::Kind::String || stored.size() < hash.size()
            || stored.compare(0, hash.size(), hash) != 0)
            return self->settle(StoreStatus::BadKey);
        // Renewed only for the key's holder: nobody else keeps an installation from expiring.
        self->cluster.call(uidKey, {"PEXPIRE", uidKey, self->retain()}, [](CallResult) {});
        self->cluster.call(keyKey, {"PEXPIRE", keyKey, self->retain()}, [](CallResult) {});
        // The key's own entry is renewed every half retention.
        const std::int64_t now = wallClockMs();
        const std::int64_t renewed
            = stored.size() > hash.size() + 1 ? std::atoll(stored.c_str() + hash.size() + 1) : 0;
        if (now - renewed > self->config.retainMs / 2) {
            const std::string entry = Keys::sessionKey(hash);
            self->cluster.call(entry, {"PEXPIRE", entry, self->retain()}, [](CallResult) {});
            self->cluster.call(keyKey,
                {"SET", keyKey, hash + " " + std::to_string(now), "XX", "KEEPTTL"},
                [](CallResult) {});
        }
        self->place(installation->reply.text);
    });
}

void PositionUpdate::place(std::string found)
{
    member = std::move(found);
    const std::string seen = std::to_string(nowMs);
    auto self = std::static_pointer_cast<PositionUpdate>(shared_from_this());
    hold();
    cluster.call(Keys::geo(tile),
        {"EVAL", Scripts::PlaceInTile, "5", Keys::geo(tile), Keys::seen(tile),
            Keys::coordinates(tile), Keys::profiles(tile), Keys::cells(tile),
            geoNumber(position.lon), geoNumber(geoLatitude(position.lat)), member, seen,
            geoNumber(position.lat) + " " + geoNumber(position.lon) + " " + seen, retain(),
            std::to_string(mortonOf(leafOf(position.lat, position.lon), LeafLevel))},
        [self](CallResult placed) { self->onPlaced(placed); });
    hold();
    const std::string personKey = Keys::person(member);
    cluster.call(personKey, {"EVAL", Scripts::MovePerson, "1", personKey, tile.name(), retain()},
        [self](CallResult moved) { self->onMoved(moved); });
    // The lookup's hold goes once both calls are sent, theirs in onPlaced and onMoved.
    settle(StoreStatus::Done);
}

void PositionUpdate::onPlaced(const CallResult &placed)
{
    const auto &parts = placed.reply.elements;
    if (!placed.ok() || parts.size() != 3)
        return settle(StoreStatus::Unavailable);
    this->placed = true;
    profileInTile = parts[1].integer == 1;
    if (parts[2].integer == 1) {
        // The tile's keys are new or renewed: so is its entry in the directory, which a move
        // into the tile renews as well but a tile nobody moves into would otherwise outlive.
        const std::string region = Keys::region(tile.region());
        cluster.call(region, {"SADD", region, tile.name()}, expect());
        cluster.call(region, {"PEXPIRE", region, retain()}, expect());
    }
    repairIfLost();
    settle(StoreStatus::Done);
}

void PositionUpdate::repairIfLost()
{
    if (!placed || !stayed || profileInTile || repairing)
        return;
    repairing = true;
    const std::string personKey = Keys::person(member);
    auto self = std::static_pointer_cast<PositionUpdate>(shared_from_this());
    hold();
    cluster.call(personKey, {"HGET", personKey, "profile"}, [self](CallResult profile) {
        if (!profile.ok() || profile.reply.kind != RedisReply::Kind::String)
            return self->settle(StoreStatus::Unavailable);
        self->fileInTile(profile.reply.text);
        self->settle(StoreStatus::Done);
    });
}

void PositionUpdate::fileInTile(const std::string &profile)
{
    const std::string profiles = Keys::profiles(tile);
    const std::string region = Keys::region(tile.region());
    cluster.call(profiles, {"HSET", profiles, member, profile}, expect());
    // The tile's other keys may be renewed only later.
    cluster.call(profiles, {"PEXPIRE", profiles, retain()}, expect());
    cluster.call(region, {"SADD", region, tile.name()}, expect());
    cluster.call(region, {"PEXPIRE", region, retain()}, expect());
}

void PositionUpdate::onMoved(const CallResult &moved)
{
    if (!moved.ok())
        return settle(StoreStatus::Unavailable);
    if (moved.reply.isNil() || moved.reply.kind == RedisReply::Kind::Integer) {
        // Hidden, or forgotten meanwhile: the position just filed in the tile goes again.
        cluster.call(Keys::geo(tile), removeFromTile(tile, member), expect());
        return settle(moved.reply.isNil() ? StoreStatus::UnknownUid : StoreStatus::Hidden);
    }
    if (moved.reply.isNil() || moved.reply.elements.size() != 2)
        return settle(StoreStatus::UnknownUid);
    countPerson(cluster, member, nowMs, true, config.retainMs);
    const std::string old = moved.reply.elements[0].text;
    if (old == tile.name()) {
        stayed = true;
        repairIfLost();
    } else {
        fileInTile(moved.reply.elements[1].text);
        bool ok = false;
        const Tile from = Tile::fromName(old, &ok);
        if (ok) {
            cluster.call(Keys::geo(from), removeFromTile(from, member), expect());
        }
    }
    settle(StoreStatus::Done);
}

void CountsTally::start(RedisCluster &cluster, std::int64_t onlineSinceMs,
    std::int64_t activeSinceMs, PeopleStore::Done<StoreCounts> done)
{
    std::shared_ptr<CountsTally> tally(new CountsTally(std::move(done)));
    const std::string active = std::to_string(activeSinceMs);
    const std::string online = std::to_string(onlineSinceMs);
    for (int shard = 0; shard < Keys::CountShards; ++shard) {
        ++tally->open;
        cluster.call(Keys::active(shard),
            {"EVAL", Scripts::CountShard, "2", Keys::active(shard), Keys::positioned(shard), active,
                online},
            [tally](CallResult counted) { tally->onShard(counted); });
    }
    tally->close();
}

CountsTally::CountsTally(PeopleStore::Done<StoreCounts> done)
    : done(std::move(done))
{ }

void CountsTally::onShard(const CallResult &counted)
{
    const auto &parts = counted.reply.elements;
    if (!counted.ok() || parts.size() != 2)
        counts.status = StoreStatus::Unavailable;
    else {
        counts.people += static_cast<std::size_t>(std::max(0LL, parts[0].integer));
        counts.online += static_cast<std::size_t>(std::max(0LL, parts[1].integer));
    }
    close();
}

void CountsTally::close()
{
    if (--open == 0)
        done(counts);
}

} // namespace Pinrova::Server::Redis
