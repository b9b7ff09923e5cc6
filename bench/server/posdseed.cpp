// posd_seed FILE COUNT LAT LON HALF_LAT HALF_LON
// Registers COUNT people with installation ids {%08x-0000-4000-8000-000000000000} (1 … COUNT),
// spread evenly over the box LAT ± HALF_LAT, LON ± HALF_LON, all seen now. Written through
// the service's own store, so the file is exactly what the service would have written.
#include "store/clock.h"
#include "embedded/peoplefile.h"
#include "seedperson.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

using namespace Pinrova::Server;

int main(int argc, char **argv)
{
    SeedArea area;
    if (!readSeedArguments(argc, argv, "posd_seed FILE COUNT LAT LON HALF_LAT HALF_LON", area))
        return 2;
    const auto [count, lat, lon, halfLat, halfLon] = area;

    PeopleFile store(argv[1]);
    std::mt19937 random(1);
    std::uniform_real_distribution<double> unit(-1, 1);
    const auto now = systemClock()();
    constexpr int Batch = 10000;
    for (int first = 1; first <= count; first += Batch) {
        std::vector<PersonRecord> people;
        for (int n = first; n < first + Batch && n <= count; ++n)
            people.push_back(seedPerson(n));
        std::vector<const PersonRecord *> registrations;
        for (const auto &person : people)
            registrations.push_back(&person);
        std::vector<std::int64_t> ids;
        std::string error;
        if (!store.commit({}, registrations, now, ids, error)) {
            std::fprintf(stderr, "posd_seed: %s\n", error.c_str());
            return 1;
        }
        std::vector<PositionRecord> positions;
        for (auto id : ids)
            positions.push_back(
                {id, lat + halfLat * unit(random), lon + halfLon * unit(random), now});
        std::vector<std::int64_t> none;
        if (!store.commit(positions, {}, now, none, error)) {
            std::fprintf(stderr, "posd_seed: %s\n", error.c_str());
            return 1;
        }
    }
    std::printf("posd_seed: %d people in %s\n", count, argv[1]);
    return 0;
}
