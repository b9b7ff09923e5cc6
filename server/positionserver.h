#pragma once

#include "base/limits.h"
#include "http/webcontext.h"
#include "identity/identityconfig.h"
#include "store/clock.h"
#include "store/peoplestore.h"

#include <chrono>
#include <memory>
#include <string>

namespace Pinrova::Server {

class AccessLog;
class Metrics;
class PositionService;
class Router;
class WebServer;

struct PositionServerConfig
{
    std::string host = Limits::DefaultHost;
    unsigned short port = Limits::DefaultPort;
    std::string databasePath;
    // Seed nodes of a Redis Cluster ("HOST:PORT[,…]"): people live there instead of the file.
    std::string redisSeeds;
    std::chrono::milliseconds redisTimeout = Limits::RedisTimeout;
    int redisReplicas = Limits::RedisReplicas; // replicas a registration must reach
    ListingPolicy policy;
    WebServerLimits limits;
    std::chrono::milliseconds flushInterval = Limits::FlushInterval;
    // 0: a hundredth of the retention time, within Limits' sweep interval bounds.
    std::chrono::milliseconds sweepInterval {0};
    std::size_t maxPendingPositions = Limits::MaxPendingPositions;
    std::size_t maxPendingRegistrations = Limits::MaxPendingRegistrations;
    std::size_t maxQueuedLists = Limits::MaxQueuedLists; // GetUsers the store may hold
    bool accessLog = false;
    // Credentials, keys, rate limits and picture hosts. Without any application secret the
    // server starts only with openRegistration.
    Identity::IdentityConfig identity;
    std::chrono::milliseconds stopGrace = Limits::StopGrace; // for answers in flight at a stop
    Clock clock = systemClock();
};

// The whole service: store, handlers and HTTP server, started and stopped in the order that
// keeps every acknowledged registration.
class PositionServer
{
public:
    explicit PositionServer(PositionServerConfig config);
    ~PositionServer();
    PositionServer(const PositionServer &) = delete;
    PositionServer &operator=(const PositionServer &) = delete;

    // Opens the file, rebuilds the model from it and starts listening; throws on failure.
    void start();
    // Stops accepting, lets answers in flight finish (at most stopGrace), then writes every
    // pending position. Also done by the destructor.
    void stop();

    unsigned short port() const;
    // Graph API calls made so far (for tests and benchmarks of the token cache).
    std::uint64_t facebookCalls() const;
    // People stored, as the store counts them (waits at most a few seconds; 0 then).
    std::size_t personCount() const;

private:
    std::unique_ptr<PeopleStore> makeStore();

    PositionServerConfig config;
    std::unique_ptr<Metrics> metrics;
    std::unique_ptr<PeopleStore> store;
    std::unique_ptr<AccessLog> log;
    std::unique_ptr<Router> router;
    std::unique_ptr<PositionService> service;
    std::unique_ptr<WebServer> web;
};

} // namespace Pinrova::Server
