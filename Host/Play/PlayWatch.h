// One play as the host thread follows it: the player to its last slice (or a stop signal), then
// the destination until every message sent is delivered or counted as lost, with the screen
// showing both; at the end, what the summary tells.
#pragma once

#include "CommandLine/HostCommand.h"
#include "Monitor/MonitorCapture.h"
#include "Play/DeliveryCounts.h"
#include "Play/PlayRoute.h"
#include "Play/PlayScreen.h"
#include "Play/PlaySummary.h"
#include "Play/Player.h"

#include <ostream>
#include <string>

class PlayWatch {
public:
    // unitMessages: what the unit sends of its own besides the song. [host-thread]
    PlayWatch(std::ostream& out, const PlayOptions& options, const PlayRoute& route,
              const MIDISequence& song, Player& player, MonitorCapture& capture,
              DeliveryTracker& tracker, UInt64 unitMessages);

    // Follows play to its last slice; a stop signal ends it early, with the closing messages.
    // [host-thread]
    void FollowPlay();
    // Waits until every message sent is delivered or counted as lost, at most until a while
    // after the last of them is due; signals meanwhile do not shorten it. [host-thread]
    void WaitForDeliveries();

    UInt64 Sent() const { return mPlayer.EventsSent() + mUnitMessages; }
    // Everything the summary tells, once play has ended. [host-thread]
    PlayOutcome Outcome() const;

private:
    void Look(bool force);
    UInt64 LastDue() const;
    std::string ProgressText() const;

    const PlayOptions& mOptions;
    const PlayRoute& mRoute;
    const MIDISequence& mSong;
    Player& mPlayer;
    MonitorCapture& mCapture;
    DeliveryTracker& mTracker;
    const UInt64 mUnitMessages;
    PlayScreen mScreen;
    const UInt64 mInterval;
};
