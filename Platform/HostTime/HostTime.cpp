// The host clock over CLOCK_MONOTONIC: one tick is one nanosecond, so the conversions are
// identities and the frequency is fixed.
#include <CoreAudio/HostTime.h>

#include <time.h>

namespace {
constexpr UInt64 kNanosPerSecond = 1000000000ull;
}

UInt64 AudioGetCurrentHostTime(void)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<UInt64>(now.tv_sec) * kNanosPerSecond + static_cast<UInt64>(now.tv_nsec);
}

Float64 AudioGetHostClockFrequency(void)
{
    return static_cast<Float64>(kNanosPerSecond);
}

UInt32 AudioGetHostClockMinimumTimeDelta(void)
{
    timespec resolution{};
    if (clock_getres(CLOCK_MONOTONIC, &resolution) != 0 || resolution.tv_sec != 0 ||
        resolution.tv_nsec <= 0)
        return 1;
    return static_cast<UInt32>(resolution.tv_nsec);
}

UInt64 AudioConvertHostTimeToNanos(UInt64 inHostTime)
{
    return inHostTime;
}

UInt64 AudioConvertNanosToHostTime(UInt64 inNanos)
{
    return inNanos;
}
