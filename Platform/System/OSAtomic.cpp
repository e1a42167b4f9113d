// The atomic helpers over the compiler's atomic builtins, the same primitives std::atomic is
// built on (C++17 has no std::atomic_ref to view a plain integer as atomic). Sequentially
// consistent throughout: the plain variants give at least what the barrier ones promise.
#include <libkern/OSAtomic.h>

namespace {

template <typename Value>
bool CompareAndSwap(Value oldValue, Value newValue, volatile Value* theValue)
{
    if (theValue == nullptr)
        return false;
    return __atomic_compare_exchange_n(theValue, &oldValue, newValue, false, __ATOMIC_SEQ_CST,
                                       __ATOMIC_SEQ_CST);
}

int32_t Add(int32_t theAmount, volatile int32_t* theValue)
{
    if (theValue == nullptr)
        return theAmount;
    // Wrap-around addition as on the platform, done unsigned so that overflow is defined.
    auto* bits = reinterpret_cast<volatile uint32_t*>(theValue);
    return static_cast<int32_t>(
        __atomic_add_fetch(bits, static_cast<uint32_t>(theAmount), __ATOMIC_SEQ_CST));
}

} // namespace

bool OSAtomicCompareAndSwap32(int32_t oldValue, int32_t newValue, volatile int32_t* theValue)
{
    return CompareAndSwap(oldValue, newValue, theValue);
}

bool OSAtomicCompareAndSwap32Barrier(int32_t oldValue, int32_t newValue, volatile int32_t* theValue)
{
    return CompareAndSwap(oldValue, newValue, theValue);
}

bool OSAtomicCompareAndSwap64(int64_t oldValue, int64_t newValue, volatile int64_t* theValue)
{
    return CompareAndSwap(oldValue, newValue, theValue);
}

bool OSAtomicCompareAndSwap64Barrier(int64_t oldValue, int64_t newValue, volatile int64_t* theValue)
{
    return CompareAndSwap(oldValue, newValue, theValue);
}

bool OSAtomicCompareAndSwapPtr(void* oldValue, void* newValue, void* volatile* theValue)
{
    return CompareAndSwap(oldValue, newValue, theValue);
}

bool OSAtomicCompareAndSwapPtrBarrier(void* oldValue, void* newValue, void* volatile* theValue)
{
    return CompareAndSwap(oldValue, newValue, theValue);
}

int32_t OSAtomicAdd32(int32_t theAmount, volatile int32_t* theValue)
{
    return Add(theAmount, theValue);
}

int32_t OSAtomicAdd32Barrier(int32_t theAmount, volatile int32_t* theValue)
{
    return Add(theAmount, theValue);
}
