// Which vector instruction set the processor offers, examined once per process so that
// processing code can pick its fastest path.
#pragma once

#include <MacTypes.h>
#include <atomic>

enum {
    kVectorUnitUnknown = -1,
    kVectorUnitNone = 0,
    kVectorUnitSSE2 = 100,
    kVectorUnitSSE3 = 101,
    kVectorUnitAVX1 = 110
};

// The examined type, kVectorUnitUnknown until the first examination that is not bypassed.
extern std::atomic<SInt32> gCAVectorUnitType;

// Examines the processor and stores the result. While the environment variable "CA_NoVector"
// is set, answers kVectorUnitNone without storing it and says so on standard error.
// [any-thread]
extern "C" int CAVectorUnit_Examine();
// The stored type, examining first when there is none yet.
// [any-thread]
int CAVectorUnit_GetType();

class CAVectorUnit {
public:
    // [any-thread]
    static int GetVectorUnitType() { return CAVectorUnit_GetType(); }
};
