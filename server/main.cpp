#include "http/webcontext.h"
#include "openfilelimit.h"
#include "positionserver.h"
#include "serveroptions.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>

using namespace Pinrova::Server;

int main(int argc, char **argv)
{
    ServerOptions options = ServerOptions::parse({argv + 1, argv + argc});
    if (options.showHelp) {
        std::fputs(ServerOptions::usage().c_str(), stdout);
        return 0;
    }
    if (!options.error.empty()) {
        std::fprintf(
            stderr, "pinrova-posd: %s\n%s", options.error.c_str(), ServerOptions::usage().c_str());
        return 2;
    }

    // Blocked before any thread starts, so every thread inherits the mask and only the
    // sigwait below sees the signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const std::filesystem::path folder
        = std::filesystem::path(options.config.databasePath).parent_path();
    std::error_code ignored;
    if (!folder.empty())
        std::filesystem::create_directories(folder, ignored);

    // Past the open-file limit accept() fails and newcomers wait unanswered in the backlog
    // while idle connections hold every descriptor; a cap under the limit instead lets a
    // newcomer take the place of the longest waiting connection.
    WebServerLimits &limits = options.config.limits;
    const int threads = limits.threads > 0
        ? limits.threads
        : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    const int redisMasters = options.config.redisSeeds.empty() ? 0 : Limits::RedisMaxMasters;
    const long openFiles
        = raiseOpenFileLimit(limits.maxConnections + reservedDescriptors(threads, redisMasters));
    const int fitting = connectionsWithin(openFiles, limits.maxConnections, threads, redisMasters);
    if (fitting < limits.maxConnections) {
        std::fprintf(stderr, "pinrova-posd: open-file limit %ld, so at most %d connections\n",
            openFiles, fitting);
        limits.maxConnections = fitting;
    }

    PositionServer server(options.config);
    try {
        server.start();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "pinrova-posd: cannot start: %s\n", e.what());
        return 1;
    }
    const bool onRedis = !options.config.redisSeeds.empty();
    std::fprintf(stderr, "pinrova-posd: listening on %s:%u, %zu people, %s %s\n",
        options.config.host.c_str(), server.port(), server.personCount(),
        onRedis ? "redis cluster" : "file",
        onRedis ? options.config.redisSeeds.c_str() : options.config.databasePath.c_str());
    std::fflush(stderr);

    int received = 0;
    sigwait(&stopSignals, &received);
    server.stop();
    std::fprintf(stderr, "pinrova-posd: stopped on signal %d\n", received);
    return 0;
}
