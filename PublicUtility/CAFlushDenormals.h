// The processor's floating-point control for audio code: flush-to-zero and denormals-are-zero
// for the lifetime of a scope, restored when it ends, so that decaying signals never fall into
// the slow denormal range on the render thread.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

// The control register: MXCSR on x86, FPCR on 64-bit ARM. [any-thread] (this thread only)
inline int GETCSR()
{
#if defined(__x86_64__) || defined(__i386__)
    return static_cast<int>(_mm_getcsr());
#elif defined(__aarch64__)
    unsigned long fpcr;
    __asm__ __volatile__("mrs %0, fpcr" : "=r"(fpcr));
    return static_cast<int>(fpcr);
#else
    return 0;
#endif
}

inline void SETCSR(int csr)
{
#if defined(__x86_64__) || defined(__i386__)
    _mm_setcsr(static_cast<unsigned>(csr));
#elif defined(__aarch64__)
    unsigned long fpcr = static_cast<unsigned>(csr);
    __asm__ __volatile__("msr fpcr, %0" : : "r"(fpcr));
#else
    (void)csr;
#endif
}

class CAFlushDenormalsScope {
public:
#if defined(__x86_64__) || defined(__i386__)
    static constexpr int kFlushToZero = 0x8000;
    static constexpr int kDenormalsAreZero = 0x40;
#elif defined(__aarch64__)
    // ARM has one bit for both: denormal inputs and results are flushed.
    static constexpr int kFlushToZero = 1 << 24;
    static constexpr int kDenormalsAreZero = 0;
#else
    static constexpr int kFlushToZero = 0;
    static constexpr int kDenormalsAreZero = 0;
#endif

    static constexpr int kFlushBits = kFlushToZero | kDenormalsAreZero;

    // Reading the register is cheap and writing it is not: a thread that flushes already, as
    // audio threads usually do, and a scope that leaves the register as it found it, write
    // nothing.
    CAFlushDenormalsScope() : mSavedCSR(GETCSR())
    {
        if ((mSavedCSR & kFlushBits) != kFlushBits)
            SETCSR(mSavedCSR | kFlushBits);
    }
    ~CAFlushDenormalsScope()
    {
        if (GETCSR() != mSavedCSR)
            SETCSR(mSavedCSR);
    }
    CAFlushDenormalsScope(const CAFlushDenormalsScope&) = delete;
    CAFlushDenormalsScope& operator=(const CAFlushDenormalsScope&) = delete;

private:
    int mSavedCSR;
};
