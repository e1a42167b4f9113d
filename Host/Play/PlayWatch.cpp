#include "Play/PlayWatch.h"

#include "Play/StopSignals.h"
#include "Play/UnitSetup.h"

#include <CoreAudio/HostTime.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

constexpr UInt64 kNanosPerMilli = 1000000;
// How often the host thread looks at what arrived: offline play waits for what it sees.
constexpr UInt64 kRealTimeInterval = 10 * kNanosPerMilli;
constexpr UInt64 kOfflineInterval = 1 * kNanosPerMilli;
// After the last message is due: how long to wait at most for the rest to be delivered.
constexpr UInt64 kMaxTailWait = 2000 * kNanosPerMilli;

void SleepFor(UInt64 nanoseconds)
{
    const timespec pause{0, long(nanoseconds)};
    nanosleep(&pause, nullptr);
}

std::string Seconds(UInt64 samples, UInt32 rate)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", double(samples) / rate);
    return text;
}

} // namespace

PlayWatch::PlayWatch(std::ostream& out, const PlayOptions& options, const PlayRoute& route,
                     const MIDISequence& song, Player& player, MonitorCapture& capture,
                     DeliveryTracker& tracker, UInt64 unitMessages)
    : mOptions(options), mRoute(route), mSong(song), mPlayer(player), mCapture(capture),
      mTracker(tracker), mUnitMessages(unitMessages),
      mScreen(out, !options.mQuiet && isatty(STDOUT_FILENO), !UnitLogs(), !options.mQuiet),
      mInterval(options.mOffline ? kOfflineInterval : kRealTimeInterval)
{
}

void PlayWatch::FollowPlay()
{
    while (!mPlayer.Finished()) {
        if (StopSignals::First() != 0) {
            mPlayer.RequestStop();
        }
        Look(false);
        SleepFor(mInterval);
    }
    mPlayer.Join();
    Look(true);
}

void PlayWatch::WaitForDeliveries()
{
    const UInt64 lastDue = LastDue();
    while (mTracker.Settled().load() < Sent() &&
           AudioGetCurrentHostTime() < lastDue + kMaxTailWait) {
        SleepFor(mInterval);
        Look(false);
    }
    Look(false);
    mScreen.Clear();
}

PlayOutcome PlayWatch::Outcome() const
{
    PlayOutcome outcome;
    outcome.mSent = Sent();
    outcome.mCounts = mTracker.Counts();
    if (mRoute.mToMonitor) {
        // Delivered to the monitor counts once the host thread has taken it (or lost it there).
        outcome.mCounts.mDelivered =
            std::min(outcome.mCounts.mDelivered, mCapture.Received() + mCapture.LostMessages());
    }
    outcome.mDestination = mRoute.Text();
    outcome.mToMonitor = mRoute.mToMonitor;
    outcome.mLostAtMonitor = mCapture.LostMessages();
    outcome.mOffline = mOptions.mOffline;
    const std::vector<SInt64> lateness = mCapture.SortedLateness();
    if (!lateness.empty()) {
        outcome.mMedianLateness = lateness[lateness.size() / 2];
        outcome.mLargestLateness = lateness.back();
    }
    outcome.mSysExEvents = mPlayer.SysExEvents();
    outcome.mFailedRenders = mPlayer.FailedRenders();
    outcome.mRealTime = mPlayer.RealTime();
    outcome.mSignal = StopSignals::First();
    return outcome;
}

void PlayWatch::Look(bool force)
{
    if (mPlayer.StartTime() == 0) {
        return;
    }
    mCapture.SetTimeZero(mPlayer.SongStartTime());
    mScreen.Update(mCapture, ProgressText(), force);
    mTracker.Update();
}

// When the last slice's messages are due, moved by the offset: offline to the monitor, at once.
UInt64 PlayWatch::LastDue() const
{
    if (mOptions.mOffline && mRoute.mToMonitor) {
        return AudioGetCurrentHostTime();
    }
    const auto slices = UInt64(double(mPlayer.Position()) * 1e9 / double(mOptions.mSampleRate));
    const auto offset = SInt64(std::llround(mOptions.mOffsetMilliseconds * 1e6));
    return UInt64(SInt64(mPlayer.StartTime() + slices) + offset);
}

std::string PlayWatch::ProgressText() const
{
    const UInt32 rate = mOptions.mSampleRate;
    std::string text = Seconds(std::min(mPlayer.SongPosition(), mSong.mLengthSamples), rate) +
                       " / " + Seconds(mSong.mLengthSamples, rate) + "  " + std::to_string(Sent()) +
                       " events sent  to " + mRoute.Text();
    if (mPlayer.Waiting()) {
        const UInt64 settled = mTracker.Settled().load();
        text += "  waiting: " + std::to_string(Sent() > settled ? Sent() - settled : 0) +
                " messages on their way";
    }
    return text;
}
