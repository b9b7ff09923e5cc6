#pragma once
// The seeded people both seeders write: person n (1 … COUNT) with installation id
// {%08x-0000-4000-8000-000000000000}, alternating networks, a name and two picture addresses.
#include "store/uuid.h"
#include "store/peoplestore.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace Pinrova::Server {

inline Uuid seedUid(int n)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08x-0000-4000-8000-000000000000}", n);
    return *Uuid::fromBraced(text);
}

inline PersonRecord seedPerson(int n)
{
    PersonRecord person;
    person.uid = seedUid(n);
    person.network = n % 2;
    person.id = std::to_string(100000000 + n);
    person.name = "Person " + std::to_string(n);
    person.smallPicture = "http://pics.example/" + person.id + "_s.jpg";
    person.mediumPicture = "http://pics.example/" + person.id + "_m.jpg";
    person.sex = n % 3;
    return person;
}

// COUNT people spread evenly over LAT ± HALF_LAT, LON ± HALF_LON: both seeders' arguments after
// the first.
struct SeedArea
{
    int count = 0;
    double lat = 0;
    double lon = 0;
    double halfLat = 0;
    double halfLon = 0;
};

// Reads "WHERE COUNT LAT LON HALF_LAT HALF_LON"; false, with usage on stderr, when the count
// of arguments is wrong.
inline bool readSeedArguments(int argc, char **argv, const char *usage, SeedArea &area)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s\n", usage);
        return false;
    }
    area.count = std::atoi(argv[2]);
    area.lat = std::atof(argv[3]);
    area.lon = std::atof(argv[4]);
    area.halfLat = std::atof(argv[5]);
    area.halfLon = std::atof(argv[6]);
    return true;
}

} // namespace Pinrova::Server
