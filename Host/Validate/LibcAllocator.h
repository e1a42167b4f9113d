// The C library's own allocator entry points, which a replacement of malloc and its kin passes
// the calls on to: the validator's real-time interposer and the tests' counting allocator.
#pragma once

#include <cstddef>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* old, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* memory);
}
