#include "serveroptions.h"

#include "base/limits.h"
#include "identity/sourceaddress.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>

namespace Pinrova::Server {

namespace {

using Config = PositionServerConfig;
// Sets a field from a value of the command line; false when the value is not acceptable.
using Apply = std::function<bool(Config &, const std::string &)>;
// The field's value as --help shows it as the default.
using Show = std::function<std::string(const Config &)>;

// One option: the parser and --help both read this, so a name, range or default is written
// once. help is the text after the name; "{}" stands for the default, '\n' starts a line.
struct Option
{
    const char *name;
    const char *value; // null for a flag
    const char *help;
    Apply apply;
    Show show;
    std::string wants; // what the error says the option wants
};

bool toInteger(const std::string &text, long long low, long long high, long long &value)
{
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end && value >= low && value <= high;
}

// A whole number from low to high, written into the config by set and shown by get.
Option ranged(const char *name, const char *help, long long low, long long high,
    std::function<void(Config &, long long)> set, std::function<long long(Config)> get,
    const char *unit)
{
    Option option;
    option.name = name;
    option.value = "N";
    option.help = help;
    option.apply = [=](Config &config, const std::string &text) {
        long long number = 0;
        if (!toInteger(text, low, high, number))
            return false;
        set(config, number);
        return true;
    };
    option.show = [=](const Config &config) { return std::to_string(get(config)); };
    option.wants
        = std::string(unit) + " from " + std::to_string(low) + " to " + std::to_string(high);
    return option;
}

// An integer field that holds the option's value times scale.
template<typename Field>
Option integer(const char *name, const char *help, long long low, long long high,
    std::function<Field &(Config &)> field, long long scale = 1, const char *unit = "a number")
{
    return ranged(
        name, help, low, high,
        [=](Config &config, long long n) { field(config) = static_cast<Field>(n * scale); },
        [=](Config config) { return static_cast<long long>(field(config)) / scale; }, unit);
}

// A duration in milliseconds, at least 1.
Option milliseconds(const char *name, const char *help, long long high,
    std::function<std::chrono::milliseconds &(Config &)> field)
{
    return ranged(
        name, help, 1, high,
        [=](Config &config, long long n) { field(config) = std::chrono::milliseconds(n); },
        [=](Config config) { return static_cast<long long>(field(config).count()); },
        "milliseconds");
}

bool parseListen(const std::string &text, Config &config)
{
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    long long port = 0;
    if (!toInteger(text.substr(colon + 1), 0, 65535, port))
        return false;
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    config.host = host;
    config.port = static_cast<unsigned short>(port);
    return true;
}

// A number, a fraction allowed, from low to high.
bool toDecimal(const std::string &text, double low, double high, double &value)
{
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end && value >= low && value <= high;
}

std::string shown(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// A rate limit's field, given per unit (1 for seconds, 60 for minutes) and kept per second.
Option rate(const char *name, const char *help, double Identity::RateLimit::*field,
    Identity::RateLimit Identity::IdentityConfig::*limit, double perUnit, const char *wants)
{
    Option option;
    option.name = name;
    option.value = "N";
    option.help = help;
    option.apply = [=](Config &config, const std::string &text) {
        double value = 0;
        if (!toDecimal(text, 0, 1e6, value))
            return false;
        config.identity.*limit.*field = value / perUnit;
        return true;
    };
    option.show
        = [=](const Config &config) { return shown(config.identity.*limit.*field * perUnit); };
    option.wants = wants;
    return option;
}

// Plain http to this machine only: the Graph API call carries the application secret.
bool isLoopbackHttp(const std::string &url)
{
    const std::string scheme = "http://";
    if (url.rfind(scheme, 0) != 0)
        return false;
    std::string authority = url.substr(scheme.size());
    authority = authority.substr(0, authority.find('/'));
    if (authority.rfind("[::1]", 0) == 0)
        return authority.size() == 5 || authority[5] == ':';
    const std::string host = authority.substr(0, authority.find(':'));
    return host == "localhost" || host.rfind("127.", 0) == 0;
}

// A secret from a file: its first line, without the line end. Files over 4 KiB, empty ones
// and unreadable ones are refused; the secret itself never goes into a message.
bool readSecret(const std::string &path, std::string &secret)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    char buffer[4097];
    const std::size_t size = std::fread(buffer, 1, sizeof buffer, file);
    std::fclose(file);
    if (size == 0 || size >= sizeof buffer)
        return false;
    std::string text(buffer, size);
    text = text.substr(0, text.find_first_of("\r\n"));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    if (text.empty())
        return false;
    secret = std::move(text);
    return true;
}

// Retention in days, a fraction allowed, so a test can make it seconds.
constexpr double MinRetainDays = 0.0001;
constexpr double MaxRetainDays = 36500;
constexpr double DayMs = 24.0 * 3600 * 1000;

const std::vector<Option> &options()
{
    static const std::vector<Option> table = [] {
        std::vector<Option> rows;
        rows.push_back({"--listen", "HOST:PORT",
            "address to listen on (default {}; port 0 picks one)",
            [](Config &c, const std::string &v) { return parseListen(v, c); },
            [](const Config &c) { return c.host + ":" + std::to_string(c.port); }, "HOST:PORT"});
        rows.push_back({"--db", "PATH", "SQLite file (default {})",
            [](Config &c, const std::string &v) {
                c.databasePath = v;
                return !v.empty();
            },
            [](const Config &) { return std::string("$XDG_DATA_HOME/pinrova-posd/positions.db"); },
            "a file name"});
        rows.push_back({"--redis", "HOST:PORT[,…]",
            "keep people in this Redis Cluster (seed nodes) instead of\n"
            "the file; any number of instances may share it",
            [](Config &c, const std::string &v) {
                c.redisSeeds = v;
                return !v.empty() && v.find(':') != std::string::npos;
            },
            {}, "HOST:PORT[,HOST:PORT…]"});
        rows.push_back(milliseconds("--redis-timeout-ms",
            "every call to the cluster ends within this (default {})", 60000,
            [](Config &c) -> std::chrono::milliseconds & { return c.redisTimeout; }));
        rows.push_back(integer<int>("--redis-replicas",
            "replicas a registration must reach before it is answered\n"
            "(default {}; 0 for a cluster without replicas)",
            0, 16, [](Config &c) -> int & { return c.redisReplicas; }));
        rows.push_back(integer<int>("--threads", "HTTP threads (default: one per core)", 1, 256,
            [](Config &c) -> int & { return c.limits.threads; }));
        rows.push_back(integer<std::int64_t>(
            "--online-seconds", "a position this recent shows as online (default {})", 1,
            365LL * 24 * 3600, [](Config &c) -> std::int64_t & { return c.policy.onlineMs; }, 1000,
            "seconds"));
        rows.push_back(integer<std::int64_t>(
            "--forget-hours", "people silent longer are not listed (default {})", 1,
            100LL * 365 * 24, [](Config &c) -> std::int64_t & { return c.policy.forgetMs; },
            3600 * 1000, "hours"));
        rows.push_back(integer<std::size_t>("--max-users", "most people in one answer (default {})",
            1, 100000, [](Config &c) -> std::size_t & { return c.policy.maxUsers; }));
        rows.push_back({"--retain-days", "N",
            "people silent longer are deleted (default {}; may be a\n"
            "fraction, e.g. 0.001 for 86.4 s)",
            [](Config &c, const std::string &v) {
                double days = 0;
                const char *end = v.data() + v.size();
                const auto [ptr, ec] = std::from_chars(v.data(), end, days);
                if (v.empty() || ec != std::errc() || ptr != end || days < MinRetainDays
                    || days > MaxRetainDays)
                    return false;
                c.policy.retainMs = static_cast<std::int64_t>(days * DayMs);
                return true;
            },
            [](const Config &c) {
                const double days = c.policy.retainMs / DayMs;
                char text[32];
                std::snprintf(text, sizeof text, "%g", days);
                return std::string(text);
            },
            "a number of days from 0.0001 to 36500"});
        rows.push_back(integer<std::size_t>("--max-pending",
            "positions waiting for the disk at most (default {});\n"
            "beyond, SetPos is answered 503 with Retry-After",
            1, 100000000, [](Config &c) -> std::size_t & { return c.maxPendingPositions; }));
        rows.push_back(integer<int>("--max-connections",
            "open connections at most (default {}); at the cap the one\n"
            "waiting longest for a request is closed for a newcomer",
            1, 1000000, [](Config &c) -> int & { return c.limits.maxConnections; }));
        rows.push_back(milliseconds("--idle-timeout-ms",
            "a connection without a request is closed after this\n(default {})",
            Limits::MaxTimeoutMs,
            [](Config &c) -> std::chrono::milliseconds & { return c.limits.idleTimeout; }));
        rows.push_back(milliseconds("--read-timeout-ms",
            "a request must arrive whole this soon after its first\n"
            "byte, and its answer be taken as soon (default {})",
            Limits::MaxTimeoutMs,
            [](Config &c) -> std::chrono::milliseconds & { return c.limits.readTimeout; }));
        rows.push_back(
            {"--facebook-graph", "URL", "the Graph API that checks Facebook tokens (default {})",
                [](Config &c, const std::string &v) {
                    std::string url = v;
                    while (!url.empty() && url.back() == '/')
                        url.pop_back();
                    c.identity.facebook.graph = url;
                    return url.rfind("https://", 0) == 0 || isLoopbackHttp(url);
                },
                [](const Config &c) { return c.identity.facebook.graph; },
                "an https address (http only on loopback)"});
        rows.push_back({"--facebook-app-id", "ID", "our Facebook application id",
            [](Config &c, const std::string &v) {
                c.identity.facebook.appId = v;
                return !v.empty() && v.find_first_not_of("0123456789") == std::string::npos;
            },
            {}, "the application's number"});
        rows.push_back({"--facebook-app-secret-file", "PATH",
            "a file holding the Facebook application secret; without\n"
            "it Facebook Registers are refused",
            [](Config &c, const std::string &v) {
                return readSecret(v, c.identity.facebook.appSecret);
            },
            {}, "a readable file holding the secret on its first line"});
        rows.push_back({"--vk-app-secret-file", "PATH",
            "a file holding the VKontakte application secret; without\n"
            "it VKontakte Registers are refused",
            [](Config &c, const std::string &v) {
                return readSecret(v, c.identity.vkontakteSecret);
            },
            {}, "a readable file holding the secret on its first line"});
        rows.push_back({"--open-registration", nullptr,
            "Register without a credential, no session keys, no rate\n"
            "limits, pictures from anywhere: for closed test networks",
            [](Config &c, const std::string &) {
                c.identity.openRegistration = true;
                return true;
            },
            {}, {}});
        rows.push_back({"--picture-hosts", "NETWORK=HOST[,…]",
            "the hosts a network's pictures may come from, replacing\n"
            "its list (HOST: https; http://HOST for plain http; a host\n"
            "admits its subdomains); defaults:\n{}",
            [](Config &c, const std::string &v) { return c.identity.pictureHosts.set(v); },
            [](const Config &c) {
                return c.identity.pictureHosts.describe("facebook") + "\n"
                    + c.identity.pictureHosts.describe("vkontakte");
            },
            "facebook=HOST[,HOST…] or vkontakte=HOST[,HOST…]"});
        rows.push_back({"--trusted-proxy", "ADDR[,…]",
            "addresses whose X-Forwarded-For is believed for the\n"
            "source address (may be given more than once)",
            [](Config &c, const std::string &v) {
                return Identity::SourceAddress::parseList(v, &c.identity.trustedProxies);
            },
            {}, "IP addresses separated by commas"});
        rows.push_back(rate("--setpos-per-second",
            "SetPos per session key, sustained (default {}; 0: no limit)",
            &Identity::RateLimit::perSecond, &Identity::IdentityConfig::setPos, 1,
            "a number from 0 to 1000000"));
        rows.push_back(rate("--setpos-burst", "SetPos per session key at once (default {})",
            &Identity::RateLimit::burst, &Identity::IdentityConfig::setPos, 1,
            "a number from 0 to 1000000"));
        rows.push_back(rate("--getusers-per-second",
            "GetUsers per session key, sustained (default {}; 0: no\nlimit)",
            &Identity::RateLimit::perSecond, &Identity::IdentityConfig::getUsers, 1,
            "a number from 0 to 1000000"));
        rows.push_back(rate("--getusers-burst", "GetUsers per session key at once (default {})",
            &Identity::RateLimit::burst, &Identity::IdentityConfig::getUsers, 1,
            "a number from 0 to 1000000"));
        rows.push_back(rate("--register-per-minute",
            "Registers per source address, sustained (default {};\n0: no limit)",
            &Identity::RateLimit::perSecond, &Identity::IdentityConfig::registration, 60,
            "a number from 0 to 1000000"));
        rows.push_back(rate("--register-burst", "Registers per source address at once (default {})",
            &Identity::RateLimit::burst, &Identity::IdentityConfig::registration, 1,
            "a number from 0 to 1000000"));
        rows.push_back({"--access-log", nullptr, "one line per request on stderr",
            [](Config &c, const std::string &) {
                c.accessLog = true;
                return true;
            },
            {}, {}});
        return rows;
    }();
    return table;
}

const Option *optionNamed(const std::string &name)
{
    for (const auto &option : options()) {
        if (name == option.name)
            return &option;
    }
    return nullptr;
}

// The help text with "{}" replaced by the default, its lines indented to the column.
std::string helpOf(const Option &option, const Config &defaults)
{
    constexpr std::size_t Column = 25;
    std::string text = option.help;
    if (const auto at = text.find("{}"); at != std::string::npos && option.show)
        text.replace(at, 2, option.show(defaults));
    std::string head = std::string("  ") + option.name;
    if (option.value)
        head += std::string(" ") + option.value;
    // "…" is one column but three bytes.
    std::size_t width = head.size();
    for (std::size_t at = head.find("…"); at != std::string::npos; at = head.find("…", at + 1))
        width -= 2;
    std::string out;
    // A name too long for the column gets its text on the lines below.
    if (width + 1 < Column) {
        head += std::string(Column - width, ' ');
    } else {
        out = head + "\n";
        head = std::string(Column, ' ');
    }
    std::size_t start = 0;
    for (bool first = true;; first = false) {
        const auto end = text.find('\n', start);
        out += first ? head : std::string(Column, ' ');
        out += text.substr(start, end - start);
        out += '\n';
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return out;
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
    const Config defaults;
    std::string text = "Usage: pinrova-posd [options]\n"
                       "Position service of Pinrova: Register, SetPos and GetUsers over HTTP.\n"
                       "\n";
    for (const auto &option : options())
        text += helpOf(option, defaults);
    text += helpOf({"--help", nullptr, "this text", {}, {}, {}}, defaults);
    return text;
}

ServerOptions ServerOptions::parse(const std::vector<std::string> &arguments)
{
    ServerOptions parsed;
    parsed.config.databasePath = defaultDatabasePath();
    for (std::size_t i = 0; i < arguments.size() && parsed.error.empty(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (name == "--help" || name == "-h") {
            parsed.showHelp = true;
            continue;
        }
        const Option *option = optionNamed(name);
        if (!option) {
            parsed.error = "unknown option " + name;
        } else if (!option->value) {
            option->apply(parsed.config, {});
        } else if (!value && i + 1 >= arguments.size()) {
            parsed.error = name + " needs a value";
        } else {
            if (!value)
                value = arguments[++i];
            if (!option->apply(parsed.config, *value))
                parsed.error = name + " wants " + option->wants;
        }
    }
    return parsed;
}

} // namespace Pinrova::Server
