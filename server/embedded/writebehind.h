#pragma once

#include "base/limits.h"
#include "store/clock.h"
#include "store/peoplestore.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace Pinrova::Server {

class PeopleFile;
class PresenceModel;

struct WriteBehindOptions
{
    std::chrono::milliseconds interval = Limits::FlushInterval; // changed positions written
    std::size_t maxRegistrations = Limits::MaxPendingRegistrations; // waiting for a commit
    std::size_t positionsPerCommit = Limits::PositionsPerCommit;
    std::int64_t retainMs = Limits::RetainMs; // silent longer: deleted
    std::chrono::milliseconds sweepInterval {Limits::MaxSweepIntervalMs};
    Clock clock = systemClock();
};

// The one thread that writes the file. Registrations go first: they wait for a commit of
// their own (several that arrive together share one), and only then reach the model and get
// their answer. Changed positions are written at every interval, in slices with any waiting
// registrations between them; a slice that fails is taken again at the next interval. Every
// sweep interval (and at start) people silent past the retention time are deleted, here too,
// so a sweep never interleaves with a registration between its commit and the model. Neither
// the file, the model nor the events (may be null) are owned; all must outlive this object.
class WriteBehind
{
public:
    enum class Outcome { Stored, Failed, Full };
    using Done = std::function<void(Outcome)>;

    WriteBehind(
        PeopleFile &file, PresenceModel &model, WriteBehindOptions options, StoreEvents *events);
    ~WriteBehind();
    WriteBehind(const WriteBehind &) = delete;
    WriteBehind &operator=(const WriteBehind &) = delete;

    // done is called once: at once with Full (too many waiting) or Failed (stopped), else on
    // the writer thread once the registration is committed or failed. profile is the
    // person's listed profile, which the model gets once the commit is done.
    void submit(PersonRecord person, std::shared_ptr<const std::string> profile, Done done);
    // Runs a sweep of people silent since before beforeMs on the writer thread, soon;
    // done(deleted from the file, how many) there, or at once with false when stopped.
    using SweepDone = std::function<void(bool, std::size_t)>;
    void sweepNow(std::int64_t beforeMs, SweepDone done);
    // Runs task(true) on the writer thread soon, after the registrations already waiting, so
    // it sees the model and the file as they agree; task(false) at once, or at the stop, when
    // it cannot run any more.
    using Task = std::function<void(bool)>;
    void runOnWriter(Task task);
    // Registrations waiting for their commit.
    std::size_t waitingRegistrations() const;
    // Writes what is pending and ends the thread; later submissions fail at once.
    void stop();

private:
    struct Pending
    {
        PersonRecord person;
        std::shared_ptr<const std::string> profile;
        Done done;
    };
    enum class Flush { Done, Failed, Interrupted };

    void run();
    void writeRegistrations(std::vector<Pending> batch);
    Flush writePositions(bool yieldToRegistrations);
    // Deletes the silent from memory and file; false when the file's delete failed.
    bool sweep(std::int64_t beforeMs, std::size_t &removed);
    bool timedCommit(const std::function<bool(std::string &)> &commit, const char *what);

    PeopleFile &file;
    PresenceModel &model;
    const WriteBehindOptions options;
    StoreEvents *events;
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::vector<Pending> pending;
    std::vector<std::pair<std::int64_t, SweepDone>> sweepRequests;
    std::vector<Task> tasks;
    std::vector<std::int64_t> unsweptIds; // removed from memory, their delete still to commit
    bool stopping = false;
    std::thread thread;
};

} // namespace Pinrova::Server
