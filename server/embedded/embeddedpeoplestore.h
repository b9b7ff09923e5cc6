#pragma once

#include "base/limits.h"
#include "embedded/writebehind.h"
#include "store/peoplestore.h"

#include <atomic>
#include <memory>
#include <string>

namespace Pinrova::Server {

class PeopleFile;
class PresenceModel;
class QueryPool;

struct EmbeddedStoreOptions
{
    WriteBehindOptions writer;
    // Changed positions not yet written at most (see Limits::MaxPendingPositions).
    std::size_t maxPendingPositions = Limits::MaxPendingPositions;
    // Threads that build lists: 0 for one per core.
    int queryThreads = 0;
    // Lists waiting for a query thread at most; beyond, nearest answers Busy.
    std::size_t maxQueuedLists = Limits::MaxQueuedLists;
};

// The default store: everyone in memory (PresenceModel), written behind to one SQLite file
// (PeopleFile) by one writer thread (WriteBehind). Positions are answered before the call
// returns; a Register once its commit is done, on the writer thread; a nearest query on a
// query thread (QueryPool), below the HTTP threads in priority, so a position report never
// waits behind a list being built.
class EmbeddedPeopleStore : public PeopleStore
{
public:
    // Opens the file and reads everyone from it; throws on failure. render gives each
    // person's listed profile; events (may be null, not owned) gets the commit times and
    // sweeps.
    EmbeddedPeopleStore(const std::string &path, EmbeddedStoreOptions options,
        ProfileRenderer render, StoreEvents *events = nullptr);
    ~EmbeddedPeopleStore() override;
    EmbeddedPeopleStore(const EmbeddedPeopleStore &) = delete;
    EmbeddedPeopleStore &operator=(const EmbeddedPeopleStore &) = delete;

    void registerPerson(PersonRecord person, Done<StoreStatus> done) override;
    void setPosition(
        const PositionReport &position, std::int64_t nowMs, Done<StoreStatus> done) override;
    void nearest(const NearestQuery &query, Done<NearestAnswer> done) override;
    void sweep(std::int64_t silentBeforeMs, Done<SweepResult> done) override;
    void hide(
        const Uuid &uid, const std::optional<KeyHash> &keyHash, Done<StoreStatus> done) override;
    void forget(
        const Uuid &uid, const std::optional<KeyHash> &keyHash, Done<StoreStatus> done) override;
    void counts(std::int64_t onlineSinceMs, Done<StoreCounts> done) override;
    void stop() override;

private:
    // On the writer thread: the person uid is bound to, when keyHash (if any) is uid's, goes
    // through change; done gets its outcome.
    void changePerson(const Uuid &uid, const std::optional<KeyHash> &keyHash,
        std::function<bool(std::int64_t personId)> change, Done<StoreStatus> done);

    const ProfileRenderer render;
    std::unique_ptr<PeopleFile> file;
    std::unique_ptr<PresenceModel> model;
    std::unique_ptr<WriteBehind> writer;
    std::unique_ptr<QueryPool> queries;
    std::atomic<bool> stopped {false};
};

} // namespace Pinrova::Server
