// Replaces the C allocator's entry points and the global operator new and delete with versions
// that count the calls of a thread while it asks them to (CountAllocations), so that a test can
// prove a real-time path allocates and frees nothing, and that make every allocation of a thread
// fail while it asks them to (FailAllocations). It defines those functions: include it in exactly
// one source of a test program, in a folder of its own, since it changes the allocator of the whole
// program. Sanitizer builds own the allocator; there the tests skip (SKIP_WHEN_SANITIZED).
#pragma once

#include "LibcAllocator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PLENKO_ALLOCATOR_IS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PLENKO_ALLOCATOR_IS_SANITIZED 1
#endif
#endif

namespace {

// Only the thread under test counts, and only while it asks to.
thread_local bool tCounting = false;
thread_local bool tFailing = false;
std::atomic<long> sAllocations{0};
std::atomic<long> sFrees{0};

class CountAllocations {
public:
    CountAllocations()
    {
        sAllocations = 0;
        sFrees = 0;
        tCounting = true;
    }
    ~CountAllocations() { tCounting = false; }
    long Count() const { return sAllocations.load(); }
    long Frees() const { return sFrees.load(); }
};

// Every allocation of this thread fails while the object lives.
class FailAllocations {
public:
    FailAllocations() { tFailing = true; }
    ~FailAllocations() { tFailing = false; }
};

} // namespace

#ifndef PLENKO_ALLOCATOR_IS_SANITIZED
namespace {

// Counts the allocation; false when it is to fail.
bool NoteAllocation()
{
    if (tCounting)
        sAllocations.fetch_add(1, std::memory_order_relaxed);
    return !tFailing;
}

void NoteFree(void* memory)
{
    if (tCounting && memory != nullptr)
        sFrees.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

extern "C" {

void* malloc(size_t size)
{
    return NoteAllocation() ? __libc_malloc(size) : nullptr;
}

void* calloc(size_t count, size_t size)
{
    return NoteAllocation() ? __libc_calloc(count, size) : nullptr;
}

void* realloc(void* old, size_t size)
{
    return NoteAllocation() ? __libc_realloc(old, size) : nullptr;
}

void* aligned_alloc(size_t alignment, size_t size)
{
    return NoteAllocation() ? __libc_memalign(alignment, size) : nullptr;
}

int posix_memalign(void** result, size_t alignment, size_t size)
{
    *result = NoteAllocation() ? __libc_memalign(alignment, size) : nullptr;
    return *result != nullptr ? 0 : ENOMEM;
}

void free(void* memory)
{
    NoteFree(memory);
    __libc_free(memory);
}
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return malloc(size != 0 ? size : 1);
}

void* operator new[](size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}

void* operator new(size_t size)
{
    if (void* memory = operator new(size, std::nothrow))
        return memory;
    throw std::bad_alloc();
}

void* operator new[](size_t size)
{
    return operator new(size);
}

void operator delete(void* memory) noexcept
{
    free(memory);
}

void operator delete[](void* memory) noexcept
{
    free(memory);
}

void operator delete(void* memory, size_t) noexcept
{
    free(memory);
}

void operator delete[](void* memory, size_t) noexcept
{
    free(memory);
}
#endif

#ifdef PLENKO_ALLOCATOR_IS_SANITIZED
#define SKIP_WHEN_SANITIZED()                                                                      \
    GTEST_SKIP() << "the sanitizer owns the allocator, so this program cannot count its calls; "   \
                    "the plain build runs the count"
#else
#define SKIP_WHEN_SANITIZED()
#endif
