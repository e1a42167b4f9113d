// Keeps what the plug-in sends in the order it sent it. The time the plug-in gives a cycle may step
// back: when it changes between the server's times and its own loop (the server's estimate runs
// tens of milliseconds away from its callbacks after a stall), or when either moves its line
// earlier. The MIDI services deliver by stamp, so an event stamped before one sent earlier would
// overtake it (a note's end before its start). A cycle therefore begins no earlier than the stamp
// of the last event sent, and the stamps catch up with the host's line as soon as it passes it.
// A step back of more than a second is a timeline begun afresh (a host back in real time after
// running ahead of it): holding events back that long would only silence them.
#pragma once

#include <MacTypes.h>

#include <algorithm>

class CycleStartFloor {
public:
    static constexpr Float64 kLargestHoldSeconds = 1.0;

    explicit CycleStartFloor(Float64 ticksPerSecond)
        : mLargestHoldTicks(UInt64(kLargestHoldSeconds * ticksPerSecond))
    {
    }

    // The host time at which a cycle that the host's line starts at `start` begins.
    // [render-thread]
    UInt64 Start(UInt64 start)
    {
        if (start >= mLastSent)
            return start;
        if (mLastSent - start > mLargestHoldTicks) {
            mLastSent = 0; // a timeline of its own from here
            return start;
        }
        return mLastSent;
    }
    // An event went out stamped `stamp`. [render-thread]
    void Sent(UInt64 stamp) { mLastSent = std::max(mLastSent, stamp); }
    // The host paused: what it plays next starts a timeline of its own. [render-thread]
    void Restart() { mLastSent = 0; }

private:
    UInt64 mLargestHoldTicks;
    UInt64 mLastSent = 0;
};
