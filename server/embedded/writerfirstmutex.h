#pragma once

#include <pthread.h>

namespace Pinrova::Server {

// A readers-writer lock that lets a waiting writer in before readers that come after it.
// std::shared_mutex on glibc prefers readers, so a steady stream of queries could hold off a
// position update for as long as the stream lasts. Works with std::unique_lock and
// std::shared_lock. Not recursive: a thread holding it shared must not take it again.
class WriterFirstMutex
{
public:
    WriterFirstMutex();
    ~WriterFirstMutex();
    WriterFirstMutex(const WriterFirstMutex &) = delete;
    WriterFirstMutex &operator=(const WriterFirstMutex &) = delete;

    void lock();
    void unlock();
    void lock_shared();
    void unlock_shared();

private:
    pthread_rwlock_t handle;
};

} // namespace Pinrova::Server
