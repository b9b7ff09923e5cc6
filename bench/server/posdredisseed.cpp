// posd_redisseed SEEDS COUNT LAT LON HALF_LAT HALF_LON
// The cluster store's counterpart of posd_seed: registers COUNT people with installation ids
// {%08x-0000-4000-8000-000000000000} (1 … COUNT) through the service's own Redis store, at
// the same positions posd_seed gives them, all seen now. Registrations are not waited on a
// replica (the figures measure serving, not seeding).
#include "store/clock.h"
#include "redis/redispeoplestore.h"
#include "seedperson.h"
#include "api/userlistxml.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>

using namespace Pinrova::Server;

namespace {

// Keeps at most Limit calls in flight and counts the ones that failed.
class Window
{
public:
    static constexpr int Limit = 2000;

    PeopleStore::Done<StoreStatus> take()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return open < Limit; });
        ++open;
        return [this](StoreStatus status) {
            std::lock_guard guard(mutex);
            --open;
            failed += status != StoreStatus::Done;
            changed.notify_all();
        };
    }
    int drain()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return open == 0; });
        return failed;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    int open = 0;
    int failed = 0;
};

} // namespace

int main(int argc, char **argv)
{
    SeedArea area;
    if (!readSeedArguments(
            argc, argv, "posd_redisseed SEEDS COUNT LAT LON HALF_LAT HALF_LON", area))
        return 2;
    const auto [count, lat, lon, halfLat, halfLon] = area;

    Redis::RedisPeopleStore store(
        {argv[1], std::chrono::milliseconds(10000), 0}, UserListXml::renderProfile);
    std::mt19937 random(1);
    std::uniform_real_distribution<double> unit(-1, 1);
    Window window;
    for (int n = 1; n <= count; ++n)
        store.registerPerson(seedPerson(n), window.take());
    int failed = window.drain();
    const std::int64_t now = systemClock()();
    for (int n = 1; n <= count; ++n) {
        PositionReport position {
            seedUid(n), lat + halfLat * unit(random), lon + halfLon * unit(random), {}};
        store.setPosition(position, now, window.take());
        if (n % 100000 == 0)
            std::fprintf(stderr, "posd_redisseed: %d people\n", n);
    }
    failed += window.drain();
    store.stop();
    if (failed) {
        std::fprintf(stderr, "posd_redisseed: %d calls failed\n", failed);
        return 1;
    }
    return 0;
}
