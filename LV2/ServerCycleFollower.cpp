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
    // Begun after the host arrived (on another processor) or shortly before: the host's cycle.
    const UInt64 age = arrival > server->begun ? arrival - server->begun : 0;
    if (age >= span + span / 2)
        return outOfStep(); // the services have not seen the server for a while
    const bool following = age >= span / 2;
    const UInt32 firstFrame = server->firstFrame + (following ? frames : 0);
    const bool inStep = mHaveFirstFrame && firstFrame == mLastFirstFrame + frames;
    mInStep = inStep ? mInStep + 1 : 0;
    mLastFirstFrame = firstFrame;
    mHaveFirstFrame = true;
    if (mInStep < kCyclesInStep)
        return std::nullopt;
    return Start{following ? server->next : server->start, Float64(span) / frames};
}
