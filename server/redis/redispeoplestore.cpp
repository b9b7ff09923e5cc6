#include "redis/redispeoplestore.h"

#include "redis/nearestsearch.h"
#include "redis/privacyoperations.h"
#include "redis/storekeys.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace Pinrova::Server::Redis {

struct RedisPeopleStore::Loop
{
    boost::asio::io_context io;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work {
        io.get_executor()};
    std::unique_ptr<RedisCluster> cluster;
    NearestSearch::RadiusHints hints;
    std::thread thread;
};

RedisPeopleStore::RedisPeopleStore(RedisStoreConfig config, ProfileRenderer render)
    : config(std::move(config))
    , render(std::move(render))
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

void RedisPeopleStore::registerPerson(PersonRecord person, Done<StoreStatus> done)
{
    auto profile = render(person);
    if (!profile)
        return done(StoreStatus::Unavailable);
    const bool posted
        = post([this, person = std::move(person), profile = std::move(*profile), done]() mutable {
              Registration::start(
                  *loop->cluster, config, std::move(person), std::move(profile), std::move(done));
          });
    if (!posted)
        done(StoreStatus::Unavailable);
}

void RedisPeopleStore::setPosition(
    const PositionReport &position, std::int64_t nowMs, Done<StoreStatus> done)
{
    const bool posted = post([this, position, nowMs, done] {
        PositionUpdate::start(*loop->cluster, config, position, nowMs, done);
    });
    if (!posted)
        done(StoreStatus::Unavailable);
}

void RedisPeopleStore::nearest(const NearestQuery &query, Done<NearestAnswer> done)
{
    NearestAnswer refused;
    refused.status = StoreStatus::Busy;
    // The searches in hand are what a slow cluster lets pile up: bounded here, where they
    // wait, rather than on the way in.
    if (listsInHand.fetch_add(1) >= config.maxQueuedLists) {
        --listsInHand;
        return done(std::move(refused));
    }
    Done<NearestAnswer> release = [this, done](NearestAnswer answer) {
        --listsInHand;
        done(std::move(answer));
    };
    if (!post([this, query, release] {
            if (!query.keyHash)
                return NearestSearch::start(*loop->cluster, loop->hints, config, query, release);
            // Any live key lists: one lookup by its hash before the search.
            const std::string entry = Keys::sessionKey(Keys::hashHex(*query.keyHash));
            loop->cluster->call(entry, {"EXISTS", entry}, [this, query, release](CallResult live) {
                NearestAnswer refused;
                if (!live.ok())
                    refused.status = StoreStatus::Unavailable;
                else if (live.reply.integer != 1)
                    refused.status = StoreStatus::BadKey;
                else
                    return NearestSearch::start(
                        *loop->cluster, loop->hints, config, query, release);
                release(std::move(refused));
            });
        })) {
        --listsInHand;
        refused.status = StoreStatus::Unavailable;
        done(std::move(refused));
    }
}

void RedisPeopleStore::sweep(std::int64_t silentBeforeMs, Done<SweepResult> done)
{
    // Redis's expiry and each position's clean-up of its tile delete silent people (see
    // storekeys.h); a walk over the whole cluster on request is not built.
    (void)silentBeforeMs;
    done({StoreStatus::Unavailable, 0});
}

void RedisPeopleStore::hide(
    const Uuid &uid, const std::optional<KeyHash> &keyHash, Done<StoreStatus> done)
{
    const bool posted = post(
        [this, uid, keyHash, done] { Hiding::start(*loop->cluster, config, uid, keyHash, done); });
    if (!posted)
        done(StoreStatus::Unavailable);
}

void RedisPeopleStore::forget(
    const Uuid &uid, const std::optional<KeyHash> &keyHash, Done<StoreStatus> done)
{
    const bool posted = post([this, uid, keyHash, done] {
        Forgetting::start(*loop->cluster, config, uid, keyHash, done);
    });
    if (!posted)
        done(StoreStatus::Unavailable);
}

void RedisPeopleStore::counts(std::int64_t onlineSinceMs, Done<StoreCounts> done)
{
    const bool posted = post([this, onlineSinceMs, done] {
        const std::int64_t nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::system_clock::now().time_since_epoch())
                                       .count();
        CountsTally::start(*loop->cluster, onlineSinceMs, nowMs - config.retainMs, done);
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
    // Work posted and not run yet, and the handlers of the calls just given up, hold the
    // answers of requests: they go now, while whoever waits for those answers still exists,
    // rather than when the store is destroyed. Run here, the work sees stopped and only lets go.
    loop->io.restart();
    loop->io.poll();
}

} // namespace Pinrova::Server::Redis
