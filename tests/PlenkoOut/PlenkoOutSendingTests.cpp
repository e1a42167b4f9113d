// Capture and timed sending as a destination sees it: the bytes of each kind of message, stamps
// against the host clock, lists split past 512 bytes, and the log lines of queueing and sending.
#include "PlenkoOutUnit.h"

#include <CoreAudio/HostTime.h>
#include <CoreFoundation/CFString.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace {

// Host-clock ticks of a sample time at 44.1 kHz, whole ticks as the unit truncates them.
UInt64 Ticks(Float64 samples)
{
    return UInt64(samples * (AudioGetHostClockFrequency() / 44100.0));
}

// A render call at `sampleTime` with one note queued at offset 0: the host times around the call
// and the note's stamp, the `count`th packet to arrive.
struct StampedRender {
    UInt64 before, stamp, after;
};

StampedRender RenderOneNote(PlenkoOutRig& rig, Float64 sampleTime, size_t count)
{
    rig.Unit().MIDI(0x90, 60, 100);
    StampedRender result{AudioGetCurrentHostTime(), 0, 0};
    rig.Unit().Render(512, sampleTime);
    result.after = AudioGetCurrentHostTime();
    const auto received = rig.Destination(0).WaitFor(count);
    EXPECT_EQ(received.size(), count);
    result.stamp = received.empty() ? 0 : received.back().stamp;
    return result;
}

} // namespace

// A fixed TX channel (1 to 16) replaces the channel of channel messages; program change and
// channel pressure take 2 bytes, the others 3. System messages go out whole with their own
// status byte; those that cannot arrive whole as one event, bytes with no status bit and
// messages with a data byte that has the status bit are dropped.
TEST(PlenkoOutSending, EachMessageGoesOutWithItsLengthAndChannel)
{
    struct Case {
        Float32 txChannel;
        Bytes in, out; // out empty: dropped
    };
    const Case cases[] = {
        {0, {0x92, 60, 100}, {0x92, 60, 100}},
        {10, {0x92, 60, 100}, {0x99, 60, 100}},
        {1, {0xC5, 5, 9}, {0xC0, 5}},
        {0, {0xD3, 7, 9}, {0xD3, 7}},
        {3, {0xB0, 7, 100}, {0xB2, 7, 100}},
        {0, {0xE1, 0, 64}, {0xE1, 0, 64}},
        {0, {0xA4, 60, 30}, {0xA4, 60, 30}},
        {17, {0x85, 60, 0}, {0x85, 60, 0}},
        {5, {0xF8, 1, 2}, {0xF8}},
        {5, {0xFF, 0, 0}, {0xFF}},
        {5, {0xF2, 5, 6}, {0xF2, 5, 6}},
        {5, {0xF1, 0x23, 9}, {0xF1, 0x23}},
        {5, {0xF3, 4, 9}, {0xF3, 4}},
        {5, {0xF6, 1, 1}, {0xF6}},
        {5, {0xF0, 1, 2}, {}},
        {5, {0xF7, 1, 2}, {}},
        {5, {0xF4, 1, 2}, {}},
        {5, {0xF5, 1, 2}, {}},
        {0, {0x3C, 1, 2}, {}},
        {0, {0x92, 0xBC, 100}, {}},
        {0, {0xA7, 60, 0xF4}, {}},
        {0, {0xC5, 0x85, 9}, {}},
        {0, {0xC5, 5, 0x89}, {0xC5, 5}},
        {5, {0xF2, 5, 0x86}, {}},
        {5, {0xF8, 0x81, 0x82}, {0xF8}},
    };
    PlenkoOutRig rig(1);
    rig.Choose(0);
    std::vector<Bytes> expected;
    for (const Case& c : cases) {
        rig.Unit().SetParameter(kTXChannel, c.txChannel);
        const std::string text = StdoutOf([&] {
            rig.Unit().MIDI(c.in[0], c.in[1], c.in[2]);
            rig.Unit().Render();
        });
        // A message that is dropped is not even queued.
        EXPECT_EQ(text.find("AddMIDIEvent") != std::string::npos, !c.out.empty()) << text;
        if (!c.out.empty())
            expected.push_back(c.out);
    }
    EXPECT_EQ(BytesOf(rig.Destination(0).Settled()), expected);
}

// The first render call ties its sample time to the host time; a message 44 100 samples later
// at 44.1 kHz is one second (10^9 ticks, less the truncation) later, whatever the slice it is
// queued for. Reset ties them anew.
TEST(PlenkoOutSending, StampsFollowTheAnchoredSampleClock)
{
    PlenkoOutRig rig(1);
    rig.Choose(0);
    const StampedRender first = RenderOneNote(rig, 1000, 1);
    EXPECT_GE(first.stamp + 1, first.before);
    EXPECT_LE(first.stamp, first.after);
    const StampedRender second = RenderOneNote(rig, 1000 + 44100, 2);
    EXPECT_EQ(second.stamp - first.stamp, Ticks(45100) - Ticks(1000));
    EXPECT_NEAR(double(second.stamp - first.stamp), 1e9, 1);
    rig.Unit().MIDI(0x90, 60, 100, 44100);
    rig.Unit().Render(512, 1000);
    EXPECT_EQ(rig.Destination(0).WaitFor(3).back().stamp, second.stamp);

    rig.Unit().Reset();
    const StampedRender again = RenderOneNote(rig, 5000, 4);
    EXPECT_GE(again.stamp + 1, again.before);
    EXPECT_LE(again.stamp, again.after);
}

// A host that gives the host time of each slice's first frame has every message stamped from it:
// that host time plus the message's offset at the sample rate, in whole ticks added to the
// host's own count, whatever the sample time or the clock anchored at the first render call.
// A slice without a host time goes back to the anchored clock; a send from the host thread
// stamps against the most recent slice's host time.
TEST(PlenkoOutSending, ValidHostTimeStampsEachMessageFromIt)
{
    const UInt64 now = AudioGetCurrentHostTime();
    struct Case {
        Float64 sampleTime;
        UInt64 hostTime;
        UInt32 offset;
        UInt64 stamp;
    };
    const Case cases[] = {
        {0, now, 0, now},
        {1000, now + 5000, 441, now + 5000 + 10000000},
        // Far from the anchored clock: the host time decides, not the sample time.
        {1e9, now + 7, 1, now + 7 + 22675},
        {2048, now + 60000000000, 44100, now + 61000000000},
    };
    PlenkoOutRig rig(1);
    rig.Choose(0);
    size_t count = 0;
    for (const Case& c : cases) {
        rig.Unit().MIDI(0x90, 60, 100, c.offset);
        ASSERT_EQ(rig.Unit().RenderAtHostTime(512, c.sampleTime, c.hostTime), noErr);
        const auto received = rig.Destination(0).WaitFor(++count);
        ASSERT_EQ(received.size(), count);
        EXPECT_EQ(received.back().stamp, c.stamp) << c.sampleTime;
    }

    const Float64 seconds = 0.001;
    const UInt64 last = now + 123456789;
    ASSERT_EQ(rig.Unit().RenderAtHostTime(512, 9000, last), noErr);
    rig.Unit().MIDI(0x90, 61, 100, 44);
    // The unit sends at once, whatever the base answers for the property itself.
    rig.Unit().SetProperty(kAudioUnitProperty_PresentationLatency, kAudioUnitScope_Output, &seconds,
                           sizeof seconds);
    EXPECT_EQ(rig.Destination(0).WaitFor(++count).back().stamp, last + Ticks(44));

    const UInt64 before = AudioGetCurrentHostTime();
    const StampedRender anchored = RenderOneNote(rig, 0, ++count);
    // The clock anchored sample time 0 at the first render call, after `now`.
    EXPECT_GE(anchored.stamp, now);
    EXPECT_LT(anchored.stamp, before);
}

// A host whose sample time, in ticks, is ahead of the host clock: the anchor lies before time 0
// and still gives the right stamps; a stamp that would fall before time 0 means at once.
TEST(PlenkoOutSending, SampleTimeAheadOfTheHostClockStillStampsRight)
{
    PlenkoOutRig rig(1);
    rig.Choose(0);
    const Float64 ahead = std::floor(2.0 * Float64(AudioGetCurrentHostTime()) /
                                     (AudioGetHostClockFrequency() / 44100.0));
    const StampedRender anchored = RenderOneNote(rig, ahead, 1);
    EXPECT_GE(anchored.stamp + 1, anchored.before);
    EXPECT_LE(anchored.stamp, anchored.after);
    EXPECT_NEAR(double(RenderOneNote(rig, ahead + 44100, 2).stamp - anchored.stamp), 1e9, 2);
    EXPECT_EQ(RenderOneNote(rig, 0, 3).stamp, 0u);
}

TEST(PlenkoOutSending, LogsEachQueuedAndSentMessage)
{
    const std::pair<Bytes, const char*> cases[] = {
        {{0x83, 60, 64}, "[03] NoteOff key = 060, velo = 064"},
        {{0x90, 60, 100}, "[00] NoteOn key = 060, velo = 100"},
        {{0xC1, 5, 0}, "[01] PRG CHANGE 5"},
        {{0xD2, 7, 0}, "[02] CH AFTER TOUCH D0, 7"},
        {{0xB4, 7, 100}, "[04] B0, 7 100"},
        {{0xF8, 0, 0}, "[08] F0, 0 0"}};
    PlenkoOutRig rig(1);
    rig.Choose(0);
    rig.Unit().Render(512, 0);
    for (const auto& [in, queued] : cases) {
        const Float64 sample = rig.Unit().NextSampleTime() + 100;
        const std::string text = StdoutOf([&, &in = in] {
            rig.Unit().MIDI(in[0], in[1], in[2], 100);
            rig.Unit().Render();
        });
        EXPECT_EQ(WithoutTimes(text), std::string("AddMIDIEvent: <time>, 100 ") + queued +
                                          "\nPlenkoOut::FireAtTimeStamp: <time> 1/1: " +
                                          std::to_string(int(sample)) + "\n");
    }
    EXPECT_EQ(StdoutOf([&] { rig.Unit().Render(); }), "") << "an empty queue logs nothing";
}

// More than a 512-byte list holds: the lists go out one after another, each starting with the
// message the last one could not take, which was logged at the next position before its list
// went out; positions restart at 1 with the count that remains.
TEST(PlenkoOutSending, LongQueuesGoOutInSeveralListsInOrder)
{
    constexpr int kMessages = 100;
    PlenkoOutRig rig(1);
    rig.Choose(0);
    rig.Unit().Render(512, 0);
    std::vector<Bytes> expected;
    const std::string text = StdoutOf([&] {
        for (int i = 0; i < kMessages; ++i) {
            // Distinct offsets, so each message is a packet of its own.
            rig.Unit().MIDI(0x90, i, 1, i);
            expected.push_back({0x90, Byte(i), 1});
        }
        rig.Unit().Render(512, 512);
    });
    EXPECT_EQ(BytesOf(rig.Destination(0).WaitFor(kMessages)), expected);

    std::vector<std::string> lines; // position/remaining: sample
    const std::string sent = "PlenkoOut::FireAtTimeStamp: <time> ";
    std::istringstream stream(WithoutTimes(text));
    for (std::string line; std::getline(stream, line);) {
        if (line.rfind(sent, 0) == 0)
            lines.push_back(line.substr(sent.size()));
    }
    ASSERT_GT(lines.size(), 1u);
    // The line before the first restart is that of the message the first list could not take.
    const auto restart = std::find_if(lines.begin() + 1, lines.end(),
                                      [](const std::string& l) { return l.rfind("1/", 0) == 0; });
    const int perList = int(restart - lines.begin()) - 1;
    ASSERT_GE(perList, 2);
    std::vector<std::string> model;
    for (int first = 0; first < kMessages; first += perList) {
        for (int n = 0; n < std::min(kMessages - first, perList + 1); ++n)
            model.push_back(std::to_string(n + 1) + "/" + std::to_string(kMessages - first) + ": " +
                            std::to_string(512 + first + n));
    }
    EXPECT_EQ(lines, model);
    EXPECT_EQ(text.find("MIDISend failed"), std::string::npos);
}

// Messages wait for a destination that has since been cleared: the send looks for one, finds
// none, hands the list over anyway, logs the refusal and empties the queue.
TEST(PlenkoOutSending, QueueWithoutADestinationIsLoggedAndEmptied)
{
    PlenkoOutRig rig(1);
    rig.Choose(0);
    rig.Unit().MIDI(0x90, 60, 100);
    rig.Unit().SetParameter(kTXDevice, 0);
    const std::string text = StdoutOf([&] {
        rig.Unit().Render(512, 0);
        rig.Unit().Render();
    });
    // The status logged is the one MIDISend gives for no destination.
    MIDIClientRef client = 0;
    MIDIPortRef port = 0;
    MIDIClientCreate(CFSTR("Test"), nullptr, nullptr, &client);
    MIDIOutputPortCreate(client, CFSTR("Test Output"), &port);
    MIDIPacketList list{};
    MIDIPacketListAdd(&list, sizeof list, MIDIPacketListInit(&list), 0, 3,
                      Bytes{0x90, 1, 1}.data());
    const OSStatus refused = MIDISend(port, 0, &list);
    MIDIClientDispose(client);
    EXPECT_EQ(WithoutTimes(text), "PlenkoOut::Render( INIT ): [00] <time>, 0.000000, 512\n"
                                  "PlenkoOut::FireAtTimeStamp: endPortRef == 0: initialize port.\n"
                                  "PlenkoOut::updateDestinationPort(): start...NO MIDI "
                                  "DESTINATION PORT SET. done.\n"
                                  "PlenkoOut::FireAtTimeStamp: <time> 1/1: 0\nMIDISend failed: " +
                                      std::to_string(refused));
    EXPECT_TRUE(rig.Destination(0).Settled().empty());
}
