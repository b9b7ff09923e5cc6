#include "presencemodel.h"

#include "peoplestore.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>

namespace Pinrova::Server {

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
    const Uuid &uid, std::int64_t personId, std::shared_ptr<const std::string> profile)
{
    std::unique_lock lock(mutex);
    const auto entry = entryFor(personId);
    people[entry].profile = std::move(profile);
    entryOfInstallation[uid] = entry;
}

void PresenceModel::setProfile(std::int64_t personId, std::shared_ptr<const std::string> profile)
{
    std::unique_lock lock(mutex);
    people[entryFor(personId)].profile = std::move(profile);
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

std::vector<ListedPerson> PresenceModel::nearest(const NearestQuery &query) const
{
    const GetUsersRequest &area = query.area;
    const MapView view(area.lat, area.lon, area.zoom, area.width, area.height);
    thread_local std::vector<std::uint32_t> found;
    found.clear();
    std::vector<ListedPerson> listed;
    listed.reserve(std::min<std::size_t>(query.limit, 256));
    // Only the walk and the copies happen under the lock; the answer is built after it.
    std::shared_lock lock(mutex);
    grid.nearest(
        view, query.limit,
        [&](std::uint32_t entry, SpatialGrid::Rank &rank) {
            const Person &person = people[entry];
            if (person.timeMs < query.seenSinceMs || !view.contains(person.point))
                return false;
            rank.distance = view.distanceSquared(person.point);
            rank.tie = person.id;
            return true;
        },
        found);
    for (const auto entry : found) {
        const Person &person = people[entry];
        listed.push_back({person.lat, person.lon, person.timeMs, person.profile});
    }
    return listed;
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

std::size_t PresenceModel::onlineCount(std::int64_t sinceMs) const
{
    std::shared_lock lock(mutex);
    return std::count_if(people.begin(), people.end(),
        [sinceMs](const Person &person) { return person.located && person.timeMs >= sinceMs; });
}

std::size_t PresenceModel::installationCount() const
{
    std::shared_lock lock(mutex);
    return entryOfInstallation.size();
}

} // namespace Pinrova::Server
