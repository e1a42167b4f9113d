// Whether a host's cycles are the audio server's own, and then the time of each from the server.
// A host that runs in the server's cycles (jalv or a DAW on JACK) arrives a little into each one,
// by however long the clients before it took; a loop over those arrivals puts its stamps that
// much late, and wherever the server's own estimate of its cycles moves (as it does for seconds
// after a late cycle), the server places them at other frames than the host meant. Taking the
// cycle's time from the server itself, as the MIDI services see it, keeps what the host stamps at
// exactly the frames it names.
//
// The services begin each server cycle in a callback of their own, before or after the host's
// run. After a run of the host's, its next cycle is the one after, which the services' record
// names or follows by one. Without such a run, the host's cycle is the one they began last when
// they began it within half a cycle before the host arrived, else the one after it. The host is
// taken to run in the server's cycles once those follow each other frame for frame, one a run,
// for a few runs.
#pragma once

#include <CoreMIDI/MIDIServices.h>

#include <optional>

class ServerCycleFollower {
public:
    // Runs, one server cycle after the other, before the server's times are taken.
    static constexpr UInt32 kCyclesInStep = 4;

    struct Start {
        UInt64 hostTime;
        Float64 ticksPerFrame;
    };

    // The host time of the first frame of the host's cycle of `frames` at `sampleRate`, which
    // arrived at `arrival`, and its ticks per frame: the server's, while the host runs in its
    // cycles; nothing otherwise. `server` is null when no server's cycle is known.
    // [render-thread]
    std::optional<Start> Follow(const MIDIAudioServerCycle* server, UInt64 arrival, UInt32 frames,
                                UInt32 sampleRate);

private:
    // Whether the host's cycle, which arrived at `arrival`, is the one after the services' record
    // of `server` (else the recorded one); nothing when the record is stale.
    std::optional<bool> FollowsTheRecord(const MIDIAudioServerCycle& server, UInt64 arrival,
                                         UInt32 frames) const;

    UInt32 mInStep = 0;
    bool mHaveFirstFrame = false;
    UInt32 mLastFirstFrame = 0;
};
