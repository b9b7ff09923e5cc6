#include "embedded/writebehind.h"

#include "embedded/peoplefile.h"
#include "embedded/presencemodel.h"

#include <algorithm>
#include <cstdio>

namespace Pinrova::Server {

namespace {

// Registrations in one commit at most; the rest take the next.
constexpr std::size_t RegistrationsPerCommit = 512;
// At a stop, a failing write is tried this often before the positions are given up.
constexpr int StopAttempts = 3;

} // namespace

WriteBehind::WriteBehind(
    PeopleFile &file, PresenceModel &model, WriteBehindOptions options, StoreEvents *events)
    : file(file)
    , model(model)
    , options(std::move(options))
    , events(events)
    , thread([this] { run(); })
{ }

WriteBehind::~WriteBehind()
{
    stop();
}

void WriteBehind::submit(PersonRecord person, std::shared_ptr<const std::string> profile, Done done)
{
    Outcome refused = Outcome::Failed;
    {
        std::lock_guard lock(mutex);
        if (!stopping && pending.size() < options.maxRegistrations) {
            pending.push_back({std::move(person), std::move(profile), std::move(done)});
            wake.notify_one();
            return;
        }
        if (!stopping)
            refused = Outcome::Full;
    }
    done(refused);
}

void WriteBehind::sweepNow(std::int64_t beforeMs, SweepDone done)
{
    {
        std::lock_guard lock(mutex);
        if (!stopping) {
            sweepRequests.emplace_back(beforeMs, std::move(done));
            wake.notify_one();
            return;
        }
    }
    done(false, 0);
}

void WriteBehind::runOnWriter(Task task)
{
    {
        std::lock_guard lock(mutex);
        if (!stopping) {
            tasks.push_back(std::move(task));
            wake.notify_one();
            return;
        }
    }
    task(false);
}

std::size_t WriteBehind::waitingRegistrations() const
{
    std::lock_guard lock(mutex);
    return pending.size();
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
    using Steady = std::chrono::steady_clock;
    auto nextFlush = Steady::now() + options.interval;
    auto nextSweep = Steady::now();
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait_until(lock, std::min(nextFlush, nextSweep), [this] {
            return stopping || !pending.empty() || !sweepRequests.empty() || !tasks.empty();
        });
        if (!pending.empty()) {
            std::vector<Pending> batch;
            const auto count = std::min(pending.size(), RegistrationsPerCommit);
            batch.assign(std::make_move_iterator(pending.begin()),
                std::make_move_iterator(pending.begin() + count));
            pending.erase(pending.begin(), pending.begin() + count);
            lock.unlock();
            writeRegistrations(std::move(batch));
            lock.lock();
            continue;
        }
        if (stopping)
            break;
        if (!tasks.empty()) {
            auto batch = std::move(tasks);
            tasks.clear();
            lock.unlock();
            for (auto &task : batch)
                task(true);
            lock.lock();
            continue;
        }
        if (!sweepRequests.empty()) {
            auto [beforeMs, done] = std::move(sweepRequests.front());
            sweepRequests.erase(sweepRequests.begin());
            lock.unlock();
            std::size_t removed = 0;
            const bool deleted = sweep(beforeMs, removed);
            done(deleted, removed);
            lock.lock();
            continue;
        }
        const auto now = Steady::now();
        if (now >= nextFlush) {
            lock.unlock();
            const Flush flushed = writePositions(true);
            lock.lock();
            // Interrupted by a registration: go on right after it.
            nextFlush = flushed == Flush::Interrupted ? now : now + options.interval;
        }
        if (now >= nextSweep) {
            lock.unlock();
            std::size_t removed = 0;
            sweep(options.clock() - options.retainMs, removed);
            lock.lock();
            nextSweep = now + options.sweepInterval;
        }
    }
    auto unanswered = std::move(sweepRequests);
    auto untried = std::move(tasks);
    lock.unlock();
    for (auto &request : unanswered)
        request.second(false, 0);
    for (auto &task : untried)
        task(false);
    for (int attempt = 0; attempt < StopAttempts; ++attempt) {
        if (writePositions(false) == Flush::Done)
            return;
    }
    std::fprintf(stderr, "pinrova-posd: %zu positions not stored at stop\n", model.pendingCount());
}

bool WriteBehind::timedCommit(const std::function<bool(std::string &)> &commit, const char *what)
{
    const auto started = std::chrono::steady_clock::now();
    std::string error;
    const bool stored = commit(error);
    if (events) {
        events->commitTimed(std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - started)
                                .count(),
            stored);
    }
    if (!stored)
        std::fprintf(stderr, "pinrova-posd: write of %s failed: %s\n", what, error.c_str());
    return stored;
}

void WriteBehind::writeRegistrations(std::vector<Pending> batch)
{
    std::vector<const PersonRecord *> registrations;
    registrations.reserve(batch.size());
    for (const auto &item : batch)
        registrations.push_back(&item.person);
    std::vector<std::int64_t> personIds;
    const std::int64_t now = options.clock();
    const bool stored = timedCommit(
        [&](std::string &error) { return file.commit({}, registrations, now, personIds, error); },
        "registrations");
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (stored)
            model.applyRegistration(
                batch[i].person.uid, personIds[i], batch[i].profile, now, batch[i].person.keyHash);
        batch[i].done(stored ? Outcome::Stored : Outcome::Failed);
    }
}

WriteBehind::Flush WriteBehind::writePositions(bool yieldToRegistrations)
{
    for (;;) {
        const auto positions = model.takeChangedPositions(options.positionsPerCommit);
        if (positions.empty())
            return Flush::Done;
        std::vector<std::int64_t> none;
        const bool stored = timedCommit(
            [&](std::string &error) {
                return file.commit(positions, {}, options.clock(), none, error);
            },
            "positions");
        if (!stored) {
            // Answered already: kept for the next attempt, with any newer value.
            model.requeue(positions);
            return Flush::Failed;
        }
        if (yieldToRegistrations) {
            std::lock_guard lock(mutex);
            if (!pending.empty())
                return Flush::Interrupted;
        }
    }
}

bool WriteBehind::sweep(std::int64_t beforeMs, std::size_t &removed)
{
    const auto silent = model.removeSilent(beforeMs);
    removed = silent.size();
    // Someone left over from a failed delete may have registered again since: keep them.
    unsweptIds.erase(std::remove_if(unsweptIds.begin(), unsweptIds.end(),
                         [this](std::int64_t id) { return model.hasPerson(id); }),
        unsweptIds.end());
    unsweptIds.insert(unsweptIds.end(), silent.begin(), silent.end());
    if (unsweptIds.empty())
        return true;
    // Gone from memory already; a failed delete is tried again at the next sweep.
    if (!timedCommit([&](std::string &error) { return file.remove(unsweptIds, error); }, "a sweep"))
        return false;
    if (events)
        events->peopleSwept(unsweptIds.size());
    unsweptIds.clear();
    return true;
}

} // namespace Pinrova::Server
