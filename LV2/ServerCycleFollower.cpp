#include "ServerCycleFollower.h"

std::optional<ServerCycleFollower::Start>
ServerCycleFollower::Follow(const MIDIAudioServerCycle* server, UInt64 arrival, UInt32 frames,
                            UInt32 sampleRate)
{
    const auto outOfStep = [this] {
        mInStep = 0;
        mHaveFirstFrame = false;
        return std::nullopt;
    };
    if (server == nullptr || server->frames != frames || server->sampleRate != sampleRate ||
        server->next <= server->start)
        return outOfStep();
    const UInt64 span = server->next - server->start;
    const std::optional<bool> following = FollowsTheRecord(*server, arrival, frames);
    if (!following)
        return outOfStep();
    const UInt32 firstFrame = server->firstFrame + (*following ? frames : 0);
    const bool inStep = mHaveFirstFrame && firstFrame == mLastFirstFrame + frames;
    mInStep = inStep ? mInStep + 1 : 0;
    mLastFirstFrame = firstFrame;
    mHaveFirstFrame = true;
    if (mInStep < kCyclesInStep)
        return std::nullopt;
    return Start{*following ? server->next : server->start, Float64(span) / frames};
}

std::optional<bool> ServerCycleFollower::FollowsTheRecord(const MIDIAudioServerCycle& server,
                                                          UInt64 arrival, UInt32 frames) const
{
    // After a run, the frames tell: the host's cycle is the one after its last. A host that a busy
    // machine wakes late is still in its cycle, however long ago the services began it or the
    // one before.
    if (mHaveFirstFrame && server.firstFrame == mLastFirstFrame + frames)
        return false;
    if (mHaveFirstFrame && server.firstFrame == mLastFirstFrame)
        return true;
    // Otherwise by the clock: begun after the host arrived (on another processor) or shortly
    // before, the record is of the host's cycle; begun longer ago, of the one before it.
    const UInt64 span = server.next - server.start;
    const UInt64 age = arrival > server.begun ? arrival - server.begun : 0;
    if (age >= span + span / 2)
        return std::nullopt; // the services have not seen the server for a while
    return age >= span / 2;
}
