#pragma once

#include "clock.h"
#include "presencemodel.h"
#include "webserver.h"

#include <chrono>
#include <memory>
#include <string>

namespace Pinrova::Server {

class AccessLog;
class PeopleStore;
class PositionService;
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
    bool accessLog = false;
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
    // Stops answering, then writes every pending position. Also done by the destructor.
    void stop();

    unsigned short port() const;
    // People stored, as the store counts them (waits at most a few seconds; 0 then).
    std::size_t personCount() const;

private:
    PositionServerConfig config;
    std::unique_ptr<PeopleStore> store;
    std::unique_ptr<AccessLog> log;
    std::unique_ptr<Router> router;
    std::unique_ptr<PositionService> service;
    std::unique_ptr<WebServer> web;
};

} // namespace Pinrova::Server
