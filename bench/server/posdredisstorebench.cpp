// posd_redisstorebench SEEDS COUNT LAT LON HALF_LAT HALF_LON [ROUNDS SECONDS [setpos]]
// The cluster store's own costs of session keys and crowd cells, measured on the store itself
// (no HTTP) against the people posd_redisseed put in the cluster, in one run:
//  1. SetPos with the session key checked against the same SetPos without a key, for 20,000
//     people registered here with keys: requests/s each, alternating, and their ratio;
//  2. GetUsers with crowds against the same without, at zoom 14, 10, 3 and 0, at random centres
//     in the seeded area: requests/s, p50 and p99 each, alternating.
// 64 calls in flight for SetPos and 16 for GetUsers, as bench/server/cluster.sh's wrk runs.
#include "api/userlistxml.h"
#include "redis/redispeoplestore.h"
#include "seedperson.h"
#include "store/clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <functional>
#include <mutex>
#include <random>
#include <vector>

using namespace Pinrova::Server;
using Steady = std::chrono::steady_clock;

namespace {

constexpr int KeyedPeople = 20000;

KeyHash keyOf(int n)
{
    KeyHash hash {};
    for (std::size_t i = 0; i < hash.size(); ++i)
        hash[i] = static_cast<unsigned char>((n >> (8 * (i % 4))) + i);
    return hash;
}

// Keeps up to a number of calls in flight for a time and records each one's latency.
class Load
{
public:
    explicit Load(int inFlight)
        : inFlight(inFlight)
    { }

    // issue(done) starts one call; done(ok) ends it.
    void run(double seconds, const std::function<void(std::function<void(bool)>)> &issue,
        long calls = -1)
    {
        latencies.clear();
        failed = 0;
        const auto end = Steady::now() + std::chrono::duration<double>(seconds);
        const auto started = Steady::now();
        for (long n = 0; Steady::now() < end && n != calls; ++n) {
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [this] { return open < inFlight; });
                ++open;
            }
            const auto sent = Steady::now();
            issue([this, sent](bool ok) {
                const double ms
                    = std::chrono::duration<double, std::milli>(Steady::now() - sent).count();
                std::lock_guard guard(mutex);
                latencies.push_back(ms);
                failed += !ok;
                --open;
                changed.notify_all();
            });
        }
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return open == 0; });
        elapsed = std::chrono::duration<double>(Steady::now() - started).count();
    }

    double rate() const { return latencies.size() / elapsed; }
    double calls() const { return std::max<double>(1, latencies.size()); }
    double percentile(double p)
    {
        if (latencies.empty())
            return 0;
        std::sort(latencies.begin(), latencies.end());
        return latencies[std::min(latencies.size() - 1, std::size_t(p * latencies.size()))];
    }
    int failures() const { return failed; }

private:
    const int inFlight;
    std::mutex mutex;
    std::condition_variable changed;
    int open = 0;
    int failed = 0;
    double elapsed = 1;
    std::vector<double> latencies;
};

// Microseconds the cluster's masters have spent in commands (INFO commandstats) since the
// last call: the store's cost in Redis, which the machine's other load does not change much.
class RedisTime
{
public:
    explicit RedisTime(const std::string &seeds)
    {
        std::size_t from = 0;
        while (from < seeds.size()) {
            const auto comma = seeds.find(',', from);
            const std::string node = seeds.substr(from, comma - from);
            const auto colon = node.rfind(':');
            if (colon != std::string::npos)
                nodes.push_back({node.substr(0, colon), node.substr(colon + 1)});
            from = comma == std::string::npos ? seeds.size() : comma + 1;
        }
        take();
    }

    double take()
    {
        double total = 0;
        for (const auto &[host, port] : nodes) {
            const std::string command = "redis-cli -h " + host + " -p " + port
                + " info replication | grep -q role:master && redis-cli -h " + host + " -p " + port
                + " info commandstats";
            FILE *out = popen(command.c_str(), "r");
            if (!out)
                continue;
            char line[512];
            while (std::fgets(line, sizeof line, out)) {
                if (const char *usec = std::strstr(line, "usec="))
                    total += std::atof(usec + 5);
            }
            pclose(out);
        }
        const double spent = total - last;
        last = total;
        return spent;
    }

private:
    std::vector<std::pair<std::string, std::string>> nodes;
    double last = 0;
};

} // namespace

int main(int argc, char **argv)
{
    SeedArea area;
    const int rounds = argc >= 9 ? std::atoi(argv[7]) : 3;
    const double seconds = argc >= 9 ? std::atof(argv[8]) : 5;
    if (!readSeedArguments(std::min(argc, 7), argv,
            "posd_redisstorebench SEEDS COUNT LAT LON HALF_LAT HALF_LON [ROUNDS SECONDS [setpos]]",
            area))
        return 2;
    Redis::RedisPeopleStore store(
        {argv[1], std::chrono::milliseconds(5000), 0}, UserListXml::renderProfile);
    std::mt19937 random(2);
    std::uniform_real_distribution<double> unit(-1, 1);

    // People with keys, beyond the seeded ones.
    Load registering(256);
    int next = 0;
    registering.run(
        3600,
        [&](std::function<void(bool)> done) {
            const int n = ++next;
            PersonRecord person = seedPerson(area.count + n);
            person.keyHash = keyOf(n);
            store.registerPerson(person, [done](StoreStatus s) { done(s == StoreStatus::Done); });
        },
        KeyedPeople);
    std::printf(
        "registered %d people with keys (%d failed)\n", KeyedPeople, registering.failures());

    const auto setPos = [&](bool keyed) {
        return [&, keyed](std::function<void(bool)> done) {
            const int n = 1 + static_cast<int>(random() % KeyedPeople);
            PositionReport position {seedUid(area.count + n),
                area.lat + area.halfLat * unit(random), area.lon + area.halfLon * unit(random), {}};
            if (keyed)
                position.keyHash = keyOf(n);
            store.setPosition(
                position, systemClock()(), [done](StoreStatus s) { done(s == StoreStatus::Done); });
        };
    };
    RedisTime redisTime(argv[1]);
    for (int round = 1; round <= rounds; ++round) {
        Load plain(64);
        Load keyed(64);
        redisTime.take();
        plain.run(seconds, setPos(false));
        const double plainUs = redisTime.take() / plain.calls();
        keyed.run(seconds, setPos(true));
        const double keyedUs = redisTime.take() / keyed.calls();
        std::printf("SetPos round %d: without key %.0f/s, with key %.0f/s, ratio %.2f; "
                    "Redis time per call %.1f / %.1f us, ratio %.2f (failed %d, %d)\n",
            round, plain.rate(), keyed.rate(), keyed.rate() / plain.rate(), plainUs, keyedUs,
            plainUs / keyedUs, plain.failures(), keyed.failures());
        std::fflush(stdout);
    }

    // "setpos": the key check alone.
    const bool listsToo = argc < 10 || std::string(argv[9]) != "setpos";
    for (const int zoom : {14, 10, 3, 0}) {
        if (!listsToo)
            break;
        const auto list = [&, zoom](bool crowds) {
            return [&, zoom, crowds](std::function<void(bool)> done) {
                NearestQuery query;
                query.view = MapView(area.lat + 0.8 * area.halfLat * unit(random),
                    area.lon + 0.9 * area.halfLon * unit(random), zoom);
                query.crowds = crowds;
                store.nearest(
                    query, [done](NearestAnswer a) { done(a.status == StoreStatus::Done); });
            };
        };
        for (int round = 1; round <= rounds; ++round) {
            Load plain(16);
            Load crowds(16);
            redisTime.take();
            plain.run(seconds, list(false));
            const double plainUs = redisTime.take() / plain.calls();
            crowds.run(seconds, list(true));
            const double crowdsUs = redisTime.take() / crowds.calls();
            std::printf("GetUsers zoom %d round %d: without crowds %.0f/s p50 %.1f ms p99 %.1f ms; "
                        "with crowds %.0f/s p50 %.1f ms p99 %.1f ms; p99 ratio %.2f; Redis time "
                        "per call %.0f / %.0f us, ratio %.2f (failed %d, %d)\n",
                zoom, round, plain.rate(), plain.percentile(0.5), plain.percentile(0.99),
                crowds.rate(), crowds.percentile(0.5), crowds.percentile(0.99),
                crowds.percentile(0.99) / plain.percentile(0.99), plainUs, crowdsUs,
                crowdsUs / plainUs, plain.failures(), crowds.failures());
            std::fflush(stdout);
        }
    }
    store.stop();
    return 0;
}
