#include "embedded/writerfirstmutex.h"

#include <stdexcept>

namespace Pinrova::Server {

WriterFirstMutex::WriterFirstMutex()
{
    pthread_rwlockattr_t attributes;
    pthread_rwlockattr_init(&attributes);
    pthread_rwlockattr_setkind_np(&attributes, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
    const int failed = pthread_rwlock_init(&handle, &attributes);
    pthread_rwlockattr_destroy(&attributes);
    if (failed)
        throw std::runtime_error("cannot create a readers-writer lock");
}

WriterFirstMutex::~WriterFirstMutex()
{
    pthread_rwlock_destroy(&handle);
}

void WriterFirstMutex::lock()
{
    pthread_rwlock_wrlock(&handle);
}

void WriterFirstMutex::unlock()
{
    pthread_rwlock_unlock(&handle);
}

void WriterFirstMutex::lock_shared()
{
    pthread_rwlock_rdlock(&handle);
}

void WriterFirstMutex::unlock_shared()
{
    pthread_rwlock_unlock(&handle);
}

} // namespace Pinrova::Server
