#include "writebehind.h"

#include "metrics.h"
#include "positionstore.h"
#include "presencemodel.h"
#include "userlistxml.h"

#include <cstdio>

namespace Pinrova::Server {

WriteBehind::WriteBehind(PositionStore &store, PresenceModel &model,
    std::chrono::milliseconds interval, Metrics *metrics)
    : store(store)
    , model(model)
    , interval(interval)
    , metrics(metrics)
    , thread([this] { run(); })
{ }

WriteBehind::~WriteBehind()
{
    stop();
}

void WriteBehind::submit(RegisterRequest registration, Done done)
{
    {
        std::lock_guard lock(mutex);
        if (!stopping) {
            pending.push_back({std::move(registration), std::move(done)});
            wake.notify_one();
            return;
        }
    }
    done(false);
}

void WriteBehind::stop()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
        wake.notify_one();
    }
    if (thread.joinable())
        thread.join();
}

void WriteBehind::run()
{
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait_for(lock, interval, [this] { return stopping || !pending.empty(); });
        const bool last = stopping;
        std::vector<Pending> batch;
        batch.swap(pending);
        lock.unlock();
        writeBatch(std::move(batch));
        lock.lock();
        if (last && pending.empty())
            return;
    }
}

void WriteBehind::writeBatch(std::vector<Pending> batch)
{
    const auto positions = model.takeChangedPositions();
    if (positions.empty() && batch.empty())
        return;
    std::vector<const RegisterRequest *> registrations;
    registrations.reserve(batch.size());
    for (const auto &item : batch)
        registrations.push_back(&item.registration);
    std::vector<std::int64_t> personIds;
    std::string error;
    const auto started = std::chrono::steady_clock::now();
    const bool stored = store.commit(positions, registrations, personIds, error);
    if (metrics) {
        metrics->recordCommit(std::chrono::duration_cast<std::chrono::microseconds>(
                                  std::chrono::steady_clock::now() - started)
                                  .count(),
            stored);
    }
    if (!stored) {
        // The positions are not retried: the next report of each person replaces them anyway.
        std::fprintf(stderr,
            "pinrova-posd: write failed, %zu positions and %zu registrations "
            "not stored: %s\n",
            positions.size(), batch.size(), error.c_str());
    }
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (stored) {
            const RegisterRequest &registration = batch[i].registration;
            model.applyRegistration(registration.uid, personIds[i],
                std::make_shared<const std::string>(UserListXml::profileFragment(registration)));
        }
        batch[i].done(stored);
    }
}

} // namespace Pinrova::Server
