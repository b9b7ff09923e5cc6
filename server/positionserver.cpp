#include "positionserver.h"

#include "accesslog.h"
#include "embeddedpeoplestore.h"
#include "metrics.h"
#include "positionservice.h"
#include "querypool.h"
#include "redis/redispeoplestore.h"
#include "router.h"

#include <algorithm>
#include <future>

namespace Pinrova::Server {

PositionServer::PositionServer(PositionServerConfig config)
    : config(std::move(config))
{ }

PositionServer::~PositionServer()
{
    stop();
}

void PositionServer::start()
{
    metrics = std::make_unique<Metrics>();
    if (config.redisSeeds.empty()) {
        EmbeddedStoreOptions options;
        options.writer.interval = config.flushInterval;
        options.writer.maxRegistrations = config.maxPendingRegistrations;
        options.writer.retainMs = config.policy.retainMs;
        options.writer.sweepInterval = config.sweepInterval.count() > 0
            ? config.sweepInterval
            : std::chrono::milliseconds(
                std::clamp<std::int64_t>(config.policy.retainMs / 100, 1000, 3600 * 1000));
        options.writer.clock = config.clock;
        options.maxPendingPositions = config.maxPendingPositions;
        store = std::make_unique<EmbeddedPeopleStore>(config.databasePath, options, metrics.get());
    } else {
        store = std::make_unique<Redis::RedisPeopleStore>(Redis::RedisStoreConfig {
            config.redisSeeds, config.redisTimeout, config.redisReplicas, config.policy.retainMs});
    }
    if (config.accessLog)
        log = std::make_unique<AccessLog>();
    router = std::make_unique<Router>();
    // As many query threads as HTTP threads, below them in priority.
    queries = std::make_unique<QueryPool>(config.limits.threads, config.maxQueuedLists, 5);
    service = std::make_unique<PositionService>(*store, *queries, config.policy, config.clock);
    service->addRoutes(*router);
    router->add("/metrics", [this](const WebRequest &, Respond respond) {
        // web exists whenever a request can arrive.
        const int open = web->connectionCount();
        store->counts(
            config.clock() - config.policy.onlineMs, [this, respond, open](StoreCounts counts) {
                respond(WebReply {200, "text/plain; version=0.0.4; charset=utf-8",
                    metrics->render(counts, open)});
            });
    });
    web = std::make_unique<WebServer>(*router, config.limits, log.get(), metrics.get());
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
    if (queries)
        queries->stop();
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

unsigned short PositionServer::port() const
{
    return web ? web->port() : 0;
}

} // namespace Pinrova::Server
