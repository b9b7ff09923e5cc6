#include "metrics.h"

#include <cstdio>

namespace Pinrova::Server {

namespace {

constexpr std::array<std::string_view, Metrics::KindCount> KindNames {
    "register", "setpos", "getusers", "metrics", "health", "other"};

void appendLine(std::string &out, std::string_view name, std::string_view labels, double value)
{
    char number[32];
    if (value == static_cast<double>(static_cast<std::int64_t>(value)))
        std::snprintf(number, sizeof number, "%lld", static_cast<long long>(value));
    else
        std::snprintf(number, sizeof number, "%.9g", value);
    out += name;
    if (!labels.empty()) {
        out += '{';
        out += labels;
        out += '}';
    }
    out += ' ';
    out += number;
    out += '\n';
}

void appendHead(
    std::string &out, std::string_view name, std::string_view type, std::string_view help)
{
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

std::string kindLabel(int kind)
{
    return "kind=\"" + std::string(KindNames[kind]) + "\"";
}

} // namespace

Metrics::Kind Metrics::kindOf(std::string_view route)
{
    for (int kind = 0; kind < Other; ++kind) {
        if (route == KindNames[kind])
            return static_cast<Kind>(kind);
    }
    return Other;
}

void Metrics::Histogram::observe(std::int64_t micros)
{
    const double seconds = micros / 1e6;
    std::size_t bucket = 0;
    while (bucket < Bounds.size() && seconds > Bounds[bucket])
        ++bucket;
    buckets[bucket].fetch_add(1, std::memory_order_relaxed);
    sumMicros.fetch_add(
        static_cast<std::uint64_t>(micros < 0 ? 0 : micros), std::memory_order_relaxed);
}

void Metrics::Histogram::render(
    std::string &out, std::string_view name, std::string_view labels) const
{
    const std::string prefix = labels.empty() ? std::string() : std::string(labels) + ",";
    std::uint64_t cumulative = 0;
    char bound[32];
    for (std::size_t i = 0; i < buckets.size(); ++i) {
        cumulative += buckets[i].load(std::memory_order_relaxed);
        if (i < Bounds.size())
            std::snprintf(bound, sizeof bound, "%g", Bounds[i]);
        else
            std::snprintf(bound, sizeof bound, "+Inf");
        appendLine(out, std::string(name) + "_bucket", prefix + "le=\"" + bound + "\"",
            static_cast<double>(cumulative));
    }
    appendLine(
        out, std::string(name) + "_sum", labels, sumMicros.load(std::memory_order_relaxed) / 1e6);
    appendLine(out, std::string(name) + "_count", labels, static_cast<double>(cumulative));
}

void Metrics::requestAnswered(const AnsweredRequest &request)
{
    const auto kind = kindOf(request.route);
    const int status = request.status;
    std::size_t column = Statuses.size() - 1;
    for (std::size_t i = 0; i + 1 < Statuses.size(); ++i) {
        if (Statuses[i] == status)
            column = i;
    }
    requests[kind][column].fetch_add(1, std::memory_order_relaxed);
    latency[kind].observe(request.micros);
}

void Metrics::commitTimed(std::int64_t micros, bool stored)
{
    commits.observe(micros);
    if (!stored)
        failedCommits.fetch_add(1, std::memory_order_relaxed);
}

void Metrics::peopleSwept(std::size_t removed)
{
    swept.fetch_add(removed, std::memory_order_relaxed);
}

std::string Metrics::render(const StoreCounts &store, int openConnections) const
{
    std::string out;
    out.reserve(16384);
    appendHead(out, "pinrova_requests_total", "counter",
        "Requests answered, by kind and status code (\"other\" for any code not listed).");
    for (int kind = 0; kind < KindCount; ++kind) {
        for (std::size_t i = 0; i < Statuses.size(); ++i) {
            const std::string status = Statuses[i] ? std::to_string(Statuses[i]) : "other";
            appendLine(out, "pinrova_requests_total",
                kindLabel(kind) + ",status=\"" + status + "\"",
                static_cast<double>(requests[kind][i].load(std::memory_order_relaxed)));
        }
    }
    appendHead(out, "pinrova_request_duration_seconds", "histogram",
        "From a request's last byte read to its answer queued for sending, by kind.");
    for (int kind = 0; kind < KindCount; ++kind)
        latency[kind].render(out, "pinrova_request_duration_seconds", kindLabel(kind));

    appendHead(out, "pinrova_people", "gauge", "People stored.");
    appendLine(out, "pinrova_people", {}, static_cast<double>(store.people));
    appendHead(out, "pinrova_people_online", "gauge", "People listed as online now.");
    appendLine(out, "pinrova_people_online", {}, static_cast<double>(store.online));
    appendHead(
        out, "pinrova_write_queue", "gauge", "Positions and registrations waiting to be written.");
    appendLine(out, "pinrova_write_queue", {}, static_cast<double>(store.writeQueue));
    appendHead(out, "pinrova_commit_duration_seconds", "histogram",
        "Time of each write transaction, failed ones included.");
    commits.render(out, "pinrova_commit_duration_seconds", {});
    appendHead(out, "pinrova_commits_failed_total", "counter",
        "Write transactions that failed (their positions are written again).");
    appendLine(out, "pinrova_commits_failed_total", {},
        static_cast<double>(failedCommits.load(std::memory_order_relaxed)));
    appendHead(out, "pinrova_people_swept_total", "counter",
        "People deleted for having been silent past the retention time.");
    appendLine(out, "pinrova_people_swept_total", {},
        static_cast<double>(swept.load(std::memory_order_relaxed)));

    appendHead(out, "pinrova_open_connections", "gauge", "HTTP connections open.");
    appendLine(out, "pinrova_open_connections", {}, openConnections);
    appendHead(out, "pinrova_connections_evicted_total", "counter",
        "Connections closed at the cap to make room for a newcomer.");
    appendLine(out, "pinrova_connections_evicted_total", {},
        static_cast<double>(evicted.load(std::memory_order_relaxed)));
    appendHead(out, "pinrova_connections_refused_total", "counter",
        "Newcomers closed at the cap because no connection was waiting.");
    appendLine(out, "pinrova_connections_refused_total", {},
        static_cast<double>(refused.load(std::memory_order_relaxed)));
    return out;
}

} // namespace Pinrova::Server
