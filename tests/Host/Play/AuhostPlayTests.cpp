// auhost playing files through the unit to its monitor: what the recording holds against the
// song (read back by midicsv, a reader we did not write), the unit's channel, program and bank
// as options and presets set them, a song longer than 32-bit microseconds reach played offline,
// a negative offset, the summary of a real-time play and what it says of SysEx, the unit's log
// only when asked for, the closing messages of a play that a signal stopped, and presets as
// another program writes and reads them.
#include "AuhostRun.h"
#include "ChildProcess.h"
#include "HexBytes.h"
#include "MIDIFile/MIDIFileReader.h"
#include "MIDIFile/MIDIFileWriter.h"
#include "MIDISequenceText.h"
#include "MidicsvReading.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr UInt32 kRate = 44100; // auhost's default
constexpr double kSecondsPerRecordingTick = 50e-6;

struct TimedMessage {
    double mSeconds;
    std::string mBytes; // "90 3C 64"
};

// The channel messages of a file as auhost hands them to the unit, their channel replaced by
// `channel` (1 to 16) unless it is 0, as the unit's "TX Channel" does.
std::vector<TimedMessage> SongMessages(const std::string& path, int channel)
{
    const MIDISequence song = MIDIFileReader::ReadFile(path, kRate);
    std::vector<TimedMessage> messages;
    for (const MIDIFileEvent& event : song.mEvents) {
        if (!event.IsChannelMessage()) {
            continue;
        }
        MIDIFileEvent sent = event;
        if (channel != 0) {
            sent.mStatus = Byte((event.mStatus & 0xF0) | (channel - 1));
        }
        messages.push_back({double(event.mSample) / kRate, EventText(song, sent)});
    }
    return messages;
}

// What a recording holds, read by midicsv: its messages at their times.
std::vector<TimedMessage> RecordedMessages(const std::string& path)
{
    std::vector<TimedMessage> messages;
    for (const MidicsvEvent& event : ReadWithMidicsv(path).mEvents) {
        if (event.mBytes.substr(0, 2) != "FF") {
            messages.push_back({double(event.mTick) * kSecondsPerRecordingTick, event.mBytes});
        }
    }
    return messages;
}

// Controller 123 on each channel the song uses, in channel order, as auhost ends a play.
std::vector<std::string> ClosingMessages(const std::string& path, int channel)
{
    std::set<int> used;
    for (const MIDIFileEvent& event : MIDIFileReader::ReadFile(path, kRate).mEvents) {
        if (event.IsChannelMessage()) {
            used.insert(event.Channel());
        }
    }
    std::vector<std::string> messages;
    for (const int songChannel : used) {
        const Byte bytes[] = {Byte(0xB0 | (channel != 0 ? channel - 1 : songChannel)), 123, 0};
        messages.push_back(HexText(bytes, 3));
    }
    return messages;
}

std::string TemporaryPath(const std::string& name)
{
    return (fs::temp_directory_path() / (std::to_string(getpid()) + "-" + name)).string();
}

// A preset of the unit written by Python's plistlib: "TX Channel" and "Prg Change" set.
std::string PlistlibPreset(int txChannel, int prgChange)
{
    const std::string path = TemporaryPath("plistlib.aupreset");
    char script[640];
    std::snprintf(script, sizeof script,
                  "import plistlib, struct\n"
                  "values = [0, %d, %d, 0, 0]\n"
                  "data = struct.pack('>III', 0, 0, 5) + b''.join(\n"
                  "    struct.pack('>If', i, v) for i, v in enumerate(values))\n"
                  "plistlib.dump({'version': 0, 'type': 0x61756D75, 'subtype': 0x506F7574,\n"
                  "               'manufacturer': 0x506C6E6B, 'name': 'From Python',\n"
                  "               'data': data}, open('%s', 'wb'))\n",
                  txChannel, prgChange, path.c_str());
    const ProgramResult written = RunProgram({"python3", "-c", script});
    EXPECT_EQ(written.mExitStatus, 0) << written.mErr;
    return path;
}

// A format 0 song: four channels, each with a note every 100 ms that lasts 400 ms, for seconds.
std::string OverlappingNotesSong(const std::string& name, int seconds)
{
    MIDIFileWriter writer = MIDIFileWriter::ForRecording();
    const UInt64 ticksPerStep = MIDIFileWriter::RecordingTick(100000000);
    const int steps = seconds * 10;
    for (int step = 0; step < steps; ++step) {
        const Byte channel = Byte(step % 4);
        const Byte key = Byte(48 + step % 24);
        const Byte on[] = {Byte(0x90 | channel), key, 100};
        const Byte off[] = {Byte(0x80 | channel), key, 0};
        writer.AddMessage(0, step * ticksPerStep, on, 3);
        writer.AddMessage(0, (step + 4) * ticksPerStep, off, 3);
    }
    return WriteTemporaryFile(name, writer.Bytes());
}

// The figures of a summary line: events sent and received, the median and largest lateness
// (-1 for what it does not say).
struct Summary {
    int mSent = -1;
    int mReceived = -1;
    double mMedian = -1;
    double mLargest = -1;
};

Summary SummaryOf(const std::string& out)
{
    Summary summary;
    const size_t line = out.rfind("summary: ");
    if (line != std::string::npos) {
        std::sscanf(out.c_str() + line,
                    "summary: %d events sent, %d received at the monitor, lateness median %lf "
                    "ms, largest %lf ms",
                    &summary.mSent, &summary.mReceived, &summary.mMedian, &summary.mLargest);
    }
    return summary;
}

TEST(AuhostPlay, OfflineRecordingHoldsTheSongAsTheUnitSendsIt)
{
    const std::string song = DEMO_SONG_PATH;
    const std::string preset = PlistlibPreset(9, 6);
    struct Case {
        const char* mWhat;
        std::vector<std::string> mOptions;
        int mChannel;                       // the channel every message arrives on, 0: its own
        std::vector<std::string> mPreamble; // what the unit sends first, at time 0
    };
    const Case cases[] = {
        {"as the file has it", {}, 0, {}},
        {"on one channel", {"--channel", "5"}, 5, {}},
        {"with bank and program",
         {"--channel", "3", "--program", "12", "--bank", "2:7"},
         3,
         {"B2 00 02", "B2 20 07", "C2 0C"}},
        {"from a preset", {"--preset", preset}, 9, {"C8 05"}},
        {"options over the preset", {"--preset", preset, "--channel", "2"}, 2, {"C1 05"}},
    };
    const std::string recording = TemporaryPath("recording.mid");
    for (const Case& test : cases) {
        SCOPED_TRACE(test.mWhat);
        std::vector<std::string> arguments = {"play",    song,       "--offline",
                                              "--quiet", "--record", recording};
        arguments.insert(arguments.end(), test.mOptions.begin(), test.mOptions.end());
        const ProgramResult result = RunAuhost(arguments);
        ASSERT_EQ(result.mExitStatus, 0) << result.mErr;

        std::vector<TimedMessage> expected;
        for (const std::string& bytes : test.mPreamble) {
            expected.push_back({0.0, bytes});
        }
        const std::vector<TimedMessage> played = SongMessages(song, test.mChannel);
        expected.insert(expected.end(), played.begin(), played.end());
        const std::vector<std::string> closing = ClosingMessages(song, test.mChannel);
        const std::vector<TimedMessage> recorded = RecordedMessages(recording);
        ASSERT_EQ(recorded.size(), expected.size() + closing.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(recorded[i].mBytes, expected[i].mBytes) << "message " << i;
            EXPECT_NEAR(recorded[i].mSeconds, expected[i].mSeconds, 0.001) << "message " << i;
        }
        for (size_t i = 0; i < closing.size(); ++i) {
            EXPECT_EQ(recorded[expected.size() + i].mBytes, closing[i]);
            EXPECT_GE(recorded[expected.size() + i].mSeconds, played.back().mSeconds);
        }
        const Summary summary = SummaryOf(result.mOut);
        // The unit's own bank and program count among the events sent.
        EXPECT_EQ(summary.mSent, int(recorded.size())) << result.mOut;
        EXPECT_EQ(summary.mReceived, int(recorded.size())) << result.mOut;
        EXPECT_NE(result.mOut.find(", lateness not measured offline, ran at normal priority "
                                   "(offline)\n"),
                  std::string::npos);
    }
    fs::remove(recording);
    fs::remove(preset);
}

TEST(AuhostPlay, RealTimePlayPrintsEveryEventAndItsLatenessAndLosesNone)
{
    const std::string song = OverlappingNotesSong("overlapping.mid", 2);
    const ProgramResult result = RunAuhost({"play", song}, {"PLENKO_LOG=off"});
    ASSERT_EQ(result.mExitStatus, 0) << result.mErr;

    const Summary summary = SummaryOf(result.mOut);
    const int notes = 2 * 10 * 2;
    const int closing = 4;
    EXPECT_EQ(summary.mSent, notes + closing) << result.mOut;
    EXPECT_EQ(summary.mReceived, summary.mSent) << result.mOut;
    EXPECT_GE(summary.mMedian, -1.0) << result.mOut; // a figure was printed
    EXPECT_GE(summary.mLargest, summary.mMedian) << result.mOut;
    // One line per arrival, with its lateness; no progress line when output is no terminal.
    size_t lines = 0, withLateness = 0;
    for (size_t at = result.mOut.find("monitor "); at != std::string::npos;
         at = result.mOut.find("\nmonitor ", at + 1)) {
        ++lines;
        withLateness += result.mOut.find("(late ", at) < result.mOut.find('\n', at + 1);
    }
    EXPECT_EQ(lines, size_t(summary.mReceived));
    EXPECT_EQ(withLateness, lines);
    EXPECT_NE(result.mOut.find("  note on 48 velocity 100 channel 1  (late "), std::string::npos)
        << result.mOut;
    EXPECT_EQ(result.mOut.find('\r'), std::string::npos);
    fs::remove(song);
}

// The last line of what a program printed.
std::string LastLine(const std::string& out)
{
    const size_t end = out.size() > 0 && out.back() == '\n' ? out.size() - 1 : out.size();
    const size_t start = out.rfind('\n', end == 0 ? 0 : end - 1);
    return out.substr(start == std::string::npos ? 0 : start + 1, end - (start + 1));
}

TEST(AuhostPlay, AStopSignalEndsPlayWithEveryNoteAndPedalReleased)
{
    // The overlapping notes, with the sustain pedal down on channel 1 and the soft pedal on 2.
    MIDIFileWriter writer = MIDIFileWriter::ForRecording();
    const Byte sustain[] = {0xB0, 64, 127}, soft[] = {0xB1, 67, 100};
    writer.AddMessage(0, 0, sustain, 3);
    writer.AddMessage(0, 0, soft, 3);
    const MIDISequence notes =
        MIDIFileReader::ReadFile(OverlappingNotesSong("notes.mid", 30), kRate);
    for (const MIDIFileEvent& event : notes.mEvents) {
        if (event.IsChannelMessage()) {
            const Byte bytes[] = {event.mStatus, event.mData1, event.mData2};
            writer.AddMessage(0, MIDIFileWriter::RecordingTick(event.mSample * 1000000000 / kRate),
                              bytes, 3);
        }
    }
    const std::string song = WriteTemporaryFile("pedalled.mid", writer.Bytes());
    const std::string recording = TemporaryPath("stopped.mid");
    // A second signal (as timeout sends one) comes while play is stopping.
    const std::vector<int> signalSets[] = {
        {SIGINT}, {SIGTERM}, {SIGHUP}, {SIGINT, SIGINT}, {SIGTERM, SIGINT}};
    for (const std::vector<int>& signals : signalSets) {
        SCOPED_TRACE(::testing::Message()
                     << "signals " << signals.front() << " of " << signals.size());
        ChildProcess auhost(
            {"env", kBuildBundles, AUHOST_PATH, "play", song, "--record", recording});
        ASSERT_TRUE(auhost.Started());
        // Stopped once notes sound: after the fifth has arrived.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (auhost.Output().find("note on 52") == std::string::npos &&
               std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        for (size_t i = 0; i + 1 < signals.size(); ++i) {
            auhost.Signal(signals[i]);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const std::string out = auhost.Stop(signals.back());
        EXPECT_EQ(auhost.ExitStatus(), 128 + signals.front()) << out;
        EXPECT_EQ(LastLine(out).substr(0, 9), "summary: ") << out;

        std::map<std::pair<int, int>, int> sounding; // channel and key: note ons less note offs
        const std::vector<TimedMessage> recorded = RecordedMessages(recording);
        ASSERT_GE(recorded.size(), 10u);
        for (const TimedMessage& message : recorded) {
            const std::vector<uint8_t> bytes = BytesFromHexText(message.mBytes);
            const int type = bytes[0] & 0xF0, channel = bytes[0] & 0x0F;
            if (type == 0x90 && bytes[2] != 0) {
                ++sounding[{channel, bytes[1]}];
            } else if (type == 0x80 || type == 0x90) {
                --sounding[{channel, bytes[1]}];
            }
        }
        for (const auto& [note, count] : sounding) {
            EXPECT_EQ(count, 0) << "channel " << note.first + 1 << " key " << note.second;
        }
        // After the note offs, the pedals let up, then all notes off on every channel used.
        const size_t n = recorded.size();
        const std::vector<std::string> tail = {"B0 40 00", "B1 43 00", "B0 7B 00",
                                               "B1 7B 00", "B2 7B 00", "B3 7B 00"};
        for (size_t i = 0; i < tail.size(); ++i) {
            EXPECT_EQ(recorded[n - tail.size() + i].mBytes, tail[i]);
        }
        EXPECT_EQ(recorded[n - tail.size() - 1].mBytes.substr(0, 1), "8"); // a note off
        EXPECT_LT(recorded.back().mSeconds, 25.0); // stopped, not played to the end
    }
    fs::remove(recording);
    fs::remove(song);
}

TEST(AuhostPlay, OfflinePlayOfALongSongRecordsEveryEventAtItsTime)
{
    // 40 minutes: longer than 32-bit microseconds reach. A note a second on four channels.
    MIDIFileWriter writer = MIDIFileWriter::ForRecording();
    constexpr UInt64 kSeconds = 40 * 60;
    for (UInt64 second = 0; second < kSeconds; ++second) {
        const Byte on[] = {Byte(0x90 | second % 4), Byte(40 + second % 50), 80};
        const Byte off[] = {Byte(0x80 | second % 4), Byte(40 + second % 50), 0};
        writer.AddMessage(0, MIDIFileWriter::RecordingTick(second * 1000000000), on, 3);
        writer.AddMessage(0, MIDIFileWriter::RecordingTick(second * 1000000000 + 500000000), off,
                          3);
    }
    const std::string song = WriteTemporaryFile("forty-minutes.mid", writer.Bytes());
    const std::string recording = TemporaryPath("forty-minutes-recorded.mid");
    const ProgramResult result =
        RunAuhost({"play", song, "--offline", "--quiet", "--record", recording});
    ASSERT_EQ(result.mExitStatus, 0) << result.mOut << result.mErr;

    const std::vector<TimedMessage> played = SongMessages(song, 0);
    const std::vector<TimedMessage> recorded = RecordedMessages(recording);
    ASSERT_EQ(recorded.size(), played.size() + 4);
    for (size_t i = 0; i < played.size(); ++i) {
        ASSERT_EQ(recorded[i].mBytes, played[i].mBytes) << "message " << i;
        ASSERT_NEAR(recorded[i].mSeconds, played[i].mSeconds, 0.001) << "message " << i;
    }
    EXPECT_EQ(recorded.back().mBytes, "B3 7B 00");
    EXPECT_GE(recorded.back().mSeconds, double(kSeconds) - 1);
    const Summary summary = SummaryOf(result.mOut);
    EXPECT_EQ(summary.mSent, int(recorded.size())) << result.mOut;
    EXPECT_EQ(summary.mReceived, summary.mSent) << result.mOut;
    fs::remove(recording);
    fs::remove(song);
}

TEST(AuhostPlay, ANegativeOffsetDeliversEveryEventEarlierByIt)
{
    const std::string song = OverlappingNotesSong("early.mid", 2);
    const std::string recording = TemporaryPath("early-recorded.mid");
    const ProgramResult result =
        RunAuhost({"play", song, "--offset-ms", "-300", "--quiet", "--record", recording});
    ASSERT_EQ(result.mExitStatus, 0) << result.mOut << result.mErr;
    // Lateness counts against each stamp moved 300 ms earlier: rendered that much ahead, every
    // event can arrive at its moved stamp.
    const Summary summary = SummaryOf(result.mOut);
    EXPECT_EQ(summary.mReceived, summary.mSent) << result.mOut;
    EXPECT_GE(summary.mLargest, 0.0) << result.mOut;
    EXPECT_LT(summary.mLargest, 100.0) << result.mOut;
    // The recording keeps the song's times: the stamps, from the song's start.
    const std::vector<TimedMessage> played = SongMessages(song, 0);
    const std::vector<TimedMessage> recorded = RecordedMessages(recording);
    ASSERT_EQ(recorded.size(), played.size() + 4);
    for (size_t i = 0; i < played.size(); ++i) {
        EXPECT_NEAR(recorded[i].mSeconds, played[i].mSeconds, 0.001) << "message " << i;
    }
    fs::remove(recording);
    fs::remove(song);
}

TEST(AuhostPlay, SaysWhatItDoesNotSendAndShowsTheUnitsLogOnlyWhenAsked)
{
    const std::string sysEx = WriteTemporaryFile(
        "sysex.mid",
        ReadHexFile(std::string(MIDI_CORPUS_DIR) + "/valid/sysex-and-meta.hex").mBytes);
    const ProgramResult skipped = RunAuhost({"play", sysEx, "--offline"});
    EXPECT_EQ(skipped.mExitStatus, 0) << skipped.mErr;
    EXPECT_NE(LastLine(skipped.mOut)
                  .find(", 4 SysEx events not sent (the unit does not forward "
                        "SysEx)"),
              std::string::npos)
        << skipped.mOut;

    const std::string song = DEMO_SONG_PATH;
    const ProgramResult plain = RunAuhost({"play", song, "--offline"});
    const ProgramResult logged = RunAuhost({"play", song, "--offline", "--unit-log"});
    for (const ProgramResult* result : {&plain, &logged}) {
        EXPECT_EQ(result->mExitStatus, 0) << result->mErr;
        EXPECT_EQ(LastLine(result->mOut).substr(0, 9), "summary: ") << result->mOut;
        EXPECT_NE(result->mOut.find("monitor "), std::string::npos);
    }
    EXPECT_EQ(plain.mOut.find("PlenkoOut::"), std::string::npos) << plain.mOut;
    EXPECT_NE(logged.mOut.find("PlenkoOut::FireAtTimeStamp: "), std::string::npos);
    EXPECT_NE(logged.mOut.find("AddMIDIEvent: "), std::string::npos);
    fs::remove(sysEx);
}

TEST(AuhostPreset, SavedPresetIsReadByPlistlibAndShown)
{
    const std::string preset = TemporaryPath("Warm Pad.aupreset");
    const ProgramResult saved =
        RunAuhost({"preset", "save", preset, "--set", "1=5", "--set", "2=13"}, {"PLENKO_LOG=off"});
    ASSERT_EQ(saved.mExitStatus, 0) << saved.mErr;

    const std::string script = "import plistlib, struct\n"
                               "p = plistlib.load(open('" +
                               preset +
                               "', 'rb'))\n"
                               "print(sorted(p))\n"
                               "print(p['version'], hex(p['type']), hex(p['subtype']),\n"
                               "      hex(p['manufacturer']), p['name'].split('-', 1)[1])\n"
                               "print(struct.unpack('>III' + 'If' * 5, p['data']))\n";
    const ProgramResult read = RunProgram({"python3", "-c", script});
    ASSERT_EQ(read.mExitStatus, 0) << read.mErr;
    EXPECT_EQ(read.mOut, "['data', 'manufacturer', 'name', 'subtype', 'type', 'version']\n"
                         "0 0x61756d75 0x506f7574 0x506c6e6b Warm Pad\n"
                         "(0, 0, 5, 0, 0.0, 1, 5.0, 2, 13.0, 3, 0.0, 4, 0.0)\n");

    const ProgramResult shown = RunAuhost({"preset", "show", preset});
    EXPECT_EQ(shown.mExitStatus, 0) << shown.mErr;
    EXPECT_EQ(shown.mOut.substr(shown.mOut.find("global")),
              "global 0  parameter 0 = 0\nglobal 0  parameter 1 = 5\nglobal 0  parameter 2 = 13\n"
              "global 0  parameter 3 = 0\nglobal 0  parameter 4 = 0\n");
    EXPECT_EQ(shown.mOut.substr(0, 27), "unit  'aumu' 'Pout' 'Plnk'\n");
    fs::remove(preset);
}

} // namespace
