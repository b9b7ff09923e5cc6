#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace Pinrova::Server {

// Threads that build the costly answers (GetUsers) away from the HTTP threads, at a lower
// scheduling priority. A position report then never waits on its connection's thread behind
// a list being built, and while both kinds of work want the cores the reports go first; with
// no reports to answer the lists still get every core. The queue is bounded.
class QueryPool
{
public:
    // threads: 0 for one per core. niceness: added to the threads' nice value (Linux).
    QueryPool(int threads, std::size_t maxQueued, int niceness);
    ~QueryPool();
    QueryPool(const QueryPool &) = delete;
    QueryPool &operator=(const QueryPool &) = delete;

    // False (work not taken) when maxQueued jobs are already waiting or the pool has stopped.
    // dropped, if given, runs instead of work when a stop finds the job still queued.
    bool post(std::function<void()> work, std::function<void()> dropped = {});
    // Lets the jobs running finish, runs dropped for those still queued (their answers have
    // nobody left to receive them, and building them would only delay the stop), then ends
    // the threads.
    void stop();

private:
    void run(int niceness);

    const std::size_t maxQueued;
    std::mutex mutex;
    std::condition_variable wake;
    struct Job
    {
        std::function<void()> work;
        std::function<void()> dropped;
    };
    std::deque<Job> queue;
    bool stopping = false;
    std::vector<std::thread> threads;
};

} // namespace Pinrova::Server
