// Allocation helpers that report failure by throwing std::bad_alloc, so that callers inside the
// framework never test for null; the dispatch boundary turns the exception into a status.
#pragma once

#include <cstdlib>
#include <new>

// Allocates with the C allocator. [any-thread]
inline void* CA_malloc(size_t size)
{
    void* memory = std::malloc(size);
    if (memory == nullptr)
        throw std::bad_alloc();
    return memory;
}
