#pragma once

#include "clock.h"
#include "presencemodel.h"
#include "webserver.h"

#include <chrono>
#include <memory>
#include <string>

namespace Pinrova::Server {

class AccessLog;
class Metrics;
class PeopleStore;
class PositionService;
class QueryPool;
class Router;

struct PositionServerConfig
{
    std::string host = "127.0.0.1";
    unsigned short port = 8080;
    std::string databasePath;
    // Seed nodes of a Redis Cluster ("HOST:PORT[,…]"): people live there instead of the file.
    std::string redisSeeds;
    std::chrono::milliseconds redisTimeout {1000};
    int redisReplicas = 1; // replicas a registration must reach before it is answered
    ListingPolicy policy;
    WebServerLimits limits;
    std::chrono::milliseconds flushInterval {200};
    // 0: a hundredth of the retention time, within 1 s … 1 h.
    std::chrono::milliseconds sweepInterval {0};
    std::size_t maxPendingPositions = 500000;
    std::size_t maxPendingRegistrations = 10000;
    std::size_t maxQueuedLists = 4096; // GetUsers waiting for a query thread
    bool accessLog = false;
    // How long a stop waits for answers in flight before closing their connections.
    std::chrono::milliseconds stopGrace {5000};
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
    // People stored, as the store counts them (waits at most a few seconds; 0 then).
    std::size_t personCount() const;

private:
    PositionServerConfig config;
    std::unique_ptr<Metrics> metrics;
    std::unique_ptr<PeopleStore> store;
    std::unique_ptr<QueryPool> queries;
    std::unique_ptr<AccessLog> log;
    std::unique_ptr<Router> router;
    std::unique_ptr<PositionService> service;
    std::unique_ptr<WebServer> web;
};

} // namespace Pinrova::Server
