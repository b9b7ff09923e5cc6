#include "positionserver.h"

#include "api/positionservice.h"
#include "api/userlistxml.h"
#include "embedded/embeddedpeoplestore.h"
#include "http/accesslog.h"
#include "http/router.h"
#include "http/webserver.h"
#include "metrics.h"
#include "redis/redispeoplestore.h"

#include <algorithm>
#include <future>
#include <stdexcept>

namespace Pinrova::Server {

PositionServer::PositionServer(PositionServerConfig config)
    : config(std::move(config))
{ }

PositionServer::~PositionServer()
{
    stop();
}

std::unique_ptr<PeopleStore> PositionServer::makeStore()
{
    if (!config.redisSeeds.empty()) {
        Redis::RedisStoreConfig redis;
        redis.seeds = config.redisSeeds;
        redis.timeout = config.redisTimeout;
        redis.durableReplicas = config.redisReplicas;
        redis.retainMs = config.policy.retainMs;
        redis.forgetMs = config.policy.forgetMs;
        redis.maxQueuedLists = config.maxQueuedLists;
        return std::make_unique<Redis::RedisPeopleStore>(redis, UserListXml::renderProfile);
    }
    EmbeddedStoreOptions options;
    options.writer.interval = config.flushInterval;
    options.writer.maxRegistrations = config.maxPendingRegistrations;
    options.writer.retainMs = config.policy.retainMs;
    options.writer.forgetMs = config.policy.forgetMs;
    options.writer.sweepInterval = config.sweepInterval.count() > 0
        ? config.sweepInterval
        : std::chrono::milliseconds(std::clamp<std::int64_t>(
            config.policy.retainMs / 100, Limits::MinSweepIntervalMs, Limits::MaxSweepIntervalMs));
    options.writer.clock = config.clock;
    options.maxPendingPositions = config.maxPendingPositions;
    // As many query threads as HTTP threads, below them in priority.
    options.queryThreads = config.limits.threads;
    options.maxQueuedLists = config.maxQueuedLists;
    return std::make_unique<EmbeddedPeopleStore>(
        config.databasePath, options, UserListXml::renderProfile, metrics.get());
}

void PositionServer::start()
{
    if (!config.identity.openRegistration && !config.identity.hasSecret())
        throw std::runtime_error("no application secret: give --facebook-app-secret-file or "
                                 "--vk-app-secret-file, or --open-registration for a closed "
                                 "test network");
    metrics = std::make_unique<Metrics>();
    store = makeStore();
    if (config.accessLog)
        log = std::make_unique<AccessLog>();
    router = std::make_unique<Router>();
    service
        = std::make_unique<PositionService>(*store, config.policy, config.clock, config.identity);
    service->addRoutes(*router);
    router->add("/metrics", "metrics", [this](const WebRequest &, Respond respond) {
        // web exists whenever a request can arrive.
        const int open = web->connectionCount();
        store->counts(
            config.clock() - config.policy.onlineMs, [this, respond, open](StoreCounts counts) {
                respond(WebReply {200, "text/plain; version=0.0.4; charset=utf-8",
                    metrics->render(counts, open)});
            });
    });
    std::vector<WebObserver *> observers {metrics.get()};
    if (log)
        observers.push_back(log.get());
    web = std::make_unique<WebServer>(*router, config.limits, observers);
    web->start(config.host, config.port);
}

void PositionServer::stop()
{
    // Nothing new is taken and the answers in flight (a Register waits for its commit) are
    // sent; the HTTP threads then end, the store commits what is left, and answers it still
    // gives go to an io_context that is stopped but alive.
    if (web) {
        web->drain(config.stopGrace);
        web->stop();
    }
    if (service)
        service->stop(); // credential checks still in flight end as 503s
    if (store)
        store->stop();
    web.reset();
}

std::size_t PositionServer::personCount() const
{
    if (!store)
        return 0;
    auto promise = std::make_shared<std::promise<std::size_t>>();
    auto counted = promise->get_future();
    store->counts(
        config.clock(), [promise](StoreCounts counts) { promise->set_value(counts.people); });
    return counted.wait_for(std::chrono::seconds(5)) == std::future_status::ready ? counted.get()
                                                                                  : 0;
}

std::uint64_t PositionServer::facebookCalls() const
{
    return service ? service->facebookCalls() : 0;
}

unsigned short PositionServer::port() const
{
    return web ? web->port() : 0;
}

} // namespace Pinrova::Server
