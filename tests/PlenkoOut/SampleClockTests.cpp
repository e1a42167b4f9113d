// The clock's stamps at their edges: a host time given with the slice, the anchored clock, no
// anchor at all, and times beyond either end of the host clock's range.
#include "SampleClock.h"

#include <CoreAudio/HostTime.h>

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr MIDITimeStamp kNever = std::numeric_limits<MIDITimeStamp>::max();

AudioTimeStamp TimeStamp(Float64 sampleTime, UInt64 hostTime, bool hostTimeValid)
{
    AudioTimeStamp stamp{};
    stamp.mSampleTime = sampleTime;
    stamp.mHostTime = hostTime;
    stamp.mFlags =
        kAudioTimeStampSampleTimeValid | (hostTimeValid ? kAudioTimeStampHostTimeValid : 0);
    return stamp;
}

} // namespace

// A valid host time is the stamp of frame 0; each frame adds its whole ticks at the sample rate,
// up to the last tick the clock has, and the sample time no longer counts.
TEST(SampleClock, HostTimeOfTheSliceStampsItsFrames)
{
    struct Case {
        Float64 rate;
        UInt64 hostTime;
        UInt32 startFrame;
        MIDITimeStamp stamp;
    };
    const Case cases[] = {
        {44100.0, 1000, 0, 1000},
        {44100.0, 1000, 1, 1000 + 22675},  // 1e9 / 44100 = 22675.7 ticks
        {48000.0, 5, 480, 5 + 10000000},   // 10 ms
        {96000.0, kNever - 10, 1, kNever}, // no room left for the frame's ticks
        {44100.0, kNever - 30000, 1, kNever - 30000 + 22675},
    };
    for (const Case& c : cases) {
        SampleClock clock;
        clock.SetSampleRate(c.rate);
        const AudioTimeStamp stamp = TimeStamp(1e12, c.hostTime, true);
        EXPECT_EQ(clock.StampOf(clock.SliceOf(&stamp), c.startFrame), c.stamp)
            << c.rate << " Hz, host time " << c.hostTime << ", frame " << c.startFrame;
    }
}

// Without a host time the anchored clock counts samples from the anchor; without an anchor, or
// before host time 0, a message goes out at once, and beyond the clock's range it never does.
TEST(SampleClock, SampleTimeStampsOnTheAnchoredClock)
{
    SampleClock clock;
    const AudioTimeStamp early = TimeStamp(0, 0, false);
    EXPECT_EQ(clock.StampOf(clock.SliceOf(&early), 64), 0u) << "not anchored";

    const UInt64 before = AudioGetCurrentHostTime();
    clock.Anchor(44100.0);
    const UInt64 after = AudioGetCurrentHostTime();
    // Sample time 44100 is now, so sample time 0 was a second ago.
    EXPECT_GE(clock.HostTimeOffset() + 1e9, Float64(before) - 1.0);
    EXPECT_LE(clock.HostTimeOffset() + 1e9, Float64(after));

    const AudioTimeStamp anchorTime = TimeStamp(44100.0, 0, false);
    const MIDITimeStamp now = clock.StampOf(clock.SliceOf(&anchorTime), 0);
    EXPECT_GE(now + 1, before);
    EXPECT_LE(now, after);
    const AudioTimeStamp secondLater = TimeStamp(88200.0, 0, false);
    EXPECT_EQ(clock.StampOf(clock.SliceOf(&secondLater), 0) - now, 1000000000u);

    const AudioTimeStamp longBefore = TimeStamp(-1e12, 0, false);
    EXPECT_EQ(clock.StampOf(clock.SliceOf(&longBefore), 0), 0u);
    const AudioTimeStamp farBeyond = TimeStamp(1e16, 0, false);
    EXPECT_EQ(clock.StampOf(clock.SliceOf(&farBeyond), 0), kNever);

    clock.Clear();
    EXPECT_EQ(clock.StampOf(clock.SliceOf(&secondLater), 0), 0u) << "cleared";
}
