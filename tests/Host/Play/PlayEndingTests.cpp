// How a play ends, in-process: the messages that silence what the song left sounding, and the
// summary line and exit status that say what became of every message.
#include "HexBytes.h"
#include "Play/PlaySummary.h"
#include "Play/SoundingState.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

namespace {

// The silencing messages after the messages given, as "80 3C 00" texts.
std::vector<std::string> SilenceAfter(const std::vector<std::vector<Byte>>& sent)
{
    SoundingState state;
    for (const std::vector<Byte>& message : sent) {
        state.Track(message[0], message[1], message.size() > 2 ? message[2] : 0);
    }
    std::vector<std::string> silence;
    state.Silence([&](Byte status, Byte data1, Byte data2) {
        const Byte bytes[] = {status, data1, data2};
        silence.push_back(HexText(bytes, 3));
    });
    return silence;
}

TEST(SoundingState, SilencesNotesThenPedalsThenEveryChannelUsed)
{
    struct Case {
        const char* mWhat;
        std::vector<std::vector<Byte>> mSent;
        std::vector<std::string> mSilence;
    };
    const Case cases[] = {
        {"nothing sent", {}, {}},
        {"a note released", {{0x90, 60, 100}, {0x80, 60, 0}}, {"B0 7B 00"}},
        {"a note on of velocity 0 releases", {{0x91, 60, 100}, {0x91, 60, 0}}, {"B1 7B 00"}},
        {"a key struck twice, released once",
         {{0x90, 60, 100}, {0x90, 60, 90}, {0x80, 60, 0}},
         {"80 3C 00", "B0 7B 00"}},
        {"notes, then the sustain pedal on the channel where it is down",
         {{0x92, 64, 100}, {0x93, 48, 100}, {0xB3, 64, 127}, {0xB2, 7, 100}},
         {"82 40 00", "83 30 00", "B3 40 00", "B2 7B 00", "B3 7B 00"}},
        {"all three pedals, in the order of their controllers",
         {{0xB5, 67, 64}, {0xB5, 64, 100}, {0xB5, 66, 127}},
         {"B5 40 00", "B5 42 00", "B5 43 00", "B5 7B 00"}},
        {"a pedal let up, or held below the middle, needs no release",
         {{0xB0, 64, 127}, {0xB0, 64, 0}, {0xB1, 66, 63}},
         {"B0 7B 00", "B1 7B 00"}},
        {"other controllers and messages only mark the channel used",
         {{0xB9, 65, 127}, {0xCF, 5}, {0xE4, 0, 64}},
         {"B4 7B 00", "B9 7B 00", "BF 7B 00"}},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(SilenceAfter(test.mSent), test.mSilence) << test.mWhat;
    }
}

TEST(SoundingState, IsSilentAfterSilencing)
{
    SoundingState state;
    state.Track(0x90, 60, 100);
    state.Track(0xB0, 64, 127);
    state.Silence([](Byte, Byte, Byte) {});
    std::vector<Byte> again;
    state.Silence([&](Byte status, Byte data1, Byte) {
        again.push_back(status);
        again.push_back(data1);
    });
    // Only the channel's all notes off again: no note and no pedal is left.
    EXPECT_EQ(again, (std::vector<Byte>{0xB0, 123}));
}

PlayOutcome Delivered(UInt64 sent)
{
    PlayOutcome outcome;
    outcome.mSent = sent;
    outcome.mCounts.mDelivered = sent;
    outcome.mMedianLateness = 21000;
    outcome.mLargestLateness = 197000;
    outcome.mRealTime = true;
    return outcome;
}

TEST(PlaySummary, SaysWhatWasDeliveredAndWhyTheRestWasNot)
{
    struct Case {
        const char* mWhat;
        PlayOutcome mOutcome;
        std::string mLine;
        int mStatus;
    };
    std::vector<Case> cases;
    cases.push_back({"all received at the monitor", Delivered(306),
                     "summary: 306 events sent, 306 received at the monitor, lateness median "
                     "0.021 ms, largest 0.197 ms, ran real-time",
                     0});
    PlayOutcome jack = Delivered(306);
    jack.mToMonitor = false;
    jack.mDestination = "2 \"synth: in\"";
    jack.mCounts = {200, 6, 96, 4};
    jack.mRealTime = false;
    cases.push_back({"losses at a destination of the system", jack,
                     "summary: 306 events sent to 2 \"synth: in\", 200 delivered, 106 not "
                     "delivered (6 refused for want of room, 96 sent while the destination was "
                     "gone, 4 dropped by the MIDI services), ran at normal priority (real-time "
                     "scheduling refused)",
                     1});
    PlayOutcome monitor = Delivered(306);
    monitor.mOffline = true;
    monitor.mCounts.mDelivered = 300;
    monitor.mLostAtMonitor = 2;
    monitor.mSysExEvents = 3;
    cases.push_back({"offline, lost at the monitor, never counted, SysEx in the file", monitor,
                     "summary: 306 events sent, 298 received at the monitor, 8 not delivered (2 "
                     "lost at the monitor, its buffer full, 6 not accounted for when auhost "
                     "stopped waiting), lateness not measured offline, 3 SysEx events not sent "
                     "(the unit does not forward SysEx), ran at normal priority (offline)",
                     1});
    PlayOutcome sysEx = Delivered(10);
    sysEx.mSysExEvents = 1;
    sysEx.mMedianLateness.reset();
    sysEx.mLargestLateness.reset();
    cases.push_back({"SysEx not sent is no loss", sysEx,
                     "summary: 10 events sent, 10 received at the monitor, no lateness to "
                     "measure, 1 SysEx events not sent (the unit does not forward SysEx), ran "
                     "real-time",
                     0});
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        PlayOutcome stopped = Delivered(4);
        stopped.mSignal = signal;
        stopped.mCounts.mDelivered = 3;
        cases.push_back({"a signal's status wins over a loss", stopped, "", 128 + signal});
    }
    PlayOutcome unwritten = Delivered(4);
    unwritten.mRecordingProblem = "out.mid: cannot write: No space left on device";
    unwritten.mFailedRenders = 2;
    cases.push_back({"the recording not written", unwritten,
                     "summary: 4 events sent, 4 received at the monitor, lateness median 0.021 "
                     "ms, largest 0.197 ms, 2 render calls failed, recording not written: "
                     "out.mid: cannot write: No space left on device, ran real-time",
                     1});
    for (const Case& test : cases) {
        SCOPED_TRACE(test.mWhat);
        if (!test.mLine.empty()) {
            EXPECT_EQ(SummaryLine(test.mOutcome), test.mLine);
        }
        EXPECT_EQ(PlayExitStatus(test.mOutcome), test.mStatus);
    }
    PlayOutcome stopped = Delivered(4);
    stopped.mSignal = SIGTERM;
    EXPECT_NE(SummaryLine(stopped).find(", stopped by SIGTERM, ran real-time"), std::string::npos)
        << SummaryLine(stopped);
}

} // namespace
