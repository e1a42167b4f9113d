#include "Play/PlaySummary.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::string Milliseconds(SInt64 nanoseconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", double(nanoseconds) / 1e6);
    return text;
}

UInt64 Unaccounted(const PlayOutcome& outcome)
{
    const UInt64 settled = outcome.mCounts.Settled();
    return outcome.mSent > settled ? outcome.mSent - settled : 0;
}

UInt64 Received(const PlayOutcome& outcome)
{
    const UInt64 delivered = outcome.mCounts.mDelivered;
    return delivered > outcome.mLostAtMonitor ? delivered - outcome.mLostAtMonitor : 0;
}

// "6 not delivered: 3 refused for want of room, 2 sent while the destination was gone, ...".
std::string Losses(const PlayOutcome& outcome)
{
    const std::pair<UInt64, const char*> reasons[] = {
        {outcome.mCounts.mRefused, "refused for want of room"},
        {outcome.mCounts.mOffline, "sent while the destination was gone"},
        {outcome.mCounts.mDropped, "dropped by the MIDI services"},
        {outcome.mLostAtMonitor, "lost at the monitor, its buffer full"},
        {Unaccounted(outcome), "not accounted for when auhost stopped waiting"},
    };
    std::string text;
    for (const auto& [count, reason] : reasons) {
        if (count != 0) {
            text += (text.empty() ? "" : ", ") + std::to_string(count) + " " + reason;
        }
    }
    return ", " + std::to_string(UndeliveredMessages(outcome)) + " not delivered (" + text + ")";
}

std::string Lateness(const PlayOutcome& outcome)
{
    if (!outcome.mToMonitor) {
        return "";
    }
    if (outcome.mOffline) {
        return ", lateness not measured offline";
    }
    if (!outcome.mMedianLateness || !outcome.mLargestLateness) {
        return ", no lateness to measure";
    }
    return ", lateness median " + Milliseconds(*outcome.mMedianLateness) + ", largest " +
           Milliseconds(*outcome.mLargestLateness);
}

std::string Scheduling(const PlayOutcome& outcome)
{
    if (outcome.mOffline) {
        return ", ran at normal priority (offline)";
    }
    return outcome.mRealTime ? ", ran real-time"
                             : ", ran at normal priority (real-time scheduling refused)";
}

} // namespace

UInt64 UndeliveredMessages(const PlayOutcome& outcome)
{
    const UInt64 received = Received(outcome);
    return outcome.mSent > received ? outcome.mSent - received : 0;
}

std::string SummaryLine(const PlayOutcome& outcome)
{
    std::string line = "summary: " + std::to_string(outcome.mSent) + " events sent";
    if (outcome.mToMonitor) {
        line += ", " + std::to_string(Received(outcome)) + " received at the monitor";
    } else {
        line +=
            " to " + outcome.mDestination + ", " + std::to_string(Received(outcome)) + " delivered";
    }
    if (UndeliveredMessages(outcome) != 0) {
        line += Losses(outcome);
    }
    line += Lateness(outcome);
    if (outcome.mSysExEvents != 0) {
        line += ", " + std::to_string(outcome.mSysExEvents) +
                " SysEx events not sent (the unit does not forward SysEx)";
    }
    if (outcome.mFailedRenders != 0) {
        line += ", " + std::to_string(outcome.mFailedRenders) + " render calls failed";
    }
    if (!outcome.mRecordingProblem.empty()) {
        line += ", recording not written: " + outcome.mRecordingProblem;
    }
    if (outcome.mSignal != 0) {
        line += std::string(", stopped by SIG") + sigabbrev_np(outcome.mSignal);
    }
    return line + Scheduling(outcome);
}

int PlayExitStatus(const PlayOutcome& outcome)
{
    if (outcome.mSignal != 0) {
        return 128 + outcome.mSignal;
    }
    return UndeliveredMessages(outcome) != 0 || !outcome.mRecordingProblem.empty() ? 1 : 0;
}
