#include "presencemodel.h"

#include "userlistxml.h"
#include "wirerequests.h"

#include <algorithm>
#include <mutex>

namespace Pinrova::Server {

PresenceModel::PresenceModel(ListingPolicy policy)
    : policy(policy)
{ }

std::uint32_t PresenceModel::entryFor(std::int64_t personId)
{
    const auto [it, added] = entryOfPerson.try_emplace(personId, people.size());
    if (added) {
        people.emplace_back();
        people.back().id = personId;
    }
    return it->second;
}

void PresenceModel::applyRegistration(
    const Uuid &uid, std::int64_t personId, std::string profileFragment)
{
    std::unique_lock lock(mutex);
    const auto entry = entryFor(personId);
    people[entry].fragment = std::move(profileFragment);
    entryOfInstallation[uid] = entry;
}

void PresenceModel::setProfile(std::int64_t personId, std::string profileFragment)
{
    std::unique_lock lock(mutex);
    people[entryFor(personId)].fragment = std::move(profileFragment);
}

bool PresenceModel::bindInstallation(const Uuid &uid, std::int64_t personId)
{
    std::unique_lock lock(mutex);
    const auto it = entryOfPerson.find(personId);
    if (it == entryOfPerson.end())
        return false;
    entryOfInstallation[uid] = it->second;
    return true;
}

void PresenceModel::place(std::uint32_t entry, double lat, double lon, std::int64_t timeMs)
{
    Person &person = people[entry];
    const WorldPoint point = toWorld(lat, lon);
    if (!person.located || SpatialGrid::cellOf(point) != person.slot.cell) {
        if (person.located) {
            const auto moved = grid.remove(person.slot);
            if (moved != UINT32_MAX)
                people[moved].slot.index = person.slot.index;
        }
        person.slot = grid.insert(entry, point);
    }
    person.lat = lat;
    person.lon = lon;
    person.point = point;
    person.timeMs = timeMs;
    person.located = true;
}

void PresenceModel::restorePosition(
    std::int64_t personId, double lat, double lon, std::int64_t timeMs)
{
    std::unique_lock lock(mutex);
    place(entryFor(personId), lat, lon, timeMs);
}

bool PresenceModel::setPosition(const Uuid &uid, double lat, double lon, std::int64_t nowMs)
{
    std::unique_lock lock(mutex);
    const auto it = entryOfInstallation.find(uid);
    if (it == entryOfInstallation.end())
        return false;
    place(it->second, lat, lon, nowMs);
    Person &person = people[it->second];
    if (!person.changed) {
        person.changed = true;
        changedEntries.push_back(it->second);
    }
    return true;
}

std::string PresenceModel::usersNear(const GetUsersRequest &request, std::int64_t nowMs) const
{
    const MapView view(request.lat, request.lon, request.zoom, request.width, request.height);
    struct Candidate
    {
        double distance;
        std::int64_t id;
        std::uint32_t entry;
        bool operator<(const Candidate &other) const
        {
            return distance < other.distance || (distance == other.distance && id < other.id);
        }
    };
    thread_local std::vector<Candidate> candidates;
    candidates.clear();

    std::string body;
    std::shared_lock lock(mutex);
    const std::int64_t forgetBefore = nowMs - policy.forgetMs;
    grid.forEachNear(view, [&](std::uint32_t entry) {
        const Person &person = people[entry];
        if (person.timeMs < forgetBefore || !view.contains(person.point))
            return;
        candidates.push_back({view.distanceSquared(person.point), person.id, entry});
    });
    const auto count = std::min(candidates.size(), policy.maxUsers);
    std::partial_sort(candidates.begin(), candidates.begin() + count, candidates.end());

    std::size_t size = 64;
    for (std::size_t i = 0; i < count; ++i)
        size += people[candidates[i].entry].fragment.size() + 96;
    body.reserve(size);
    UserListXml xml(body);
    xml.begin();
    for (std::size_t i = 0; i < count; ++i) {
        const Person &person = people[candidates[i].entry];
        xml.addUser(
            person.lat, person.lon, person.timeMs >= nowMs - policy.onlineMs, person.fragment);
    }
    xml.end();
    return body;
}

std::vector<PositionRecord> PresenceModel::takeChangedPositions()
{
    std::vector<PositionRecord> records;
    std::unique_lock lock(mutex);
    records.reserve(changedEntries.size());
    for (auto entry : changedEntries) {
        Person &person = people[entry];
        person.changed = false;
        records.push_back({person.id, person.lat, person.lon, person.timeMs});
    }
    changedEntries.clear();
    return records;
}

std::size_t PresenceModel::personCount() const
{
    std::shared_lock lock(mutex);
    return people.size();
}

std::size_t PresenceModel::installationCount() const
{
    std::shared_lock lock(mutex);
    return entryOfInstallation.size();
}

} // namespace Pinrova::Server
