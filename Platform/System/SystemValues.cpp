// The "hw.optional.*" values, answered from the processor's feature bits (cpuid) and, for AVX,
// from the operating system's consent to save the wider registers (xgetbv), without which the
// instructions fault even though the processor has them.
#include <sys/sysctl.h>

#include <cerrno>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

struct FeatureBits {
    bool sse2 = false;
    bool sse3 = false;
    bool avx = false;
};

FeatureBits ReadFeatureBits()
{
    FeatureBits bits;
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0)
        return bits;
    bits.sse2 = (edx & bit_SSE2) != 0;
    bits.sse3 = (ecx & bit_SSE3) != 0;
    const bool processorHasAVX = (ecx & bit_AVX) != 0 && (ecx & bit_OSXSAVE) != 0;
    if (processorHasAVX) {
        unsigned xcr0Low = 0, xcr0High = 0;
        __asm__ volatile("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
        constexpr unsigned kSSEAndAVXState = 0x6;
        bits.avx = (xcr0Low & kSSEAndAVXState) == kSSEAndAVXState;
    }
#endif
    return bits;
}

struct NamedValue {
    const char* name;
    bool FeatureBits::*feature;
};

constexpr NamedValue kNamedValues[] = {
    {"hw.optional.sse2", &FeatureBits::sse2},
    {"hw.optional.sse3", &FeatureBits::sse3},
    {"hw.optional.avx1_0", &FeatureBits::avx},
};

int Fail(int error)
{
    errno = error;
    return -1;
}

} // namespace

int sysctlbyname(const char* name, void* oldp, size_t* oldlenp, void* newp, size_t /*newlen*/)
{
    if (name == nullptr || oldlenp == nullptr)
        return Fail(EINVAL);
    const NamedValue* found = nullptr;
    for (const NamedValue& entry : kNamedValues)
        if (std::strcmp(entry.name, name) == 0)
            found = &entry;
    if (found == nullptr)
        return Fail(ENOENT);
    if (newp != nullptr)
        return Fail(EPERM);
    if (oldp != nullptr) {
        if (*oldlenp < sizeof(int))
            return Fail(ENOMEM);
        static const FeatureBits sBits = ReadFeatureBits();
        const int value = (sBits.*(found->feature)) ? 1 : 0;
        std::memcpy(oldp, &value, sizeof value);
    }
    *oldlenp = sizeof(int);
    return 0;
}
