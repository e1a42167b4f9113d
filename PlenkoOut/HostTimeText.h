// The host time as the unit's log shows it: hours, minutes, seconds and the sample within the
// second at 44100 per second.
#pragma once

#include <MacTypes.h>

// "%d:%02d:%02d %u" of the host time, in a buffer of the calling thread's own, valid until that
// thread's next call. [any-thread]
const char* hostTimeToString(UInt64 hostTime);
