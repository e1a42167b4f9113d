#include "PlayCommand.h"

#include "DeliveryCounts.h"
#include "FileBytes.h"
#include "MIDIFileReader.h"
#include "MonitorCapture.h"
#include "MonitorEndpoint.h"
#include "PlayRoute.h"
#include "PlayScreen.h"
#include "PlaySummary.h"
#include "Player.h"
#include "PresetFile.h"
#include "StopSignals.h"
#include "UnitInstance.h"

#include <CoreAudio/HostTime.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <unistd.h>

namespace {

// The output unit's global parameters that play's options set.
enum : AudioUnitParameterID {
    kTXDevice = 0,
    kTXChannel = 1,
    kPrgChange = 2,
    kBankMSB = 3,
    kBankLSB = 4
};

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

// The --record file must be writable before anything plays: its folder has to exist.
void CheckRecordTarget(const std::string& path)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::absolute(fs::path(path)).parent_path();
    std::error_code error;
    if (!fs::is_directory(folder, error) || access(folder.c_str(), W_OK) != 0) {
        throw std::runtime_error(path + ": cannot write: no writable folder " + folder.string());
    }
    if (fs::is_directory(path, error)) {
        throw std::runtime_error(path + ": is a directory");
    }
}

// What play reads before anything is opened: the song and the preset, both checked, and the
// recording's folder.
struct PlayInput {
    explicit PlayInput(const PlayOptions& options)
        : mSong(MIDIFileReader::ReadFile(options.mFile, options.mSampleRate))
    {
        if (options.mPresetFile) {
            mPreset.emplace(*options.mPresetFile);
            mPreset->CheckUnit(options.mUnit);
        }
        if (options.mRecordFile) {
            CheckRecordTarget(*options.mRecordFile);
        }
    }

    const MIDISequence mSong;
    std::optional<PresetFile> mPreset;
};

// The unit's own log reaches standard output only when asked for; the unit reads its switch
// when it is opened.
void ChooseUnitLog(const PlayOptions& options)
{
    if (!options.mUnitLog || options.mQuiet) {
        setenv("PLENKO_LOG", "off", 1);
    }
}

bool UnitLogs()
{
    const char* setting = std::getenv("PLENKO_LOG");
    return setting == nullptr || std::string(setting) != "off";
}

// Preset first, then every option given, so that explicit options win.
void SetParameters(UnitInstance& unit, const PlayOptions& options,
                   const std::optional<PresetFile>& preset)
{
    if (preset) {
        unit.RestoreClassInfo(preset->State());
    }
    if (options.mChannel != 0) {
        unit.SetParameter(kTXChannel, Float32(options.mChannel));
    }
    // The unit counts programs and banks from 1; 0 there means none.
    if (options.mProgram) {
        unit.SetParameter(kPrgChange, Float32(*options.mProgram + 1));
    }
    if (options.mBank) {
        unit.SetParameter(kBankMSB, Float32(options.mBank->mMSB + 1));
        if (options.mBank->mLSB) {
            unit.SetParameter(kBankLSB, Float32(*options.mBank->mLSB + 1));
        }
    }
    if ((options.mProgram || options.mBank) && unit.ParameterValue(kTXChannel).value_or(0) < 1) {
        throw std::runtime_error(
            "--program and --bank need --channel: the unit sends bank and program only on a "
            "fixed transmit channel (\"TX Channel\" 1 to 16, which a preset may set too)");
    }
}

// The bank and program messages the unit sends of its own when play starts: on a fixed transmit
// channel, one for each of bank MSB, bank LSB and program that is set (1 to 128).
UInt64 BankAndProgramMessages(const UnitInstance& unit)
{
    const Float32 channel = unit.ParameterValue(kTXChannel).value_or(0);
    if (channel < 1 || channel >= 17) {
        return 0;
    }
    UInt64 messages = 0;
    for (const AudioUnitParameterID id : {kBankMSB, kBankLSB, kPrgChange}) {
        const Float32 value = unit.ParameterValue(id).value_or(0);
        messages += value >= 1 && value < 129;
    }
    return messages;
}

// One play as the host thread follows it: the player, what arrives and what the destination
// counts, and the screen that shows it.
class PlayWatch {
public:
    PlayWatch(std::ostream& out, const PlayOptions& options, const PlayRoute& route,
              const MIDISequence& song, Player& player, MonitorCapture& capture,
              DeliveryTracker& tracker, UInt64 unitMessages)
        : mOptions(options), mRoute(route), mSong(song), mPlayer(player), mCapture(capture),
          mTracker(tracker), mUnitMessages(unitMessages),
          mScreen(out, !options.mQuiet && isatty(STDOUT_FILENO), !UnitLogs(), !options.mQuiet),
          mInterval(options.mOffline ? kOfflineInterval : kRealTimeInterval)
    {
    }

    // Follows play to its last slice; a stop signal ends it early, with the closing messages.
    void FollowPlay()
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

    // Waits until every message sent is delivered or counted as lost, at most until a while
    // after the last of them is due; signals meanwhile do not shorten it.
    void WaitForDeliveries()
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

    UInt64 Sent() const { return mPlayer.EventsSent() + mUnitMessages; }

private:
    void Look(bool force)
    {
        if (mPlayer.StartTime() == 0) {
            return;
        }
        mCapture.SetTimeZero(mPlayer.SongStartTime());
        mScreen.Update(mCapture, ProgressText(), force);
        mTracker.Update();
    }

    // When the last slice's messages are due, moved by the offset: offline to the monitor, at
    // once.
    UInt64 LastDue() const
    {
        if (mOptions.mOffline && mRoute.mToMonitor) {
            return AudioGetCurrentHostTime();
        }
        const auto slices = UInt64(double(mPlayer.Position()) * 1e9 / double(mOptions.mSampleRate));
        const auto offset = SInt64(std::llround(mOptions.mOffsetMilliseconds * 1e6));
        return UInt64(SInt64(mPlayer.StartTime() + slices) + offset);
    }

    std::string ProgressText() const
    {
        const UInt32 rate = mOptions.mSampleRate;
        std::string text = Seconds(std::min(mPlayer.SongPosition(), mSong.mLengthSamples), rate) +
                           " / " + Seconds(mSong.mLengthSamples, rate) + "  " +
                           std::to_string(Sent()) + " events sent  to " + mRoute.Text();
        if (mPlayer.Waiting()) {
            const UInt64 settled = mTracker.Settled().load();
            text += "  waiting: " + std::to_string(Sent() > settled ? Sent() - settled : 0) +
                    " messages on their way";
        }
        return text;
    }

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

// Everything the summary tells, once play has ended.
PlayOutcome Outcome(const PlayWatch& watch, const Player& player, const MonitorCapture& capture,
                    const DeliveryTracker& tracker, const PlayOptions& options,
                    const PlayRoute& route)
{
    PlayOutcome outcome;
    outcome.mSent = watch.Sent();
    outcome.mCounts = tracker.Counts();
    if (route.mToMonitor) {
        // Delivered to the monitor counts once the host thread has taken it (or lost it there).
        outcome.mCounts.mDelivered =
            std::min(outcome.mCounts.mDelivered, capture.Received() + capture.LostMessages());
    }
    outcome.mDestination = route.Text();
    outcome.mToMonitor = route.mToMonitor;
    outcome.mLostAtMonitor = capture.LostMessages();
    outcome.mOffline = options.mOffline;
    const std::vector<SInt64> lateness = capture.SortedLateness();
    if (!lateness.empty()) {
        outcome.mMedianLateness = lateness[lateness.size() / 2];
        outcome.mLargestLateness = lateness.back();
    }
    outcome.mSysExEvents = player.SysExEvents();
    outcome.mFailedRenders = player.FailedRenders();
    outcome.mRealTime = player.RealTime();
    outcome.mSignal = StopSignals::First();
    return outcome;
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

// Opens the unit, sets it up for the route and plays the song through it; the unit is closed
// (and has written its last log lines) when this returns.
PlayOutcome PlayThroughUnit(std::ostream& out, const PlayOptions& options, const PlayInput& input,
                            const PlayRoute& route, MonitorCapture& capture)
{
    UnitInstance unit(options.mUnit);
    SetParameters(unit, options, input.mPreset);
    unit.Configure(options.mSampleRate, options.mBlockFrames);
    unit.Initialize();
    unit.SetParameter(kTXDevice, Float32(route.mNumber));
    const SInt64 offsetMicros = std::llround(options.mOffsetMilliseconds * 1000.0);
    SetRouteProperties(route, offsetMicros, options.mOffline);
    capture.SetIntendedDelay(offsetMicros * 1000);
    capture.SetMeasuringLateness(!options.mOffline);
    capture.Reserve(input.mSong.mEvents.size() + 4096);
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
    return Outcome(watch, player, capture, tracker, options, route);
}

} // namespace

int RunPlay(const PlayOptions& options, std::ostream& out)
{
    const PlayInput input(options);
    ChooseUnitLog(options);
    MonitorCapture capture;
    MonitorEndpoint monitor(MonitorCapture::ReadPackets, &capture);
    const PlayRoute route = ChoosePlayRoute(options, monitor);
    if (options.mRecordFile && !route.mToMonitor) {
        throw std::runtime_error("--record records what arrives at \"" +
                                 std::string(MonitorEndpoint::kName) +
                                 "\", which --to does not choose");
    }
    const StopSignals signals;
    PlayOutcome outcome = PlayThroughUnit(out, options, input, route, capture);
    if (options.mRecordFile) {
        outcome.mRecordingProblem = WriteRecording(*options.mRecordFile, capture);
    }
    out << SummaryLine(outcome) << '\n' << std::flush;
    return PlayExitStatus(outcome);
}
