#include "CAVectorUnit.h"

#include <cstdio>
#include <cstdlib>
#include <sys/sysctl.h>

std::atomic<SInt32> gCAVectorUnitType{kVectorUnitUnknown};

namespace {

struct VectorUnitName {
    const char* sysctlName;
    int type;
};

// Searched in order: the first feature present wins, so the best comes first.
constexpr VectorUnitName kStringVectypes[] = {
    {"hw.optional.avx1_0", kVectorUnitAVX1},
    {"hw.optional.sse3", kVectorUnitSSE3},
    {"hw.optional.sse2", kVectorUnitSSE2},
};
constexpr int kNumStringVectypes = sizeof(kStringVectypes) / sizeof(kStringVectypes[0]);

} // namespace

int CAVectorUnit_Examine()
{
    if (getenv("CA_NoVector") != nullptr) {
        fprintf(stderr, "CA_NoVector set; Vector unit optimized routines will be bypassed\n");
        return kVectorUnitNone;
    }
    int type = kVectorUnitNone;
    for (int i = 0; i < kNumStringVectypes; ++i) {
        int value = 0;
        size_t size = sizeof(value);
        if (sysctlbyname(kStringVectypes[i].sysctlName, &value, &size, nullptr, 0) == 0 &&
            value != 0) {
            type = kStringVectypes[i].type;
            break;
        }
    }
    gCAVectorUnitType.store(type, std::memory_order_relaxed);
    return type;
}

int CAVectorUnit_GetType()
{
    const int type = gCAVectorUnitType.load(std::memory_order_relaxed);
    return type != kVectorUnitUnknown ? type : CAVectorUnit_Examine();
}
