#include "Play/PlayCommand.h"

#include "MIDIFile/FileBytes.h"
#include "Monitor/MonitorCapture.h"
#include "Monitor/MonitorEndpoint.h"
#include "Play/DeliveryCounts.h"
#include "Play/PlayInput.h"
#include "Play/PlayRoute.h"
#include "Play/PlaySummary.h"
#include "Play/PlayWatch.h"
#include "Play/Player.h"
#include "Play/StopSignals.h"
#include "Play/UnitSetup.h"
#include "Units/UnitInstance.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// The offset --offset-ms asks of the destination, in microseconds.
SInt64 OffsetMicros(const PlayOptions& options)
{
    return std::llround(options.mOffsetMilliseconds * 1000.0);
}

// The destination's offset and, at the monitor, what the capture measures and keeps room for.
void PrepareRoute(const PlayOptions& options, const PlayRoute& route, const MIDISequence& song,
                  MonitorCapture& capture)
{
    SetRouteProperties(route, OffsetMicros(options), options.mOffline);
    capture.SetIntendedDelay(OffsetMicros(options) * 1000);
    capture.SetMeasuringLateness(!options.mOffline);
    capture.Reserve(song.mEvents.size() + 4096);
}

Player::Settings PlayerSettings(const PlayOptions& options, const PlayRoute& route,
                                UInt64 unitMessages, const DeliveryTracker& tracker)
{
    Player::Settings settings;
    settings.mSampleRate = options.mSampleRate;
    settings.mBlockFrames = options.mBlockFrames;
    settings.mOffline = options.mOffline;
    settings.mPacedByStamps = options.mOffline && !route.mToMonitor;
    // Earlier delivery needs the messages sent that much earlier: the song starts that late.
    const double earlierSeconds = std::max(-options.mOffsetMilliseconds, 0.0) / 1000.0;
    settings.mLeadSamples = UInt64(std::ceil(earlierSeconds * options.mSampleRate));
    settings.mUnitMessages = unitMessages;
    settings.mSettled = options.mOffline ? &tracker.Settled() : nullptr;
    return settings;
}

// Opens the unit, sets it up for the route and plays the song through it; the unit is closed
// (and has written its last log lines) when this returns.
PlayOutcome PlayThroughUnit(std::ostream& out, const PlayOptions& options, const PlayInput& input,
                            const PlayRoute& route, MonitorCapture& capture)
{
    UnitInstance unit(options.mUnit);
    SetUpUnit(unit, options, input.mPreset, route);
    PrepareRoute(options, route, input.mSong, capture);
    DeliveryTracker tracker(route.mEndpoint, route.mToMonitor ? &capture : nullptr);
    // The unit takes the sample rate, starts its clock at the first render and queues the bank
    // and program it is set to.
    unit.Reset();
    const UInt64 unitMessages = BankAndProgramMessages(unit);

    Player player(unit, input.mSong, PlayerSettings(options, route, unitMessages, tracker));
    PlayWatch watch(out, options, route, input.mSong, player, capture, tracker, unitMessages);
    player.Start();
    watch.FollowPlay();
    watch.WaitForDeliveries();
    return watch.Outcome();
}

// Why the recording could not be written, empty when it was.
std::string WriteRecording(const std::string& path, const MonitorCapture& capture)
{
    try {
        WriteFileBytes(path, capture.Recording());
    } catch (const std::runtime_error& error) {
        return path + ": " + error.what();
    }
    return "";
}

} // namespace

int RunPlay(const PlayOptions& options, std::ostream& out)
{
    const PlayInput input(options);
    ChooseUnitLog(options);
    MonitorCapture capture;
    MonitorEndpoint monitor(MonitorCapture::ReadPackets, &capture);
    const PlayRoute route = ChoosePlayRoute(options, monitor);
    CheckRecordRoute(options, route);
    const StopSignals signals;
    PlayOutcome outcome = PlayThroughUnit(out, options, input, route, capture);
    if (options.mRecordFile) {
        outcome.mRecordingProblem = WriteRecording(*options.mRecordFile, capture);
    }
    out << SummaryLine(outcome) << '\n' << std::flush;
    return PlayExitStatus(outcome);
}
