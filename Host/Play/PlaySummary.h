// How a play went, and the one summary line and the exit status that tell it: how many events
// were sent and delivered, how many were not and why, what the file held that the unit does not
// send, how the render thread was scheduled and what ended play.
#pragma once

#include "Play/DeliveryCounts.h"

#include <optional>
#include <string>

struct PlayOutcome {
    // The messages sent to the destination: those handed to the unit and the unit's own.
    UInt64 mSent = 0;
    DeliveryCounts mCounts; // at the destination, since play began
    // Where it went: "2 "synth: in"", or the monitor, which also keeps what arrives.
    std::string mDestination;
    bool mToMonitor = true;
    UInt64 mLostAtMonitor = 0; // delivered to the monitor but not kept: its buffer was full
    bool mOffline = false;
    // The median and largest lateness at the monitor, in nanoseconds, when measured.
    std::optional<SInt64> mMedianLateness;
    std::optional<SInt64> mLargestLateness;
    UInt64 mSysExEvents = 0; // in the file; the unit does not send them
    UInt64 mFailedRenders = 0;
    bool mRealTime = false;
    int mSignal = 0;               // the signal that ended play, 0 for none
    std::string mRecordingProblem; // why the recording was not written, empty when it was
};

// The messages that were not delivered, for any reason: counted lost, lost at the monitor, or
// still not accounted for when waiting for them ended.
UInt64 UndeliveredMessages(const PlayOutcome& outcome);

// "summary: 306 events sent, 306 received at the monitor, lateness median 0.021 ms, largest
// 0.197 ms, ran real-time", with what was lost and why when anything was.
std::string SummaryLine(const PlayOutcome& outcome);

// 128 + the signal after a signal; else 1 when anything was lost (or the recording not written),
// else 0.
int PlayExitStatus(const PlayOutcome& outcome);
