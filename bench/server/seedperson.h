#pragma once
// The seeded people both seeders write: person n (1 … COUNT) with installation id
// {%08x-0000-4000-8000-000000000000}, alternating networks, a name and two picture addresses.
#include "store/uuid.h"
#include "store/peoplestore.h"

#include <cstdio>
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

} // namespace Pinrova::Server
