// The allocator's entry points and the blocking lock calls of the auhost process, replaced by
// versions that count the calls of a thread whose RealTimeProbe is running and otherwise only
// pass the call on. The allocator goes to the C library's own entry points (__libc_malloc and
// its kin), which need no look-up, so that nothing here allocates before it can; the lock calls
// go to the next definitions in the search order, looked up with dlsym(RTLD_NEXT) once as the
// program starts (dlsym may allocate, which the replaced malloc serves without recursion). A
// sanitizer build keeps its own allocator and locks: there this file defines nothing, and the
// real-time check says it is skipped.
#include "LibcAllocator.h"
#include "RealTimeProbe.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define AUHOST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define AUHOST_SANITIZED 1
#endif
#endif

#ifndef AUHOST_SANITIZED

#include <cerrno>
#include <cstddef>
#include <dlfcn.h>
#include <pthread.h>

namespace {

using MutexCall = int (*)(pthread_mutex_t*);
using RWLockCall = int (*)(pthread_rwlock_t*);

MutexCall sMutexLock = nullptr;
RWLockCall sReadLock = nullptr;
RWLockCall sWriteLock = nullptr;

template <class Call> Call NextDefinition(const char* name)
{
    return reinterpret_cast<Call>(dlsym(RTLD_NEXT, name));
}

__attribute__((constructor)) void InstallInterposer()
{
    sMutexLock = NextDefinition<MutexCall>("pthread_mutex_lock");
    sReadLock = NextDefinition<RWLockCall>("pthread_rwlock_rdlock");
    sWriteLock = NextDefinition<RWLockCall>("pthread_rwlock_wrlock");
    if (sMutexLock != nullptr && sReadLock != nullptr && sWriteLock != nullptr)
        RealTimeProbe::MarkInstalled();
}

void CountAllocation()
{
    if (RealTimeCounts* counts = RealTimeProbe::Counting())
        ++counts->mAllocations;
}

// A blocking lock: on a counting thread, the lock call is counted, and a wait when an attempt
// that does not wait finds the lock held. `next` is null only before the program's constructors
// ran, when the symbol is looked up on the spot.
template <class Lock>
int CountedLock(Lock* lock, int (*&next)(Lock*), int (*attempt)(Lock*), const char* name)
{
    if (next == nullptr)
        next = NextDefinition<int (*)(Lock*)>(name);
    if (RealTimeCounts* counts = RealTimeProbe::Counting()) {
        ++counts->mLocks;
        if (attempt(lock) == 0)
            return 0;
        ++counts->mWaits;
    }
    return next(lock);
}

} // namespace

extern "C" {

void* malloc(size_t size)
{
    CountAllocation();
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size)
{
    CountAllocation();
    return __libc_calloc(count, size);
}

void* realloc(void* old, size_t size)
{
    CountAllocation();
    return __libc_realloc(old, size);
}

void* aligned_alloc(size_t alignment, size_t size)
{
    CountAllocation();
    return __libc_memalign(alignment, size);
}

void* memalign(size_t alignment, size_t size)
{
    CountAllocation();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, size_t alignment, size_t size)
{
    CountAllocation();
    void* memory = __libc_memalign(alignment, size);
    if (memory == nullptr)
        return ENOMEM;
    *result = memory;
    return 0;
}

void free(void* memory)
{
    if (memory != nullptr)
        if (RealTimeCounts* counts = RealTimeProbe::Counting())
            ++counts->mFrees;
    __libc_free(memory);
}

int pthread_mutex_lock(pthread_mutex_t* mutex)
{
    return CountedLock(mutex, sMutexLock, pthread_mutex_trylock, "pthread_mutex_lock");
}

int pthread_rwlock_rdlock(pthread_rwlock_t* lock)
{
    return CountedLock(lock, sReadLock, pthread_rwlock_tryrdlock, "pthread_rwlock_rdlock");
}

int pthread_rwlock_wrlock(pthread_rwlock_t* lock)
{
    return CountedLock(lock, sWriteLock, pthread_rwlock_trywrlock, "pthread_rwlock_wrlock");
}
}

#endif
