#pragma once

#include "base/limits.h"
#include "embedded/keyhashset.h"
#include "embedded/spatialgrid.h"
#include "embedded/writerfirstmutex.h"
#include "store/uuid.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Pinrova::Server {

struct Crowd;
struct ListedPerson;
struct NearestQuery;

// A position that still has to reach the file.
struct PositionRecord
{
    std::int64_t personId = 0;
    double lat = 0;
    double lon = 0;
    std::int64_t timeMs = 0;
};

// The people in memory: one entry per network identity (keyed by its row id in the file),
// the installations bound to them, and each person's newest position in a spatial grid.
// Thread-safe: queries share a read lock for a walk bounded by their answer, updates take the
// write lock briefly and go first when both wait.
class PresenceModel
{
public:
    enum class Update { Stored, UnknownUid, QueueFull, BadKey, Hidden };

    // maxPending bounds the positions changed and not yet taken for writing.
    explicit PresenceModel(std::size_t maxPending = Limits::MaxPendingPositions);

    // A registration that is in the file, made at nowMs: binds uid to the person, whose
    // profile is replaced.
    // The installation's session key is replaced by key (none: it has none any more), and a
    // hidden person is listed again once they report.
    void applyRegistration(const Uuid &uid, std::int64_t personId,
        std::shared_ptr<const std::string> profile, std::int64_t nowMs,
        const std::optional<KeyHash> &key = std::nullopt);
    // The parts of a registration, when the file is read back.
    void setProfile(std::int64_t personId, std::shared_ptr<const std::string> profile,
        std::int64_t registeredMs);
    // False (nothing bound) when the person is not known.
    bool bindInstallation(
        const Uuid &uid, std::int64_t personId, const std::optional<KeyHash> &key = std::nullopt);
    // A person who asked to be hidden, when the file is read back.
    void restoreHidden(std::int64_t personId);
    // A stored position, when the file is read back; not written again.
    void restorePosition(std::int64_t personId, double lat, double lon, std::int64_t timeMs);

    // Nothing is stored unless Stored. QueueFull when the person has no position waiting for
    // the file and maxPending others do.
    Update setPosition(
        const Uuid &uid, double lat, double lon, std::int64_t nowMs, const KeyHash *key = nullptr);

    // True when key is the session key of some installation.
    bool isLiveKey(const KeyHash &key) const;
    // The person uid is bound to, when key (if given) is uid's: Stored with their person id,
    // else UnknownUid or BadKey.
    Update personOf(const Uuid &uid, const KeyHash *key, std::int64_t &personId) const;
    // The person is no longer listed and their position is dropped; setPosition answers
    // Hidden until their next registration.
    void hide(std::int64_t personId);
    // The person, their installations, keys and position are gone from memory.
    void forget(std::int64_t personId);

    // The nearest people in the query's view, nearest first (ties by person id); with
    // crowds, also the view's other people per crowd cell, counted in the same instant.
    std::vector<ListedPerson> nearest(
        const NearestQuery &query, std::vector<Crowd> *crowds = nullptr) const;

    // Positions changed since they were last taken, newest value of each person once; at
    // most limit of them.
    std::vector<PositionRecord> takeChangedPositions(std::size_t limit = SIZE_MAX);
    // Positions whose write failed: they are taken again (with any newer value) next time.
    void requeue(const std::vector<PositionRecord> &records);

    // Removes everyone whose registration and newest position are both older than
    // beforeMs, and returns their person ids. Works through the people a slice at a time so
    // the write lock is never held for long.
    std::vector<std::int64_t> removeSilent(std::int64_t beforeMs);

    bool hasPerson(std::int64_t personId) const;
    std::size_t personCount() const;
    std::size_t installationCount() const;
    std::size_t pendingCount() const;
    // People with a position at or after sinceMs.
    std::size_t onlineCount(std::int64_t sinceMs) const;

private:
    struct Person
    {
        std::int64_t id = 0; // 0: a free entry
        std::shared_ptr<const std::string> profile;
        double lat = 0;
        double lon = 0;
        WorldPoint point;
        std::int64_t timeMs = 0;
        std::int64_t registeredMs = 0;
        SpatialGrid::Slot slot;
        std::vector<Uuid> installations; // may hold uids since bound to someone else
        bool located = false;
        bool changed = false;
        bool hidden = false;
    };
    struct Installation
    {
        std::uint32_t entry = 0;
        std::optional<KeyHash> key; // its session key, checked on the same lookup as the uid
    };

    std::uint32_t entryFor(std::int64_t personId);
    std::vector<Crowd> countCrowds(
        const MapView &view, const std::vector<std::uint32_t> &listed) const;
    void place(std::uint32_t entry, double lat, double lon, std::int64_t timeMs);
    void bind(const Uuid &uid, std::uint32_t entry);
    void setKey(Installation &installation, const std::optional<KeyHash> &key);
    void unplace(std::uint32_t entry);
    void release(std::uint32_t entry);

    const std::size_t maxPending;
    mutable WriterFirstMutex mutex;
    std::vector<Person> people;
    std::vector<std::uint32_t> freeEntries;
    std::unordered_map<std::int64_t, std::uint32_t> entryOfPerson;
    std::unordered_map<Uuid, Installation, UuidHash> entryOfInstallation;
    KeyHashSet liveKeys;
    std::vector<std::uint32_t> changedEntries;
    std::size_t changedCount = 0; // entries with changed set
    SpatialGrid grid;
};

} // namespace Pinrova::Server
