#include "CA_calloc.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

void* CA_calloc(size_t count, size_t size)
{
    if (count != 0 && size > SIZE_MAX / count) {
        throw std::bad_alloc();
    }
    const size_t bytes = count * size;
    void* memory = malloc(bytes);
    if (memory == nullptr) {
        if (bytes != 0) {
            throw std::bad_alloc();
        }
        return nullptr;
    }
    std::memset(memory, 0, bytes);
    return memory;
}
