// Capture and timed sending as a destination sees it: the bytes of each kind of message, the
// channel rewrite, stamps against the host clock, lists split past 512 bytes, and the log lines
// of queueing and sending.
#include "PlenkoOutUnit.h"

#include <CoreAudio/HostTime.h>

#include <gtest/gtest.h>

#include <cmath>
#include <regex>

namespace {

using Bytes = std::vector<Byte>;

// Host-clock ticks of a sample time at 44.1 kHz, whole ticks as the unit truncates them.
UInt64 Ticks(Float64 samples)
{
    return UInt64(samples * (AudioGetHostClockFrequency() / 44100.0));
}

// One render anchoring at `sampleTime` with one note queued at offset 0: its stamp and the host
// times around the render call.
struct Anchoring {
    UInt64 before, stamp, after;
};

Anchoring RenderOneNote(PlenkoOutRig& rig, Float64 sampleTime, size_t expectedSoFar)
{
    rig.Unit().MIDI(0x90, 60, 100);
    Anchoring result{};
    result.before = AudioGetCurrentHostTime();
    EXPECT_EQ(rig.Unit().Render(512, sampleTime), noErr);
    result.after = AudioGetCurrentHostTime();
    const auto received = rig.Destination(0).WaitFor(expectedSoFar);
    EXPECT_EQ(received.size(), expectedSoFar);
    result.stamp = received.empty() ? 0 : received.back().stamp;
    return result;
}

} // namespace

TEST(PlenkoOutSending, ChannelMessagesKeepOrChangeTheirChannel)
{
    struct Case {
        Float32 txChannel;
        Bytes in;
        Bytes out;
    };
    const Case cases[] = {
        {0, {0x92, 60, 100}, {0x92, 60, 100}},  {10, {0x92, 60, 100}, {0x99, 60, 100}},
        {16, {0x8F, 1, 2}, {0x8F, 1, 2}},       {1, {0xC5, 5, 9}, {0xC0, 5}},
        {0, {0xD3, 7, 9}, {0xD3, 7}},           {3, {0xB0, 7, 100}, {0xB2, 7, 100}},
        {0, {0xE1, 0, 64}, {0xE1, 0, 64}},      {0, {0xA4, 60, 30}, {0xA4, 60, 30}},
        {17, {0x95, 60, 100}, {0x95, 60, 100}},
    };
    PlenkoOutRig rig(1);
    ASSERT_EQ(rig.Choose(0), noErr);
    std::vector<Bytes> expected;
    for (const Case& c : cases) {
        ASSERT_EQ(rig.Unit().SetParameter(kTXChannel, c.txChannel), noErr);
        ASSERT_EQ(rig.Unit().MIDI(c.in[0], c.in[1], c.in[2]), noErr);
        ASSERT_EQ(rig.Unit().Render(), noErr);
        expected.push_back(c.out);
    }
    EXPECT_EQ(BytesOf(rig.Destination(0).WaitFor(expected.size())), expected);
}

// A system message goes out whole with its own status byte, whatever "TX Channel" says; those
// that cannot arrive whole as one event, and bytes without a status bit, are not sent at all.
TEST(PlenkoOutSending, SystemMessagesGoOutWithTheirOwnLength)
{
    struct Case {
        Bytes in;
        Bytes out; // empty: dropped
    };
    const Case cases[] = {
        {{0xF8, 1, 2}, {0xF8}},    {{0xFA, 0, 0}, {0xFA}},       {{0xFE, 0, 0}, {0xFE}},
        {{0xFF, 0, 0}, {0xFF}},    {{0xF2, 5, 6}, {0xF2, 5, 6}}, {{0xF1, 0x23, 9}, {0xF1, 0x23}},
        {{0xF3, 4, 9}, {0xF3, 4}}, {{0xF6, 1, 1}, {0xF6}},       {{0xF0, 1, 2}, {}},
        {{0xF7, 1, 2}, {}},        {{0xF4, 1, 2}, {}},           {{0xF5, 1, 2}, {}},
        {{0x3C, 1, 2}, {}},
    };
    PlenkoOutRig rig(1);
    ASSERT_EQ(rig.Choose(0), noErr);
    ASSERT_EQ(rig.Unit().SetParameter(kTXChannel, 5), noErr);
    std::vector<Bytes> expected;
    for (const Case& c : cases) {
        ASSERT_EQ(rig.Unit().MIDI(c.in[0], c.in[1], c.in[2]), noErr);
        ASSERT_EQ(rig.Unit().Render(), noErr);
        if (!c.out.empty())
            expected.push_back(c.out);
    }
    EXPECT_EQ(BytesOf(rig.Destination(0).Settled()), expected);
}

// The first render call ties its sample time to the host time; a message 44 100 samples later
// at 44.1 kHz is one second (10^9 ticks, less the truncation) later. Reset ties them anew.
TEST(PlenkoOutSending, StampsFollowTheAnchoredSampleClock)
{
    PlenkoOutRig rig(1);
    ASSERT_EQ(rig.Choose(0), noErr);
    const Anchoring first = RenderOneNote(rig, 1000, 1);
    EXPECT_GE(first.stamp + 1, first.before);
    EXPECT_LE(first.stamp, first.after);

    const Anchoring second = RenderOneNote(rig, 1000 + 44100, 2);
    EXPECT_EQ(second.stamp - first.stamp, Ticks(45100) - Ticks(1000));
    EXPECT_NEAR(double(second.stamp - first.stamp), 1e9, 1);

    rig.Unit().MIDI(0x90, 60, 100, 44100);
    ASSERT_EQ(rig.Unit().Render(512, 1000), noErr);
    EXPECT_EQ(rig.Destination(0).WaitFor(3).back().stamp, second.stamp);

    ASSERT_EQ(rig.Unit().Reset(), noErr);
    const Anchoring reanchored = RenderOneNote(rig, 5000, 4);
    EXPECT_GE(reanchored.stamp + 1, reanchored.before);
    EXPECT_LE(reanchored.stamp, reanchored.after);
}

// A host whose sample time, in ticks, is ahead of the host clock: the anchor lies before time 0
// and still gives the right stamps; a stamp that would fall before time 0 means at once.
TEST(PlenkoOutSending, SampleTimeAheadOfTheHostClockStillStampsRight)
{
    PlenkoOutRig rig(1);
    ASSERT_EQ(rig.Choose(0), noErr);
    const Float64 ahead = std::floor(2.0 * Float64(AudioGetCurrentHostTime()) /
                                     (AudioGetHostClockFrequency() / 44100.0));
    const Anchoring anchored = RenderOneNote(rig, ahead, 1);
    EXPECT_GE(anchored.stamp + 1, anchored.before);
    EXPECT_LE(anchored.stamp, anchored.after);

    const Anchoring later = RenderOneNote(rig, ahead + 44100, 2);
    EXPECT_NEAR(double(later.stamp - anchored.stamp), 1e9, 2);

    const Anchoring beforeZero = RenderOneNote(rig, 0, 3);
    EXPECT_EQ(beforeZero.stamp, 0u);
}

TEST(PlenkoOutSending, LogsEachQueuedAndSentMessage)
{
    struct Case {
        Bytes in;
        const char* queued;
        const char* sent;
    };
    const Case cases[] = {
        {{0x83, 60, 64}, "\\[03\\] NoteOff key = 060, velo = 064", "1/1: 612"},
        {{0x90, 60, 100}, "\\[00\\] NoteOn key = 060, velo = 100", "1/1: 1124"},
        {{0xC1, 5, 0}, "\\[01\\] PRG CHANGE 5", "1/1: 1636"},
        {{0xD2, 7, 0}, "\\[02\\] CH AFTER TOUCH D0, 7", "1/1: 2148"},
        {{0xB4, 7, 100}, "\\[04\\] B0, 7 100", "1/1: 2660"},
        {{0xF8, 0, 0}, "\\[08\\] F0, 0 0", "1/1: 3172"},
    };
    PlenkoOutRig rig(1);
    ASSERT_EQ(rig.Choose(0), noErr);
    ASSERT_EQ(rig.Unit().Render(512, 0), noErr);
    std::vector<std::string> texts;
    for (const Case& c : cases)
        texts.push_back(StdoutOf([&] {
            rig.Unit().MIDI(c.in[0], c.in[1], c.in[2], 100);
            rig.Unit().Render();
        }));
    texts.push_back(StdoutOf([&] { rig.Unit().Render(); }));
    const std::string time = "\\d+:\\d\\d:\\d\\d \\d+";
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_TRUE(std::regex_match(
            texts[i],
            std::regex("AddMIDIEvent: " + time + ", 100 " + cases[i].queued +
                       "\nPlenkoOut::FireAtTimeStamp: " + time + " " + cases[i].sent + "\n")))
            << texts[i];
    EXPECT_EQ(texts.back(), "") << "an empty queue logs nothing";
}

// More than a 512-byte list holds: the lists go out one after another, each starting with the
// first message the last one could not take, which was logged with the next position before its
// list went out; positions restart at 1 with the count that remains.
TEST(PlenkoOutSending, LongQueuesGoOutInSeveralListsInOrder)
{
    constexpr UInt32 kMessages = 100;
    PlenkoOutRig rig(1);
    ASSERT_EQ(rig.Choose(0), noErr);
    ASSERT_EQ(rig.Unit().Render(512, 0), noErr);
    std::vector<Bytes> expected;
    const std::string text = StdoutOf([&] {
        for (UInt32 i = 0; i < kMessages; ++i) {
            // Distinct offsets: a packet of its own for each message.
            rig.Unit().MIDI(0x90, i, 1, i);
            expected.push_back({0x90, Byte(i), 1});
        }
        rig.Unit().Render(512, 512);
    });
    EXPECT_EQ(BytesOf(rig.Destination(0).WaitFor(kMessages)), expected);

    struct Line {
        UInt32 position, remaining, sample;
        bool operator==(const Line& o) const
        {
            return position == o.position && remaining == o.remaining && sample == o.sample;
        }
    };
    std::vector<Line> lines;
    const std::regex line(
        "PlenkoOut::FireAtTimeStamp: \\d+:\\d\\d:\\d\\d \\d+ (\\d+)/(\\d+): (\\d+)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), line);
         it != std::sregex_iterator(); ++it)
        lines.push_back({UInt32(std::stoul((*it)[1])), UInt32(std::stoul((*it)[2])),
                         UInt32(std::stoul((*it)[3]))});
    ASSERT_FALSE(lines.empty());
    UInt32 perList = 0;
    while (perList + 1 < lines.size() && lines[perList + 1].position != 1)
        ++perList; // the line at index perList is the one that did not fit
    ASSERT_GE(perList, 2u);
    ASSERT_LT(perList, kMessages);

    std::vector<Line> model;
    for (UInt32 first = 0; first < kMessages; first += perList) {
        const UInt32 remaining = kMessages - first;
        const UInt32 logged = std::min(remaining, perList + 1);
        for (UInt32 n = 0; n < logged; ++n)
            model.push_back({n + 1, remaining, 512 + first + n});
    }
    EXPECT_EQ(lines, model);
    EXPECT_EQ(text.find("MIDISend failed"), std::string::npos);
}

// Messages wait for a destination that has since been cleared: the send looks for one, finds
// none, hands the list over anyway, logs the refusal and empties the queue.
TEST(PlenkoOutSending, QueueWithoutADestinationIsLoggedAndEmptied)
{
    PlenkoOutRig rig(1);
    ASSERT_EQ(rig.Choose(0), noErr);
    ASSERT_EQ(rig.Unit().MIDI(0x90, 60, 100), noErr);
    ASSERT_EQ(rig.Unit().SetParameter(kTXDevice, 0), noErr);
    const std::string text = StdoutOf([&] {
        rig.Unit().Render(512, 0);
        rig.Unit().Render();
    });
    const std::regex expected(
        "PlenkoOut::Render\\( INIT \\): \\[00\\] [^\n]+\n"
        "PlenkoOut::FireAtTimeStamp: endPortRef == 0: initialize port\\.\n"
        "PlenkoOut::updateDestinationPort\\(\\): start\\.\\.\\.NO MIDI DESTINATION PORT SET\\. "
        "done\\.\n"
        "PlenkoOut::FireAtTimeStamp: \\d+:\\d\\d:\\d\\d \\d+ 1/1: 0\n"
        "MIDISend failed: -?\\d+");
    EXPECT_TRUE(std::regex_match(text, expected)) << text;
    EXPECT_TRUE(rig.Destination(0).Settled().empty());
}
