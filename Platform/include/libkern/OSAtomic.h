// Atomic compare-and-swap and add on plain integers, as the platform's older code expects them.
// Every operation here is a full memory barrier, the "Barrier" variants and the plain ones alike.
#pragma once

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Stores newValue into *theValue if it holds oldValue; true when it did. [any-thread]
bool OSAtomicCompareAndSwap32(int32_t oldValue, int32_t newValue, volatile int32_t* theValue);
bool OSAtomicCompareAndSwap32Barrier(int32_t oldValue, int32_t newValue,
                                     volatile int32_t* theValue);
bool OSAtomicCompareAndSwap64(int64_t oldValue, int64_t newValue, volatile int64_t* theValue);
bool OSAtomicCompareAndSwap64Barrier(int64_t oldValue, int64_t newValue,
                                     volatile int64_t* theValue);
bool OSAtomicCompareAndSwapPtr(void* oldValue, void* newValue, void* volatile* theValue);
bool OSAtomicCompareAndSwapPtrBarrier(void* oldValue, void* newValue, void* volatile* theValue);

// Adds theAmount to *theValue and returns the new value. [any-thread]
int32_t OSAtomicAdd32(int32_t theAmount, volatile int32_t* theValue);
int32_t OSAtomicAdd32Barrier(int32_t theAmount, volatile int32_t* theValue);

#ifdef __cplusplus
}
#endif
