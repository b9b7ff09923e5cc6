#include "redispeoplestore.h"

#include "nearestsearch.h"
#include "rediscluster.h"
#include "redisscripts.h"
#include "storekeys.h"
#include "userlistxml.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace Pinrova::Server::Redis {

namespace {

// Redis's geo sets end at Mercator's edge (85.05112878°), and a member filed exactly there is
// missed by GEOSEARCH (Redis 7.0.15, seen here): positions and centres beyond this latitude
// are filed at it, as the map draws them at its edge.
constexpr double MaxGeoLat = 85.05;

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string hex(const Uuid &uid)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (const auto byte : uid.bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

std::int64_t wallClockMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Calls done with Done once every part of an operation succeeded, or Unavailable (or what
// fail() says) at the first that did not; once only.
class Join : public std::enable_shared_from_this<Join>
{
public:
    explicit Join(PeopleStore::Done<StoreStatus> done)
        : done(std::move(done))
    { }

    // A part that must succeed, whose result check() judges.
    RedisCluster::Done part(std::function<bool(const CallResult &)> check = {})
    {
        ++open;
        return [self = shared_from_this(), check = std::move(check)](CallResult result) {
            const bool good = result.ok() && (!check || check(result));
            self->close(good ? StoreStatus::Done : StoreStatus::Unavailable);
        };
    }

    void close(StoreStatus status)
    {
        if (status != StoreStatus::Done && outcome == StoreStatus::Done)
            outcome = status;
        if (--open == 0 && done) {
            auto finished = std::move(done);
            finished(outcome);
        }
    }

    // Holds the join open while parts are still being added.
    void hold() { ++open; }

private:
    PeopleStore::Done<StoreStatus> done;
    int open = 0;
    StoreStatus outcome = StoreStatus::Done;
};

} // namespace

struct RedisPeopleStore::Loop
{
    boost::asio::io_context io;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work {
        io.get_executor()};
    std::unique_ptr<RedisCluster> cluster;
    NearestSearch::RadiusHints hints;
    std::thread thread;
};

RedisPeopleStore::RedisPeopleStore(RedisStoreConfig config)
    : config(std::move(config))
    , loop(std::make_unique<Loop>())
{
    auto seeds = parseEndpoints(this->config.seeds);
    if (seeds.empty())
        throw std::invalid_argument("--redis wants HOST:PORT[,HOST:PORT…]");
    loop->cluster
        = std::make_unique<RedisCluster>(loop->io, std::move(seeds), this->config.timeout);
    loop->thread = std::thread([this] { loop->io.run(); });
    // The slot map is asked for now, so the first requests find it.
    post([this] { loop->cluster->refreshSlots(); });
}

RedisPeopleStore::~RedisPeopleStore()
{
    stop();
}

template<typename Work> bool RedisPeopleStore::post(Work work)
{
    if (stopped)
        return false;
    boost::asio::post(loop->io, [this, work = std::move(work)]() mutable {
        if (!stopped)
            work();
    });
    return true;
}

void RedisPeopleStore::registerPerson(RegisterRequest registration, Done<StoreStatus> done)
{
    auto profile = UserListXml::profileFragment(registration);
    const bool posted = post([this, registration = std::move(registration),
                                 profile = std::move(profile), done]() mutable {
        RedisCluster &cluster = *loop->cluster;
        const std::string member = Keys::personMember(registration.network, registration.id);
        const std::string personKey = Keys::person(member);
        const std::string uidKey = Keys::installation(hex(registration.uid));
        const std::string replicas = std::to_string(config.durableReplicas);
        // WAIT ends before the call's time-out, so its own answer says how many replicas
        // acknowledged, not the time-out.
        const std::string waitMs
            = std::to_string(std::max<long long>(1, config.timeout.count() / 2));
        const auto acknowledged = [n = config.durableReplicas](const CallResult &result) {
            return result.reply.integer >= n;
        };
        struct Learnt
        {
            bool isNew = false;
            std::string tile;
        };
        auto learnt = std::make_shared<Learnt>();
        // Answered once profile and binding are on a replica as well, so a master lost right
        // after the answer loses neither; the tile's copy of the profile and the count follow.
        auto join
            = std::make_shared<Join>([this, done, learnt, member, profile](StoreStatus status) {
                  if (status == StoreStatus::Done) {
                      bool ok = false;
                      const Tile tile = Tile::fromName(learnt->tile, &ok);
                      if (ok) {
                          loop->cluster->call(Keys::coordinates(tile),
                              {"EVAL", Scripts::RefreshProfile, "2", Keys::coordinates(tile),
                                  Keys::profiles(tile), member, profile},
                              [](CallResult) {});
                      }
                      if (learnt->isNew) {
                          loop->cluster->call(Keys::peopleCount(), {"INCR", Keys::peopleCount()},
                              [](CallResult) {});
                      }
                  }
                  done(status);
              });
        join->hold();
        cluster.callBlocking(personKey,
            {"EVAL", Scripts::RegisterPerson, "1", personKey, profile,
                std::to_string(wallClockMs()), std::to_string(config.retainMs)},
            join->part([learnt](const CallResult &result) {
                const auto &parts = result.reply.elements;
                if (parts.size() != 2)
                    return false;
                learnt->isNew = parts[0].integer == 1;
                learnt->tile = parts[1].text;
                return true;
            }));
        if (config.durableReplicas > 0)
            cluster.callBlocking(personKey, {"WAIT", replicas, waitMs}, join->part(acknowledged));
        cluster.callBlocking(
            uidKey, {"SET", uidKey, member, "PX", std::to_string(config.retainMs)}, join->part());
        if (config.durableReplicas > 0)
            cluster.callBlocking(uidKey, {"WAIT", replicas, waitMs}, join->part(acknowledged));
        join->close(StoreStatus::Done);
    });
    if (!posted)
        done(StoreStatus::Unavailable);
}

void RedisPeopleStore::setPosition(
    const SetPosRequest &position, std::int64_t nowMs, Done<StoreStatus> done)
{
    const bool posted = post([this, position, nowMs, done] {
        const std::string uidKey = Keys::installation(hex(position.uid));
        loop->cluster->call(uidKey, {"GETEX", uidKey, "PX", std::to_string(config.retainMs)},
            [this, position, nowMs, done](CallResult found) {
                if (!found.ok())
                    return done(StoreStatus::Unavailable);
                if (found.reply.isNil())
                    return done(StoreStatus::UnknownUid);
                RedisCluster &cluster = *loop->cluster;
                const std::string member = found.reply.text;
                const std::string personKey = Keys::person(member);
                const Tile tile = Tile::of(position.lat, position.lon);
                auto join = std::make_shared<Join>(done);
                join->hold();
                // The position goes into its tile while the person's record says which tile they
                // were in; a move also files the profile in the new tile and leaves the old one.
                cluster.call(Keys::geo(tile),
                    {"EVAL", Scripts::PlaceInTile, "4", Keys::geo(tile), Keys::seen(tile),
                        Keys::coordinates(tile), Keys::profiles(tile), number(position.lon),
                        number(std::clamp(position.lat, -MaxGeoLat, MaxGeoLat)), member,
                        std::to_string(nowMs),
                        number(position.lat) + " " + number(position.lon) + " "
                            + std::to_string(nowMs),
                        std::to_string(config.retainMs)},
                    join->part());
                join->hold();
                cluster.call(personKey,
                    {"EVAL", Scripts::MovePerson, "1", personKey, tile.name(),
                        std::to_string(config.retainMs)},
                    [this, join, tile, member](CallResult moved) {
                        if (!moved.ok())
                            return join->close(StoreStatus::Unavailable);
                        if (moved.reply.isNil() || moved.reply.elements.size() != 2)
                            return join->close(StoreStatus::UnknownUid);
                        const std::string old = moved.reply.elements[0].text;
                        if (old != tile.name()) {
                            RedisCluster &cluster = *loop->cluster;
                            cluster.call(Keys::profiles(tile),
                                {"HSET", Keys::profiles(tile), member,
                                    moved.reply.elements[1].text},
                                join->part());
                            // The tile's other keys may be renewed only later.
                            cluster.call(Keys::profiles(tile),
                                {"PEXPIRE", Keys::profiles(tile), std::to_string(config.retainMs)},
                                join->part());
                            cluster.call(Keys::region(tile.region()),
                                {"SADD", Keys::region(tile.region()), tile.name()}, join->part());
                            cluster.call(Keys::region(tile.region()),
                                {"PEXPIRE", Keys::region(tile.region()),
                                    std::to_string(config.retainMs)},
                                join->part());
                            bool ok = false;
                            const Tile from = Tile::fromName(old, &ok);
                            if (ok) {
                                cluster.call(Keys::geo(from),
                                    {"EVAL", Scripts::RemoveFromTile, "4", Keys::geo(from),
                                        Keys::seen(from), Keys::coordinates(from),
                                        Keys::profiles(from), member},
                                    join->part());
                            }
                        }
                        join->close(StoreStatus::Done);
                    });
                join->close(StoreStatus::Done);
            });
    });
    if (!posted)
        done(StoreStatus::Unavailable);
}

void RedisPeopleStore::nearest(const NearestQuery &query, Done<NearestAnswer> done)
{
    if (!post([this, query, done] {
            NearestSearch::start(*loop->cluster, loop->hints, query, done);
        })) {
        NearestAnswer answer;
        answer.status = StoreStatus::Unavailable;
        done(std::move(answer));
    }
}

void RedisPeopleStore::sweep(std::int64_t silentBeforeMs, Done<SweepResult> done)
{
    // Redis's expiry and each position's clean-up of its tile delete silent people (see the
    // header); a walk over the whole cluster on request is not built.
    (void)silentBeforeMs;
    done({StoreStatus::Unavailable, 0});
}

void RedisPeopleStore::counts(std::int64_t onlineSinceMs, Done<StoreCounts> done)
{
    const bool posted = post([this, onlineSinceMs, done] {
        loop->cluster->call(Keys::peopleCount(), {"GET", Keys::peopleCount()},
            [this, onlineSinceMs, done](CallResult people) {
                StoreCounts counts;
                if (!people.ok()) {
                    counts.status = StoreStatus::Unavailable;
                    return done(counts);
                }
                counts.people = people.reply.isNil()
                    ? 0
                    : static_cast<std::size_t>(std::atoll(people.reply.text.c_str()));
                // Online people: every occupied tile's last-seen set, counted from the time.
                // For monitoring, so it walks the directory rather than keep a hot counter.
                struct Tally
                {
                    StoreCounts counts;
                    std::size_t open = 1;
                    Done<StoreCounts> done;
                    void close()
                    {
                        if (--open == 0)
                            done(counts);
                    }
                };
                auto tally = std::make_shared<Tally>();
                tally->counts = counts;
                tally->done = done;
                const std::string since = std::to_string(onlineSinceMs);
                constexpr int regionsPerSide = Tile::PerSide >> Tile::RegionShift;
                for (int x = 0; x < regionsPerSide; ++x) {
                    for (int y = 0; y < regionsPerSide; ++y) {
                        const std::string region = Keys::region({x, y});
                        ++tally->open;
                        loop->cluster->call(
                            region, {"SMEMBERS", region}, [this, tally, since](CallResult tiles) {
                                if (!tiles.ok())
                                    tally->counts.status = StoreStatus::Unavailable;
                                for (const auto &name : tiles.reply.elements) {
                                    bool ok = false;
                                    const Tile tile = Tile::fromName(name.text, &ok);
                                    if (!ok)
                                        continue;
                                    ++tally->open;
                                    loop->cluster->call(Keys::seen(tile),
                                        {"ZCOUNT", Keys::seen(tile), since, "+inf"},
                                        [tally](CallResult online) {
                                            if (!online.ok())
                                                tally->counts.status = StoreStatus::Unavailable;
                                            else
                                                tally->counts.online += static_cast<std::size_t>(
                                                    online.reply.integer);
                                            tally->close();
                                        });
                                }
                                tally->close();
                            });
                    }
                }
                tally->close();
            });
    });
    if (!posted)
        done({StoreStatus::Unavailable, 0, 0, 0});
}

void RedisPeopleStore::stop()
{
    if (stopped.exchange(true))
        return;
    // Closed on its own thread, which then ends: no done is called after this returns.
    boost::asio::post(loop->io, [this] {
        loop->cluster->close();
        loop->io.stop();
    });
    if (loop->thread.joinable())
        loop->thread.join();
}

} // namespace Pinrova::Server::Redis
