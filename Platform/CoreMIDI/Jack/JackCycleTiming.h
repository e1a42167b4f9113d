// Where a packet falls in a JACK cycle: the mapping between the host clock and the JACK server's
// clock, the frame of a due time within the cycle that the server's cycle times describe, and the
// latest cycle kept for hosts that run in it.
#pragma once

#include <CoreMIDI/MIDIServices.h>
#include <MacTypes.h>

#include <atomic>

// Both clocks read together once a cycle: the JACK clock between two reads of the host clock.
struct JackClockReading {
    UInt64 mHostNanos;  // midway between the two host-clock reads
    UInt64 mJackMicros; // jack_get_time() between them
};

// The JACK time, in nanoseconds of the server's clock, of a host time. jack2 stamps its cycles with
// CLOCK_MONOTONIC_RAW, PipeWire's JACK with CLOCK_MONOTONIC, and our host clock is CLOCK_MONOTONIC.
// The two clocks differ by an offset and, for CLOCK_MONOTONIC_RAW, by the slow slewing that time
// synchronisation applies to CLOCK_MONOTONIC alone (at most 500 ppm, under 3 us in a 5 ms period).
// Taking their difference from a reading made in the same cycle is therefore right for either
// server without knowing which one runs, and follows the slewing as it happens.
inline UInt64 HostTimeToJackNanos(UInt64 hostNanos, const JackClockReading& reading)
{
    const SInt64 hostMinusJack = SInt64(reading.mHostNanos) - SInt64(reading.mJackMicros * 1000);
    const SInt64 jackNanos = SInt64(hostNanos) - hostMinusJack;
    return jackNanos > 0 ? UInt64(jackNanos) : 0;
}

// The host time of a time of the server's clock, in nanoseconds, by the same reading.
inline UInt64 JackNanosToHostTime(UInt64 jackNanos, const JackClockReading& reading)
{
    const SInt64 hostMinusJack = SInt64(reading.mHostNanos) - SInt64(reading.mJackMicros * 1000);
    const SInt64 hostNanos = SInt64(jackNanos) + hostMinusJack;
    return hostNanos > 0 ? UInt64(hostNanos) : 0;
}

// One process cycle as the server times it: from its start to the start of the next, in
// nanoseconds of the server's clock, over so many frames.
struct JackCycle {
    UInt64 mStartNanos;
    UInt64 mEndNanos;
    UInt32 mFrames;
};

enum class JackPlacement { PastDue, InCycle, Later };

// Places a due time in the cycle: past due (frame 0), at the frame where it falls (the cycle's
// measured length, not the nominal period, gives the frames' duration), or in a later cycle.
inline JackPlacement PlaceInCycle(UInt64 dueNanos, const JackCycle& cycle, UInt32& frame)
{
    frame = 0;
    if (dueNanos >= cycle.mEndNanos)
        return JackPlacement::Later;
    if (dueNanos < cycle.mStartNanos || cycle.mFrames == 0)
        return JackPlacement::PastDue;
    // A frame begins at its own time, so a due time inside a frame goes to that frame. The offset
    // is below one cycle, so the product stays far inside 64 bits.
    const UInt64 offset = dueNanos - cycle.mStartNanos;
    frame = UInt32(offset * cycle.mFrames / (cycle.mEndNanos - cycle.mStartNanos));
    return JackPlacement::InCycle;
}

// The latest cycle as the process callback began it, for any thread to read without a lock: the
// fields change under a sequence count that is odd while they do. Each field is stored with
// release and loaded with acquire, so a reader that sees any field of a newer cycle also sees the
// count that a change began, and tries again.
class JackCycleRecord {
public:
    // [jack-process-thread]
    void Store(const MIDIAudioServerCycle& cycle)
    {
        const UInt32 sequence = mSequence.load(std::memory_order_relaxed);
        mSequence.store(sequence + 1, std::memory_order_relaxed);
        mStart.store(cycle.start, std::memory_order_release);
        mNext.store(cycle.next, std::memory_order_release);
        mBegun.store(cycle.begun, std::memory_order_release);
        mFirstFrame.store(cycle.firstFrame, std::memory_order_release);
        mFrames.store(cycle.frames, std::memory_order_release);
        mSampleRate.store(cycle.sampleRate, std::memory_order_release);
        mSequence.store(sequence + 2, std::memory_order_release);
    }
    // No cycle from now on, until the next Store. [any-thread]
    void Clear() { Store(MIDIAudioServerCycle{}); }
    // False when there is no cycle, or the fields kept changing while they were read.
    // [any-thread]
    bool Load(MIDIAudioServerCycle& cycle) const
    {
        for (int attempt = 0; attempt < 4; ++attempt) {
            const UInt32 before = mSequence.load(std::memory_order_acquire);
            if (before % 2 != 0)
                continue;
            cycle.start = mStart.load(std::memory_order_acquire);
            cycle.next = mNext.load(std::memory_order_acquire);
            cycle.begun = mBegun.load(std::memory_order_acquire);
            cycle.firstFrame = mFirstFrame.load(std::memory_order_acquire);
            cycle.frames = mFrames.load(std::memory_order_acquire);
            cycle.sampleRate = mSampleRate.load(std::memory_order_acquire);
            if (mSequence.load(std::memory_order_relaxed) == before)
                return cycle.frames != 0;
        }
        return false;
    }

private:
    std::atomic<UInt32> mSequence{0};
    std::atomic<UInt64> mStart{0}, mNext{0}, mBegun{0};
    std::atomic<UInt32> mFirstFrame{0}, mFrames{0}, mSampleRate{0};
};
