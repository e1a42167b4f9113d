// The host clock: a monotonic tick count shared by audio and MIDI time stamps. In this stand-in
// one tick is one nanosecond of CLOCK_MONOTONIC.
#pragma once

#include <MacTypes.h>

#ifdef __cplusplus
extern "C" {
#endif

// Current host time in ticks. [any-thread] (no allocation, no lock)
UInt64 AudioGetCurrentHostTime(void);
// Ticks per second (1e9 here). [any-thread]
Float64 AudioGetHostClockFrequency(void);
// Smallest meaningful difference of two host times, in ticks. [any-thread]
UInt32 AudioGetHostClockMinimumTimeDelta(void);
// Conversions between ticks and nanoseconds (identities here). [any-thread]
UInt64 AudioConvertHostTimeToNanos(UInt64 inHostTime);
UInt64 AudioConvertNanosToHostTime(UInt64 inNanos);

#ifdef __cplusplus
}
#endif
