#pragma once

#include "http/webrequest.h"
#include "store/peoplestore.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace Pinrova::Server {

// Counters, latency histograms and gauges of the service in the Prometheus text format. Label
// values are few and fixed (request kind, status code): never a user's id or a raw path.
// Every update is one relaxed atomic add, safe from any thread. The request kinds are the
// names of the routes ("register", "setpos", "getusers", "metrics", "health"), "other" for
// any request no route took.
class Metrics : public WebObserver, public StoreEvents
{
public:
    enum Kind { Register, SetPos, GetUsers, MetricsPage, Health, Other, KindCount };

    static Kind kindOf(std::string_view route);

    void requestAnswered(const AnsweredRequest &request) override;
    void connectionEvicted() override { evicted.fetch_add(1, std::memory_order_relaxed); }
    void connectionRefused() override { refused.fetch_add(1, std::memory_order_relaxed); }
    void commitTimed(std::int64_t micros, bool stored) override;
    void peopleSwept(std::size_t removed) override;

    // The whole page; store and openConnections are the gauges of this moment.
    std::string render(const StoreCounts &store, int openConnections) const;

private:
    static constexpr std::array<int, 8> Statuses {200, 400, 404, 405, 431, 500, 503, 0};
    static constexpr std::array<double, 13> Bounds {
        0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5};

    struct Histogram
    {
        std::array<std::atomic<std::uint64_t>, Bounds.size() + 1> buckets {}; // last: +Inf
        std::atomic<std::uint64_t> sumMicros {0};
        void observe(std::int64_t micros);
        void render(std::string &out, std::string_view name, std::string_view labels) const;
    };

    std::array<std::array<std::atomic<std::uint64_t>, Statuses.size()>, KindCount> requests {};
    std::array<Histogram, KindCount> latency;
    Histogram commits;
    std::atomic<std::uint64_t> failedCommits {0};
    std::atomic<std::uint64_t> evicted {0};
    std::atomic<std::uint64_t> refused {0};
    std::atomic<std::uint64_t> swept {0};
};

} // namespace Pinrova::Server
