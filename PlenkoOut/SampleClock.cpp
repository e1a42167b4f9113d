#include "SampleClock.h"

#include <CoreAudio/HostTime.h>

#include <cmath>
#include <limits>

namespace {

constexpr Float64 kNotAnchored = std::numeric_limits<Float64>::quiet_NaN();

} // namespace

SampleClock::SampleClock() : mHostTimeOffset(kNotAnchored) {}

void SampleClock::Clear()
{
    mHostTimeOffset = kNotAnchored;
}

void SampleClock::Anchor(Float64 sampleTime)
{
    const Float64 now = Float64(AudioGetCurrentHostTime());
    mHostTimeOffset = std::trunc(now - SamplesToTicks(sampleTime));
}

void SampleClock::NoteRender(const AudioTimeStamp& inTimeStamp)
{
    mLastRenderSampleTime.store(inTimeStamp.mSampleTime, std::memory_order_relaxed);
    mLastRenderHostTime.store((inTimeStamp.mFlags & kAudioTimeStampHostTimeValid) != 0
                                  ? inTimeStamp.mHostTime
                                  : kNoHostTime,
                              std::memory_order_relaxed);
}

SampleClock::SliceTime SampleClock::SliceOf(const AudioTimeStamp* timeStamp) const
{
    if (timeStamp != nullptr)
        return {timeStamp->mSampleTime, timeStamp->mHostTime,
                (timeStamp->mFlags & kAudioTimeStampHostTimeValid) != 0};
    const UInt64 hostTime = mLastRenderHostTime.load(std::memory_order_relaxed);
    return {mLastRenderSampleTime.load(std::memory_order_relaxed), hostTime,
            hostTime != kNoHostTime};
}

Float64 SampleClock::SamplesToTicks(Float64 samples) const
{
    return samples * (AudioGetHostClockFrequency() / mSampleRate.load(std::memory_order_relaxed));
}

MIDITimeStamp SampleClock::StampOf(const SliceTime& slice, UInt32 startFrame) const
{
    if (slice.hostTimeValid) {
        // Whole ticks of the offset added to the host's own count, which stays exact however
        // large it is.
        const Float64 offset = std::trunc(SamplesToTicks(startFrame));
        const UInt64 room = std::numeric_limits<MIDITimeStamp>::max() - slice.hostTime;
        return offset >= Float64(room) ? std::numeric_limits<MIDITimeStamp>::max()
                                       : slice.hostTime + MIDITimeStamp(offset);
    }
    const Float64 anchor = mHostTimeOffset.load();
    if (std::isnan(anchor))
        return 0;
    const Float64 stamp = anchor + SamplesToTicks(slice.sampleTime + startFrame);
    // Before time 0 (or no number at all) means at once; beyond the clock's range, never sooner.
    if (!(stamp >= 1.0))
        return 0;
    if (stamp >= 18446744073709551616.0) // 2^64
        return std::numeric_limits<MIDITimeStamp>::max();
    return MIDITimeStamp(stamp);
}
