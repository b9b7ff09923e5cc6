#include "embedded/querypool.h"

#include <sys/resource.h>
#include <unistd.h>

namespace Pinrova::Server {

QueryPool::QueryPool(int threads, std::size_t maxQueued, int niceness)
    : maxQueued(maxQueued)
{
    if (threads <= 0)
        threads = static_cast<int>(std::thread::hardware_concurrency());
    if (threads <= 0)
        threads = 1;
    for (int i = 0; i < threads; ++i)
        this->threads.emplace_back([this, niceness] { run(niceness); });
}

QueryPool::~QueryPool()
{
    stop();
}

bool QueryPool::post(std::function<void()> work, std::function<void()> dropped)
{
    {
        std::lock_guard lock(mutex);
        if (stopping || queue.size() >= maxQueued)
            return false;
        queue.push_back({std::move(work), std::move(dropped)});
    }
    wake.notify_one();
    return true;
}

void QueryPool::stop()
{
    std::deque<Job> left;
    {
        std::lock_guard lock(mutex);
        stopping = true;
        left.swap(queue);
    }
    wake.notify_all();
    for (auto &job : left) {
        if (job.dropped)
            job.dropped();
    }
    for (auto &thread : threads) {
        if (thread.joinable())
            thread.join();
    }
    threads.clear();
}

void QueryPool::run(int niceness)
{
    // On Linux a thread has its own nice value; raising it needs no privilege. A failure
    // only leaves the thread at the process's priority.
    if (niceness > 0)
        setpriority(
            PRIO_PROCESS, static_cast<id_t>(gettid()), getpriority(PRIO_PROCESS, 0) + niceness);
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || !queue.empty(); });
        if (queue.empty())
            return;
        auto work = std::move(queue.front().work);
        queue.pop_front();
        lock.unlock();
        work();
        lock.lock();
    }
}

} // namespace Pinrova::Server
