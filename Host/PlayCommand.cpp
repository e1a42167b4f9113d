#include "PlayCommand.h"

#include "DestinationList.h"
#include "FileBytes.h"
#include "MIDIFileReader.h"
#include "MonitorCapture.h"
#include "MonitorEndpoint.h"
#include "Player.h"
#include "PresetFile.h"
#include "StatusText.h"
#include "UnitInstance.h"

#include <CoreAudio/HostTime.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <sstream>
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
// How often the host thread looks at what arrived.
constexpr UInt64 kDrainInterval = 10 * kNanosPerMilli;
// After the last slice: how long nothing more must arrive, and how long to wait at most.
constexpr UInt64 kQuietTime = 50 * kNanosPerMilli;
constexpr UInt64 kMaxTailWait = 2000 * kNanosPerMilli;

// Ctrl-C only raises this flag; the host thread asks the player to stop.
std::atomic<bool> sInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set in a signal handler");

extern "C" void OnInterrupt(int)
{
    sInterrupted.store(true, std::memory_order_relaxed);
}

// Catches SIGINT while it lives; a second Ctrl-C ends the program as usual.
class InterruptCatcher {
public:
    InterruptCatcher()
    {
        sInterrupted.store(false);
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &mPrevious);
    }
    ~InterruptCatcher() { sigaction(SIGINT, &mPrevious, nullptr); }
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

private:
    struct sigaction mPrevious {};
};

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

std::string Milliseconds(SInt64 nanoseconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", double(nanoseconds) / 1e6);
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

// Where play is, on a terminal only. Redrawn in place a few times a second while only auhost
// writes to the terminal; while the unit writes its log there too, a line of its own each second
// instead, since a line redrawn in place would run into the unit's lines.
class ProgressLine {
public:
    ProgressLine(bool shown, bool inPlace) : mShown(shown), mInPlace(inPlace) {}

    UInt64 Interval() const { return mInPlace ? 250 * kNanosPerMilli : 1000 * kNanosPerMilli; }

    void Draw(std::ostream& out, const std::string& text)
    {
        if (!mShown) {
            return;
        }
        if (mInPlace) {
            out << "\r\033[K" << text;
            mDrawn = true;
        } else {
            out << text << '\n';
        }
    }
    // Clears the line so that other lines can be written.
    void Clear(std::ostream& out)
    {
        if (mDrawn) {
            out << "\r\033[K";
            mDrawn = false;
        }
    }

private:
    const bool mShown;
    const bool mInPlace;
    bool mDrawn = false;
};

// Whether the unit writes its log, which it does unless PLENKO_LOG says "off".
bool UnitLogs()
{
    const char* setting = std::getenv("PLENKO_LOG");
    return setting == nullptr || std::string(setting) != "off";
}

struct Route {
    size_t mNumber; // as "TX Device" counts
    std::string mName;
    MIDIEndpointRef mEndpoint;
    bool mToMonitor;
};

Route ChooseDestination(const PlayOptions& options, const MonitorEndpoint& monitor)
{
    const std::vector<std::string> names = DestinationNames();
    size_t number = DestinationNumber(monitor.Destination());
    if (options.mDestination) {
        number = ResolveDestination(*options.mDestination, names);
    } else if (number == 0) {
        throw std::runtime_error(std::string("\"") + MonitorEndpoint::kName +
                                 "\" is not among the destinations");
    }
    const MIDIEndpointRef endpoint = MIDIGetDestination(number - 1);
    return {number, names[number - 1], endpoint, endpoint == monitor.Destination()};
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

void SetIntegerProperty(MIDIEndpointRef endpoint, CFStringRef property, SInt32 value,
                        const std::string& what)
{
    const OSStatus status = MIDIObjectSetIntegerProperty(endpoint, property, value);
    if (status != noErr) {
        throw std::runtime_error("cannot set " + what + ": " + StatusReason(status));
    }
}

std::string Summary(const Player& player, const MonitorCapture& capture, const Route& route,
                    bool offline)
{
    std::string line = "summary: " + std::to_string(player.EventsSent()) + " events sent";
    if (!route.mToMonitor) {
        return line + " to " + std::to_string(route.mNumber) + " \"" + route.mName + "\"";
    }
    line += ", " + std::to_string(capture.Received()) + " received at the monitor";
    const std::vector<SInt64> lateness = capture.SortedLateness();
    if (offline) {
        line += ", lateness not measured offline";
    } else if (lateness.empty()) {
        line += ", no lateness to measure";
    } else {
        line += ", lateness median " + Milliseconds(lateness[lateness.size() / 2]) + ", largest " +
                Milliseconds(lateness.back());
    }
    if (capture.Overflows() != 0) {
        line += ", " + std::to_string(capture.Overflows()) + " packets lost at the monitor";
    }
    if (player.FailedRenders() != 0) {
        line += ", " + std::to_string(player.FailedRenders()) + " render calls failed";
    }
    return line;
}

} // namespace

int RunPlay(const PlayOptions& options, std::ostream& out)
{
    const MIDISequence song = MIDIFileReader::ReadFile(options.mFile, options.mSampleRate);
    std::optional<PresetFile> preset;
    if (options.mPresetFile) {
        preset.emplace(*options.mPresetFile);
        preset->CheckUnit(options.mUnit);
    }
    if (options.mRecordFile) {
        CheckRecordTarget(*options.mRecordFile);
    }
    if (options.mQuiet || !options.mUnitLog) {
        // The unit's own log switch, read when the unit is opened: on only when asked for.
        setenv("PLENKO_LOG", "off", 1);
    }
    MonitorCapture capture;
    MonitorEndpoint monitor(MonitorCapture::ReadPackets, &capture);
    const Route route = ChooseDestination(options, monitor);
    if (options.mRecordFile && !route.mToMonitor) {
        throw std::runtime_error("--record records what arrives at \"" +
                                 std::string(MonitorEndpoint::kName) +
                                 "\", which --to does not choose");
    }

    UnitInstance unit(options.mUnit);
    SetParameters(unit, options, preset);
    unit.Configure(options.mSampleRate, options.mBlockFrames);
    unit.Initialize();
    unit.SetParameter(kTXDevice, Float32(route.mNumber));
    const SInt64 offsetMicros = std::llround(options.mOffsetMilliseconds * 1000.0);
    if (offsetMicros != 0) {
        SetIntegerProperty(route.mEndpoint, kMIDIPropertyLatencyOffsetMuSec, SInt32(offsetMicros),
                           "the latency offset of \"" + route.mName + "\"");
    }
    if (options.mOffline && route.mToMonitor) {
        // Offline, stamps run ahead of the clock: the monitor takes every packet when it is sent.
        SetIntegerProperty(monitor.Destination(), kMIDIPropertyAdvanceScheduleTimeMuSec,
                           std::numeric_limits<SInt32>::max(), "the monitor's advance time");
    }
    capture.SetIntendedDelay(offsetMicros * 1000);
    capture.SetMeasuringLateness(!options.mOffline);
    // The unit takes the sample rate, starts its clock at the first render and queues the bank
    // and program it is set to.
    unit.Reset();

    Player::Settings settings;
    settings.mSampleRate = options.mSampleRate;
    settings.mBlockFrames = options.mBlockFrames;
    settings.mOffline = options.mOffline;
    settings.mDelivered = route.mToMonitor ? &capture.ReceivedCount() : nullptr;
    Player player(unit, song, settings);
    std::ostream* lines = options.mQuiet ? nullptr : &out;
    ProgressLine progress(!options.mQuiet && isatty(STDOUT_FILENO), !UnitLogs());
    const std::string length = Seconds(song.mLengthSamples, options.mSampleRate);
    const std::string destination = std::to_string(route.mNumber) + " \"" + route.mName + "\"";
    // What arrived is printed between clearing the progress line and drawing it again.
    std::ostringstream arrived;
    const auto showArrivals = [&](bool drawProgress) {
        arrived.str("");
        const size_t count = capture.Drain(lines != nullptr ? &arrived : nullptr);
        if (count != 0 || drawProgress) {
            progress.Clear(out);
            out << arrived.str();
        }
        if (drawProgress) {
            progress.Draw(out, Seconds(std::min(player.Position(), song.mLengthSamples),
                                       options.mSampleRate) +
                                   " / " + length + "  " + std::to_string(player.EventsSent()) +
                                   " events sent  to " + destination);
        }
        out.flush();
        return count;
    };
    bool interrupted = false;
    {
        InterruptCatcher catcher;
        player.Start();
        UInt64 lastProgress = 0;
        while (!player.Finished()) {
            if (sInterrupted.load(std::memory_order_relaxed) && !interrupted) {
                interrupted = true;
                player.RequestStop();
            }
            if (player.StartTime() != 0) {
                capture.SetTimeZero(player.StartTime());
                const UInt64 now = AudioGetCurrentHostTime();
                const bool drawProgress = now - lastProgress >= progress.Interval();
                lastProgress = drawProgress ? now : lastProgress;
                showArrivals(drawProgress);
            }
            SleepFor(kDrainInterval);
        }
        player.Join();
        interrupted = interrupted || sInterrupted.load();
    }
    capture.SetTimeZero(player.StartTime());

    // What the last slices sent is due up to the end of the last slice, moved by the offset.
    const UInt64 lastDue = options.mOffline
                               ? AudioGetCurrentHostTime()
                               : player.StartTime() +
                                     UInt64(double(player.Position()) * 1e9 / options.mSampleRate) +
                                     UInt64(std::max<SInt64>(offsetMicros, 0) * 1000);
    UInt64 lastArrival = AudioGetCurrentHostTime();
    for (;;) {
        if (showArrivals(false) != 0) {
            lastArrival = AudioGetCurrentHostTime();
        }
        const UInt64 now = AudioGetCurrentHostTime();
        const bool allArrived = !route.mToMonitor || capture.Received() >= player.EventsSent();
        if ((now >= lastDue && allArrived && now - lastArrival >= kQuietTime) ||
            now >= lastDue + kMaxTailWait) {
            break;
        }
        SleepFor(kDrainInterval);
    }
    progress.Clear(out);
    out << Summary(player, capture, route, options.mOffline) << '\n' << std::flush;
    if (options.mRecordFile) {
        try {
            WriteFileBytes(*options.mRecordFile, capture.Recording());
        } catch (const std::runtime_error& error) {
            throw std::runtime_error(*options.mRecordFile + ": " + error.what());
        }
    }
    return interrupted ? kInterruptedStatus : 0;
}
