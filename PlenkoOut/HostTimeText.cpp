#include "HostTimeText.h"

#include <CoreAudio/HostTime.h>

#include <cmath>
#include <cstdio>

const char* hostTimeToString(UInt64 hostTime)
{
    // One buffer per thread: the MIDI thread and the render thread log at the same time.
    thread_local char strBuf[64];
    const double seconds = double(hostTime) / AudioGetHostClockFrequency();
    // The hour wraps like the 16-bit count it has always been shown as; the conversion goes
    // through a wide integer, since a double beyond the short's range cannot be converted.
    const auto hours = SInt16(SInt64(seconds / 3600));
    const int minutes = int(std::fmod(seconds / 60, 60));
    const int wholeSeconds = int(std::fmod(seconds, 60));
    const auto sample = UInt32(std::fmod(seconds * 44100, 44100));
    snprintf(strBuf, sizeof strBuf, "%d:%02d:%02d %u", hours, minutes, wholeSeconds, sample);
    return strBuf;
}
