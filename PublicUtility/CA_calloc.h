// Zeroed allocation that throws std::bad_alloc instead of answering null; free with free().
#pragma once

#include <cstddef>

// Throws std::bad_alloc when count * size overflows or memory runs out.
// [host-thread]
void* CA_calloc(size_t count, size_t size);
