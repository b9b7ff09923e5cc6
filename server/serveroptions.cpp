#include "serveroptions.h"

#include <charconv>
#include <cstdlib>

namespace Pinrova::Server {

namespace {

constexpr long long MaxTimeoutMs = 3600LL * 1000;

bool toNumber(const std::string &text, long long low, long long high, long long &value)
{
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end && value >= low && value <= high;
}

bool toDays(const std::string &text, double &value)
{
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end && value >= 0.0001 && value <= 36500;
}

bool parseListen(const std::string &text, PositionServerConfig &config)
{
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    long long port = 0;
    if (!toNumber(text.substr(colon + 1), 0, 65535, port))
        return false;
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    config.host = host;
    config.port = static_cast<unsigned short>(port);
    return true;
}

} // namespace

std::string ServerOptions::defaultDatabasePath()
{
    const char *xdg = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (xdg && *xdg)
        base = xdg;
    else if (const char *home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/share";
    else
        base = ".";
    return base + "/pinrova-posd/positions.db";
}

std::string ServerOptions::usage()
{
    return "Usage: pinrova-posd [options]\n"
           "Position service of Pinrova: Register, SetPos and GetUsers over HTTP.\n"
           "\n"
           "  --listen HOST:PORT     address to listen on (default 127.0.0.1:8080; port 0 picks "
           "one)\n"
           "  --db PATH              SQLite file (default "
           "$XDG_DATA_HOME/pinrova-posd/positions.db)\n"
           "  --redis HOST:PORT[,…]  keep people in this Redis Cluster (seed nodes) instead of\n"
           "                         the file; any number of instances may share it\n"
           "  --redis-timeout-ms N   every call to the cluster ends within this (default 1000)\n"
           "  --redis-replicas N     replicas a registration must reach before it is answered\n"
           "                         (default 1; 0 for a cluster without replicas)\n"
           "  --threads N            HTTP threads (default: one per core)\n"
           "  --online-seconds N     a position this recent shows as online (default 60)\n"
           "  --forget-hours N       people silent longer are not listed (default 24)\n"
           "  --max-users N          most people in one answer (default 150)\n"
           "  --retain-days N        people silent longer are deleted (default 30; may be a\n"
           "                         fraction, e.g. 0.001 for 86.4 s)\n"
           "  --max-pending N        positions waiting for the disk at most (default 500000);\n"
           "                         beyond, SetPos is answered 503 with Retry-After\n"
           "  --max-connections N    open connections at most (default 4096); at the cap the one\n"
           "                         waiting longest for a request is closed for a newcomer\n"
           "  --idle-timeout-ms N    a connection without a request is closed after this\n"
           "                         (default 30000)\n"
           "  --read-timeout-ms N    a request must arrive whole this soon after its first\n"
           "                         byte, and its answer be taken as soon (default 10000)\n"
           "  --access-log           one line per request on stderr\n"
           "  --help                 this text\n";
}

ServerOptions ServerOptions::parse(const std::vector<std::string> &arguments)
{
    ServerOptions options;
    options.config.databasePath = defaultDatabasePath();
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::string value;
        bool hasValue = false;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
        const auto takeValue = [&]() {
            if (!hasValue && i + 1 < arguments.size()) {
                value = arguments[++i];
                hasValue = true;
            }
            if (!hasValue)
                options.error = name + " needs a value";
            return hasValue;
        };
        long long number = 0;
        if (name == "--help" || name == "-h") {
            options.showHelp = true;
        } else if (name == "--access-log") {
            options.config.accessLog = true;
        } else if (name == "--listen") {
            if (takeValue() && !parseListen(value, options.config))
                options.error = "--listen wants HOST:PORT";
        } else if (name == "--db") {
            if (takeValue()) {
                if (value.empty())
                    options.error = "--db wants a file name";
                options.config.databasePath = value;
            }
        } else if (name == "--redis") {
            if (takeValue()) {
                if (value.empty() || value.find(':') == std::string::npos)
                    options.error = "--redis wants HOST:PORT[,HOST:PORT…]";
                options.config.redisSeeds = value;
            }
        } else if (name == "--redis-timeout-ms") {
            if (takeValue() && toNumber(value, 1, 60000, number))
                options.config.redisTimeout = std::chrono::milliseconds(number);
            else if (options.error.empty())
                options.error = "--redis-timeout-ms wants milliseconds from 1 to 60000";
        } else if (name == "--redis-replicas") {
            if (takeValue() && toNumber(value, 0, 16, number))
                options.config.redisReplicas = static_cast<int>(number);
            else if (options.error.empty())
                options.error = "--redis-replicas wants a number from 0 to 16";
        } else if (name == "--threads") {
            if (takeValue() && toNumber(value, 1, 256, number))
                options.config.limits.threads = static_cast<int>(number);
            else if (options.error.empty())
                options.error = "--threads wants a number from 1 to 256";
        } else if (name == "--online-seconds") {
            if (takeValue() && toNumber(value, 1, 365LL * 24 * 3600, number))
                options.config.policy.onlineMs = number * 1000;
            else if (options.error.empty())
                options.error = "--online-seconds wants a positive number of seconds";
        } else if (name == "--forget-hours") {
            if (takeValue() && toNumber(value, 1, 100LL * 365 * 24, number))
                options.config.policy.forgetMs = number * 3600 * 1000;
            else if (options.error.empty())
                options.error = "--forget-hours wants a positive number of hours";
        } else if (name == "--max-users") {
            if (takeValue() && toNumber(value, 1, 100000, number))
                options.config.policy.maxUsers = static_cast<std::size_t>(number);
            else if (options.error.empty())
                options.error = "--max-users wants a number from 1 to 100000";
        } else if (name == "--retain-days") {
            double days = 0;
            const bool parsed = takeValue() && toDays(value, days);
            if (parsed)
                options.config.policy.retainMs = static_cast<long long>(days * 24 * 3600 * 1000);
            else if (options.error.empty())
                options.error = "--retain-days wants a number of days from 0.0001 to 36500";
        } else if (name == "--max-pending") {
            if (takeValue() && toNumber(value, 1, 100000000, number))
                options.config.maxPendingPositions = static_cast<std::size_t>(number);
            else if (options.error.empty())
                options.error = "--max-pending wants a number from 1 to 100000000";
        } else if (name == "--max-connections") {
            if (takeValue() && toNumber(value, 1, 1000000, number))
                options.config.limits.maxConnections = static_cast<int>(number);
            else if (options.error.empty())
                options.error = "--max-connections wants a number from 1 to 1000000";
        } else if (name == "--idle-timeout-ms") {
            if (takeValue() && toNumber(value, 1, MaxTimeoutMs, number))
                options.config.limits.idleTimeout = std::chrono::milliseconds(number);
            else if (options.error.empty())
                options.error = "--idle-timeout-ms wants milliseconds from 1 to 3600000";
        } else if (name == "--read-timeout-ms") {
            if (takeValue() && toNumber(value, 1, MaxTimeoutMs, number))
                options.config.limits.readTimeout = std::chrono::milliseconds(number);
            else if (options.error.empty())
                options.error = "--read-timeout-ms wants milliseconds from 1 to 3600000";
        } else {
            options.error = "unknown option " + name;
        }
        if (!options.error.empty())
            break;
    }
    return options;
}

} // namespace Pinrova::Server
