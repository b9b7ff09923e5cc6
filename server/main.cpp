#include "positionserver.h"
#include "serveroptions.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <system_error>

using namespace Pinrova::Server;

int main(int argc, char **argv)
{
    const ServerOptions options = ServerOptions::parse({argv + 1, argv + argc});
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

    PositionServer server(options.config);
    try {
        server.start();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "pinrova-posd: cannot start: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "pinrova-posd: listening on %s:%u, %zu people, file %s\n",
        options.config.host.c_str(), server.port(), server.model().personCount(),
        options.config.databasePath.c_str());
    std::fflush(stderr);

    int received = 0;
    sigwait(&stopSignals, &received);
    server.stop();
    std::fprintf(stderr, "pinrova-posd: stopped on signal %d\n", received);
    return 0;
}
