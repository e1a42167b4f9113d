// Where a packet falls in a JACK cycle: the mapping from the host clock to the JACK server's clock,
// and the frame of a due time within the cycle that the server's cycle times describe.
#pragma once

#include <MacTypes.h>

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
