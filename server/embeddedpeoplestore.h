#pragma once

#include "peoplestore.h"
#include "writebehind.h"

#include <atomic>
#include <memory>
#include <string>

namespace Pinrova::Server {

class Metrics;
class PositionStore;
class PresenceModel;

struct EmbeddedStoreOptions
{
    WriteBehindOptions writer;
    // Changed positions not yet written at most; beyond, a report of someone without one
    // waiting is refused as Busy. Each costs a few bytes, so this bounds how far the memory
    // may run ahead of a disk that cannot keep up, not the memory itself.
    std::size_t maxPendingPositions = 500000;
};

// The default store: everyone in memory (PresenceModel), written behind to one SQLite file
// (PositionStore) by one writer thread (WriteBehind). Positions and nearest queries are
// answered before the call returns; a Register once its commit is done, on the writer thread.
class EmbeddedPeopleStore : public PeopleStore
{
public:
    // Opens the file and reads everyone from it; throws on failure. metrics (may be null, not
    // owned) gets the commit times and sweeps.
    EmbeddedPeopleStore(const std::string &path, EmbeddedStoreOptions options, Metrics *metrics);
    ~EmbeddedPeopleStore() override;
    EmbeddedPeopleStore(const EmbeddedPeopleStore &) = delete;
    EmbeddedPeopleStore &operator=(const EmbeddedPeopleStore &) = delete;

    void registerPerson(RegisterRequest registration, Done<StoreStatus> done) override;
    void setPosition(
        const SetPosRequest &position, std::int64_t nowMs, Done<StoreStatus> done) override;
    void nearest(const NearestQuery &query, Done<NearestAnswer> done) override;
    void sweep(std::int64_t silentBeforeMs, Done<SweepResult> done) override;
    void counts(std::int64_t onlineSinceMs, Done<StoreCounts> done) override;
    void stop() override;

private:
    std::unique_ptr<PositionStore> file;
    std::unique_ptr<PresenceModel> model;
    std::unique_ptr<WriteBehind> writer;
    std::atomic<bool> stopped {false};
};

} // namespace Pinrova::Server
