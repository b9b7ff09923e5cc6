#include "embedded/presencemodel.h"

#include "embedded/crowdtally.h"
#include "store/peoplestore.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>

namespace Pinrova::Server {

namespace {

// People looked at per hold of the write lock in a sweep.
constexpr std::size_t SweepSlice = 4096;

} // namespace

PresenceModel::PresenceModel(std::size_t maxPending)
    : maxPending(maxPending)
{ }

std::uint32_t PresenceModel::entryFor(std::int64_t personId)
{
    const auto it = entryOfPerson.find(personId);
    if (it != entryOfPerson.end())
        return it->second;
    std::uint32_t entry;
    if (!freeEntries.empty()) {
        entry = freeEntries.back();
        freeEntries.pop_back();
    } else {
        entry = static_cast<std::uint32_t>(people.size());
        people.emplace_back();
    }
    people[entry].id = personId;
    entryOfPerson.emplace(personId, entry);
    return entry;
}

std::optional<Uuid> PresenceModel::bind(const Uuid &uid, std::uint32_t entry)
{
    entryOfInstallation[uid].entry = entry;
    auto &uids = people[entry].installations;
    // Bound already: it becomes the newest.
    const auto known = std::find(uids.begin(), uids.end(), uid);
    if (known != uids.end()) {
        std::rotate(known, known + 1, uids.end());
        return std::nullopt;
    }
    std::optional<Uuid> letGo;
    if (uids.size() >= Limits::MaxInstallationsPerPerson) {
        // Uids since bound to someone else make room first; else the one bound longest ago.
        const auto stale = std::find_if(uids.begin(), uids.end(), [&](const Uuid &held) {
            const auto it = entryOfInstallation.find(held);
            return it == entryOfInstallation.end() || it->second.entry != entry;
        });
        if (stale == uids.end()) {
            letGo = uids.front();
            const auto held = entryOfInstallation.find(uids.front());
            setKey(held->second, std::nullopt);
            entryOfInstallation.erase(held);
            uids.erase(uids.begin());
        } else {
            uids.erase(stale);
        }
    }
    uids.push_back(uid);
    return letGo;
}

std::optional<Uuid> PresenceModel::applyRegistration(const Uuid &uid, std::int64_t personId,
    std::shared_ptr<const std::string> profile, std::int64_t nowMs,
    const std::optional<KeyHash> &key)
{
    std::unique_lock lock(mutex);
    const auto entry = entryFor(personId);
    people[entry].profile = std::move(profile);
    people[entry].registeredMs = nowMs;
    people[entry].hidden = false;
    const auto letGo = bind(uid, entry);
    setKey(entryOfInstallation[uid], key);
    return letGo;
}

void PresenceModel::setKey(Installation &installation, const std::optional<KeyHash> &key)
{
    if (installation.key)
        liveKeys.erase(*installation.key);
    installation.key = key;
    if (key)
        liveKeys.insert(*key);
}

void PresenceModel::setProfile(
    std::int64_t personId, std::shared_ptr<const std::string> profile, std::int64_t registeredMs)
{
    std::unique_lock lock(mutex);
    Person &person = people[entryFor(personId)];
    person.profile = std::move(profile);
    person.registeredMs = registeredMs;
}

bool PresenceModel::bindInstallation(
    const Uuid &uid, std::int64_t personId, const std::optional<KeyHash> &key,
    std::optional<Uuid> *letGo)
{
    std::unique_lock lock(mutex);
    const auto it = entryOfPerson.find(personId);
    if (it == entryOfPerson.end())
        return false;
    const auto dropped = bind(uid, it->second);
    setKey(entryOfInstallation[uid], key);
    if (letGo)
        *letGo = dropped;
    return true;
}

bool PresenceModel::isBound(const Uuid &uid, std::int64_t personId) const
{
    std::shared_lock lock(mutex);
    const auto it = entryOfInstallation.find(uid);
    return it != entryOfInstallation.end() && people[it->second.entry].id == personId;
}

void PresenceModel::restoreHidden(std::int64_t personId)
{
    std::unique_lock lock(mutex);
    const auto it = entryOfPerson.find(personId);
    if (it != entryOfPerson.end())
        people[it->second].hidden = true;
}

void PresenceModel::place(std::uint32_t entry, double lat, double lon, std::int64_t timeMs)
{
    Person &person = people[entry];
    const WorldPoint point = toWorld(lat, lon);
    if (!person.listed || SpatialGrid::cellOf(point) != person.slot.cell) {
        if (person.listed) {
            const auto moved = grid.remove(person.slot);
            if (moved != UINT32_MAX)
                people[moved].slot.index = person.slot.index;
        }
        person.slot = grid.insert(entry, point);
    } else {
        grid.move(person.slot, point);
    }
    person.lat = lat;
    person.lon = lon;
    person.point = point;
    person.timeMs = timeMs;
    person.located = true;
    person.listed = true;
}

void PresenceModel::restorePosition(
    std::int64_t personId, double lat, double lon, std::int64_t timeMs)
{
    std::unique_lock lock(mutex);
    const auto entry = entryFor(personId);
    place(entry, lat, lon, timeMs);
    recency.remove(entry);
    restoredEntries.push_back(entry);
}

void PresenceModel::linkRestored() const
{
    if (restoredEntries.empty())
        return;
    std::vector<std::pair<std::int64_t, std::uint32_t>> sorted;
    sorted.reserve(restoredEntries.size());
    for (const auto entry : restoredEntries) {
        if (people[entry].listed && !recency.contains(entry))
            sorted.emplace_back(people[entry].timeMs, entry);
    }
    restoredEntries.clear();
    restoredEntries.shrink_to_fit();
    std::sort(sorted.begin(), sorted.end());
    recency.merge(sorted);
}

PresenceModel::Update PresenceModel::setPosition(
    const Uuid &uid, double lat, double lon, std::int64_t nowMs, const KeyHash *key)
{
    std::unique_lock lock(mutex);
    const auto it = entryOfInstallation.find(uid);
    if (key && (it == entryOfInstallation.end() || it->second.key != *key))
        return Update::BadKey;
    if (it == entryOfInstallation.end())
        return Update::UnknownUid;
    const std::uint32_t entry = it->second.entry;
    Person &person = people[entry];
    if (person.hidden)
        return Update::Hidden;
    if (!person.changed && changedCount >= maxPending)
        return Update::QueueFull;
    linkRestored();
    place(entry, lat, lon, nowMs);
    recency.touch(entry, nowMs);
    if (!person.changed) {
        person.changed = true;
        ++changedCount;
        changedEntries.push_back(entry);
    }
    return Update::Stored;
}

bool PresenceModel::isLiveKey(const KeyHash &key) const
{
    std::shared_lock lock(mutex);
    return liveKeys.count(key) != 0;
}

PresenceModel::Update PresenceModel::personOf(
    const Uuid &uid, const KeyHash *key, std::int64_t &personId) const
{
    std::shared_lock lock(mutex);
    const auto it = entryOfInstallation.find(uid);
    if (key && (it == entryOfInstallation.end() || it->second.key != *key))
        return Update::BadKey;
    if (it == entryOfInstallation.end())
        return Update::UnknownUid;
    personId = people[it->second.entry].id;
    return Update::Stored;
}

void PresenceModel::unplace(std::uint32_t entry)
{
    Person &person = people[entry];
    unlist(entry);
    person.located = false;
    if (person.changed) {
        person.changed = false;
        --changedCount;
    }
}

void PresenceModel::hide(std::int64_t personId)
{
    std::unique_lock lock(mutex);
    const auto it = entryOfPerson.find(personId);
    if (it == entryOfPerson.end())
        return;
    unplace(it->second);
    people[it->second].hidden = true;
}

void PresenceModel::forget(std::int64_t personId)
{
    std::unique_lock lock(mutex);
    const auto it = entryOfPerson.find(personId);
    if (it != entryOfPerson.end())
        release(it->second);
}

std::vector<ListedPerson> PresenceModel::nearest(
    const NearestQuery &query, std::vector<Crowd> *crowds) const
{
    // A local copy: the walk below reads it for every candidate, and a reference would make
    // the compiler load it again after each store.
    const MapView view = query.view;
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
    if (crowds)
        *crowds = countCrowds(view, found);
    return listed;
}

std::vector<Crowd> PresenceModel::countCrowds(
    const MapView &view, const std::vector<std::uint32_t> &listed) const
{
    // Under the caller's lock, so the answer's people are among those counted.
    CrowdTally tally(view);
    grid.countCrowds(tally);
    for (const auto entry : listed)
        tally.addPoint(people[entry].point, -1);
    return tally.crowds();
}

std::vector<PositionRecord> PresenceModel::takeChangedPositions(std::size_t limit)
{
    std::vector<PositionRecord> records;
    std::unique_lock lock(mutex);
    // An entry can be listed twice (swept, then taken by someone new); its flag decides.
    std::size_t used = 0;
    while (used < changedEntries.size() && records.size() < limit) {
        Person &person = people[changedEntries[used++]];
        if (!person.changed)
            continue;
        person.changed = false;
        --changedCount;
        records.push_back({person.id, person.lat, person.lon, person.timeMs});
    }
    changedEntries.erase(changedEntries.begin(), changedEntries.begin() + used);
    return records;
}

void PresenceModel::requeue(const std::vector<PositionRecord> &records)
{
    std::unique_lock lock(mutex);
    for (const auto &record : records) {
        const auto it = entryOfPerson.find(record.personId);
        if (it == entryOfPerson.end())
            continue; // swept meanwhile
        Person &person = people[it->second];
        if (!person.changed) {
            person.changed = true;
            ++changedCount;
            changedEntries.push_back(it->second);
        }
    }
}

void PresenceModel::unlist(std::uint32_t entry)
{
    Person &person = people[entry];
    if (!person.listed)
        return;
    const auto moved = grid.remove(person.slot);
    if (moved != UINT32_MAX)
        people[moved].slot.index = person.slot.index;
    recency.remove(entry);
    person.listed = false;
}

void PresenceModel::release(std::uint32_t entry)
{
    Person &person = people[entry];
    unlist(entry);
    for (const auto &uid : person.installations) {
        const auto it = entryOfInstallation.find(uid);
        if (it != entryOfInstallation.end() && it->second.entry == entry) {
            setKey(it->second, std::nullopt);
            entryOfInstallation.erase(it);
        }
    }
    if (person.changed)
        --changedCount;
    entryOfPerson.erase(person.id);
    person = Person();
    freeEntries.push_back(entry);
}

std::vector<std::int64_t> PresenceModel::removeSilent(std::int64_t beforeMs)
{
    std::vector<std::int64_t> removed;
    for (std::size_t start = 0;; start += SweepSlice) {
        std::unique_lock lock(mutex);
        if (start >= people.size())
            break;
        const std::size_t end = std::min(people.size(), start + SweepSlice);
        for (std::size_t entry = start; entry < end; ++entry) {
            const Person &person = people[entry];
            if (person.id == 0 || person.registeredMs >= beforeMs
                || (person.located && person.timeMs >= beforeMs))
                continue;
            removed.push_back(person.id);
            release(static_cast<std::uint32_t>(entry));
        }
    }
    return removed;
}

std::size_t PresenceModel::silentCount(std::int64_t beforeMs) const
{
    std::size_t silent = 0;
    for (std::size_t start = 0;; start += SweepSlice) {
        std::shared_lock lock(mutex);
        if (start >= people.size())
            break;
        const std::size_t end = std::min(people.size(), start + SweepSlice);
        for (std::size_t entry = start; entry < end; ++entry) {
            const Person &person = people[entry];
            if (person.id != 0 && person.registeredMs < beforeMs
                && !(person.located && person.timeMs >= beforeMs))
                ++silent;
        }
    }
    return silent;
}

void PresenceModel::forgetSilent(std::int64_t beforeMs)
{
    for (bool more = true; more;) {
        std::unique_lock lock(mutex);
        linkRestored();
        more = false;
        for (std::size_t taken = 0; taken < SweepSlice; ++taken) {
            const auto entry = recency.oldestBefore(beforeMs);
            if (entry == RecencyList::None)
                break;
            unlist(entry);
            more = taken + 1 == SweepSlice;
        }
    }
}

bool PresenceModel::hasPerson(std::int64_t personId) const
{
    std::shared_lock lock(mutex);
    return entryOfPerson.count(personId) != 0;
}

std::size_t PresenceModel::personCount() const
{
    std::shared_lock lock(mutex);
    return people.size() - freeEntries.size();
}

std::size_t PresenceModel::installationCount() const
{
    std::shared_lock lock(mutex);
    return entryOfInstallation.size();
}

std::size_t PresenceModel::listedCount() const
{
    std::shared_lock lock(mutex);
    return grid.entryCount();
}

std::size_t PresenceModel::pendingCount() const
{
    std::shared_lock lock(mutex);
    return changedCount;
}

std::size_t PresenceModel::onlineCount(std::int64_t sinceMs) const
{
    // The write lock: the count's cursor moves.
    std::unique_lock lock(mutex);
    linkRestored();
    return recency.countSince(sinceMs);
}

} // namespace Pinrova::Server
