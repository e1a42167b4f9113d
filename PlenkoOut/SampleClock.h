// The unit's sample clock: ties the host's sample time to the host clock and gives each message,
// by its sample offset into a render slice, the host time it is sent for.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>
#include <CoreMIDI/MIDIServices.h>

#include <atomic>

class SampleClock {
public:
    // What a send stamps its messages against: a slice's sample time and, when the host gave a
    // valid one, the host time of the slice's first frame.
    struct SliceTime {
        Float64 sampleTime;
        UInt64 hostTime;
        bool hostTimeValid;
    };

    // Not anchored, at 44100 samples per second. [host-thread]
    SampleClock();

    // [host-thread]
    void SetSampleRate(Float64 rate) { mSampleRate = rate; }
    // Forgets the anchor, so that the next render call ties the clock again. [host-thread]
    void Clear();
    // Ties `sampleTime` to the host clock's time of now. [render-thread]
    void Anchor(Float64 sampleTime);
    // Host time of sample time 0, truncated to whole ticks; NaN while not anchored. [any-thread]
    Float64 HostTimeOffset() const { return mHostTimeOffset.load(); }

    // Keeps a render call's time for the sends made from other threads. [render-thread]
    void NoteRender(const AudioTimeStamp& inTimeStamp);
    // The slice of `timeStamp`, or (null) that of the most recent render call. [any-thread]
    SliceTime SliceOf(const AudioTimeStamp* timeStamp) const;

    // Samples at the sample rate as host-clock ticks. [any-thread]
    Float64 SamplesToTicks(Float64 samples) const;
    // The stamp of a message `startFrame` samples into the slice: the slice's host time plus that
    // offset when the host time is valid, else the sample's time on the anchored clock; 0 (at
    // once) while the clock is not anchored or before time 0. [any-thread]
    MIDITimeStamp StampOf(const SliceTime& slice, UInt32 startFrame) const;

private:
    static constexpr UInt64 kNoHostTime = ~UInt64(0);

    // Kept signed, so that a host whose sample time is ahead of the host clock still gets the
    // right stamps.
    std::atomic<Float64> mHostTimeOffset;
    std::atomic<Float64> mSampleRate{44100.0};
    // The most recent render call's sample time, and its host time when valid (else kNoHostTime).
    std::atomic<Float64> mLastRenderSampleTime{0.0};
    std::atomic<UInt64> mLastRenderHostTime{kNoHostTime};
};
