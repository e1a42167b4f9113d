// The JACK backend against a running server: the destination list follows the server's ports,
// packets reach other programs at the frames their stamps name, and without a server the services
// start at once with their virtual destinations only.
#include "ChildProcess.h"
#include "JackCycleTiming.h"
#include "JackMidiDump.h"
#include "JackPeer.h"
#include "MIDIRecorder.h"
#include "OutputCapture.h"
#include "PrivateJackServer.h"
#include "Watchdog.h"

#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

constexpr UInt64 kMillis = 1000000;

std::string Unique(const std::string& name)
{
    return name + "-" + std::to_string(getpid());
}

} // namespace

class JackDestinations : public JackServerTest {};

TEST_F(JackDestinations, TheListFollowsTheServersPorts)
{
    MIDITestClient client;
    MIDIRecorder unrelated(client.Client(), "Unrelated");
    const MIDIPacketList note = OnePacket(0, {0x90, 60, 1});
    const std::string peerName = Unique("plenko-peer");
    std::optional<JackPeer> peer;
    peer.emplace(peerName, std::vector<std::string>{"in", "other"});
    ASSERT_TRUE(peer->IsOpen());

    const MIDIEndpointRef in = WaitForDestination(peerName + ": in");
    const MIDIEndpointRef other = WaitForDestination(peerName + ": other");
    ASSERT_NE(in, 0u) << "the peer's port was not listed";
    ASSERT_NE(other, 0u);
    EXPECT_EQ(StringProperty(in, kMIDIPropertyName), "in");
    const std::vector<MIDIEndpointRef> listed = Destinations();
    const auto position = [&](MIDIEndpointRef destination) {
        return std::find(listed.begin(), listed.end(), destination) - listed.begin();
    };
    EXPECT_LT(position(unrelated.Endpoint()), position(in)) << "ports are listed as they appear";
    EXPECT_LT(position(in), position(other)) << "in the order the server registered them";
    const SInt32 id = IntegerProperty(in, kMIDIPropertyUniqueID);
    EXPECT_NE(id, 0);
    EXPECT_NE(id, IntegerProperty(other, kMIDIPropertyUniqueID));
    // The delay places a packet stamped at its send within a later cycle: more than one period.
    const SInt32 periodMicros = SInt32(1000000.0 * peer->BufferSize() / peer->SampleRate());
    EXPECT_GT(IntegerProperty(in, kMIDIPropertyDeliveryDelayMuSec), periodMicros);
    EXPECT_LT(IntegerProperty(in, kMIDIPropertyDeliveryDelayMuSec), 2 * periodMicros);
    // The system's destinations are not a client's to dispose or renumber.
    EXPECT_EQ(MIDIEndpointDispose(in), kMIDINotPermitted);
    EXPECT_EQ(MIDIObjectSetIntegerProperty(in, kMIDIPropertyUniqueID, 4711), kMIDINotPermitted);

    ASSERT_EQ(MIDISend(client.Port(), in, &note), noErr);
    ASSERT_EQ(MIDISend(client.Port(), unrelated.Endpoint(), &note), noErr);
    const std::vector<JackPeerEvent> received = peer->WaitFor(1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].port, 0u);
    EXPECT_EQ(received[0].Bytes(), (std::vector<Byte>{0x90, 60, 1}));
    EXPECT_EQ(unrelated.WaitFor(1).size(), 1u);

    // The peer quits: its ports leave the list and go offline, sends to them are refused and
    // counted, what waited for them is counted too, the rest goes on.
    const MIDIPacketList waiting =
        OnePacket(AudioGetCurrentHostTime() + 10000 * kMillis, {0x90, 61, 1});
    ASSERT_EQ(MIDISend(client.Port(), in, &waiting), noErr);
    peer.reset();
    EXPECT_TRUE(WaitUntilGone(in));
    EXPECT_TRUE(WaitUntilGone(other));
    EXPECT_EQ(IntegerProperty(in, kMIDIPropertyOffline), 1);
    EXPECT_EQ(MIDISend(client.Port(), in, &note), kMIDINoConnection);
    EXPECT_EQ(MIDIObjectSetIntegerProperty(in, kMIDIPropertyOffline, 0), kMIDINotPermitted);
    EXPECT_EQ(WaitForMessageCounts(in, 3), (MessageCounts{1, 0, 2, 0}));
    ASSERT_EQ(MIDISend(client.Port(), unrelated.Endpoint(), &note), noErr);
    EXPECT_EQ(unrelated.WaitFor(2).size(), 2u);

    // A port of the same name, as in another run, is the same destination again.
    peer.emplace(peerName, std::vector<std::string>{"in"});
    ASSERT_TRUE(peer->IsOpen());
    const MIDIEndpointRef again = WaitForDestination(peerName + ": in");
    EXPECT_EQ(again, in) << "the same object, with the same reference";
    EXPECT_EQ(IntegerProperty(in, kMIDIPropertyUniqueID), id);
    EXPECT_EQ(IntegerProperty(in, kMIDIPropertyOffline), 0);
    EXPECT_EQ(IntegerProperty(other, kMIDIPropertyOffline), 1) << "its port did not come back";
    const MIDIPacketList back = OnePacket(0, {0x90, 62, 1});
    ASSERT_EQ(MIDISend(client.Port(), in, &back), noErr);
    const std::vector<JackPeerEvent> afterReturn =
        peer->WaitFor(1, std::chrono::milliseconds(1000));
    ASSERT_EQ(afterReturn.size(), 1u) << "nothing reached the port within a second of its return";
    EXPECT_EQ(afterReturn[0].Bytes(), (std::vector<Byte>{0x90, 62, 1}))
        << "what waited when it went is never delivered";
    EXPECT_EQ(WaitForMessageCounts(in, 4), (MessageCounts{2, 0, 2, 0}));
}

TEST_F(JackDestinations, OnlyTheDestinationsThatWentLastAreKeptOffline)
{
    // More ports than the services keep offline go at once; those that went first are disposed.
    constexpr int kPorts = 70;
    constexpr int kKept = 64;
    const std::string peerName = Unique("plenko-many");
    std::vector<std::string> portNames;
    for (int n = 0; n < kPorts; ++n)
        portNames.push_back("p" + std::to_string(n));
    std::optional<JackPeer> peer;
    peer.emplace(peerName, portNames);
    ASSERT_TRUE(peer->IsOpen());
    std::vector<MIDIEndpointRef> destinations;
    for (const std::string& port : portNames) {
        destinations.push_back(WaitForDestination(peerName + ": " + port));
        ASSERT_NE(destinations.back(), 0u) << port;
    }
    peer.reset();
    for (MIDIEndpointRef destination : destinations)
        EXPECT_TRUE(WaitUntilGone(destination));

    MIDITestClient client;
    const MIDIPacketList note = OnePacket(0, {0x90, 60, 1});
    int disposed = 0, offline = 0;
    for (MIDIEndpointRef destination : destinations) {
        const OSStatus status = MIDISend(client.Port(), destination, &note);
        EXPECT_TRUE(status == kMIDIUnknownEndpoint || status == kMIDINoConnection) << status;
        disposed += status == kMIDIUnknownEndpoint;
        offline += status == kMIDINoConnection;
    }
    EXPECT_EQ(offline, kKept);
    EXPECT_EQ(disposed, kPorts - kKept);
}

TEST_F(JackDestinations, WhatDoesNotFitInACycleFollowsInTheNextInOrder)
{
    // More SysEx at one stamp than a JACK MIDI buffer holds.
    constexpr int kPackets = 300;
    constexpr int kLength = 250;
    MIDITestClient client;
    const std::string peerName = Unique("plenko-full");
    JackPeer peer(peerName, {"in"});
    ASSERT_TRUE(peer.IsOpen());
    const MIDIEndpointRef destination = WaitForDestination(peerName + ": in");
    ASSERT_NE(destination, 0u);

    const MIDITimeStamp stamp = AudioGetCurrentHostTime() + 100 * kMillis;
    for (int n = 0; n < kPackets; ++n) {
        MIDIPacketList list{};
        std::vector<Byte> sysEx(kLength, Byte(n % 0x80));
        sysEx.front() = 0xF0;
        sysEx[1] = Byte(n >> 7);
        sysEx.back() = 0xF7;
        MIDIPacketListAdd(&list, sizeof list, MIDIPacketListInit(&list), stamp, kLength,
                          sysEx.data());
        ASSERT_EQ(MIDISend(client.Port(), destination, &list), noErr);
    }
    const std::vector<JackPeerEvent> received = peer.WaitFor(kPackets);
    ASSERT_EQ(received.size(), size_t(kPackets)) << "a message that did not fit was lost";
    for (int n = 0; n < kPackets; ++n) {
        EXPECT_EQ(received[n].length, kLength);
        EXPECT_EQ(received[n].data[1] << 7 | received[n].data[2], n) << "out of order";
    }
    EXPECT_GT(received.back().frame, received.front().frame) << "all fitted in one cycle";
    EXPECT_GT(IntegerProperty(destination, kMIDIPropertyLatePacketCount), 0);
    EXPECT_EQ(IntegerProperty(destination, kMIDIPropertyDroppedPacketCount), 0);
}

namespace {

// The number a test put in a note-on's data bytes.
int NumberOf(const JackPeerEvent& event)
{
    return event.data[1] << 7 | event.data[2];
}

MIDIPacketList NumberedNote(MIDITimeStamp stamp, int number)
{
    return OnePacket(stamp, {0x90, Byte(number >> 7), Byte(number & 0x7F)});
}

} // namespace

TEST_F(JackDestinations, PacketsGoOutInOneOrderEachHeldUntilItsTime)
{
    struct Case {
        const char* what;
        // Sends numbered notes; gives the numbers in the order they must arrive.
        std::vector<int> (*send)(MIDIPortRef port, MIDIEndpointRef destination);
        bool pastDueFirst; // the first arrives at frame 0 of its cycle, counted late
    };
    const Case cases[] = {
        {"equal stamps in send order, from separate lists and from one",
         [](MIDIPortRef port, MIDIEndpointRef destination) {
             const MIDITimeStamp stamp = AudioGetCurrentHostTime() + 100 * kMillis;
             std::vector<int> order;
             for (int number = 0; number < 40; ++number) {
                 const MIDIPacketList list = NumberedNote(stamp, number);
                 EXPECT_EQ(MIDISend(port, destination, &list), noErr);
                 order.push_back(number);
             }
             MIDIPacketList list{};
             MIDIPacket* packet = MIDIPacketListInit(&list);
             for (int number = 40; number < 60; ++number) {
                 const Byte note[] = {0x90, 0, Byte(number)};
                 // Merged into one packet, as equal stamps are: one event each, in order.
                 packet = MIDIPacketListAdd(&list, sizeof list, packet, stamp, 3, note);
                 EXPECT_NE(packet, nullptr);
                 order.push_back(number);
             }
             EXPECT_EQ(MIDISend(port, destination, &list), noErr);
             return order;
         },
         false},
        {"a past-due packet before one due in time, whatever their send order",
         [](MIDIPortRef port, MIDIEndpointRef destination) {
             const MIDIPacketList inTime = NumberedNote(AudioGetCurrentHostTime(), 1);
             const MIDIPacketList pastDue = NumberedNote(1, 0);
             EXPECT_EQ(MIDISend(port, destination, &inTime), noErr);
             EXPECT_EQ(MIDISend(port, destination, &pastDue), noErr);
             return std::vector<int>{0, 1};
         },
         true},
        {"stamps seconds ahead, all sent at once as offline play sends them",
         [](MIDIPortRef port, MIDIEndpointRef destination) {
             const MIDITimeStamp start = AudioGetCurrentHostTime() + 100 * kMillis;
             std::vector<int> order;
             for (int number = 0; number < 306; ++number) {
                 const MIDIPacketList list =
                     NumberedNote(start + UInt64(number) * 10 * kMillis, number);
                 EXPECT_EQ(MIDISend(port, destination, &list), noErr);
                 order.push_back(number);
             }
             return order;
         },
         false},
    };
    const std::string peerName = Unique("plenko-order");
    JackPeer peer(peerName, {"in"});
    ASSERT_TRUE(peer.IsOpen());
    const MIDIEndpointRef destination = WaitForDestination(peerName + ": in");
    ASSERT_NE(destination, 0u);
    MIDITestClient client;
    // Its port is made at its first use.
    const MIDIPacketList warmUp = OnePacket(0, {0xB0, 123, 0});
    ASSERT_EQ(MIDISend(client.Port(), destination, &warmUp), noErr);
    ASSERT_EQ(peer.WaitFor(1).size(), 1u);
    size_t arrived = 1;
    SInt32 sent = 1;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        const SInt32 lateBefore = IntegerProperty(destination, kMIDIPropertyLatePacketCount);
        const size_t xrunsBefore = peer.Xruns();
        const std::vector<int> order = test.send(client.Port(), destination);
        sent += SInt32(order.size());
        std::vector<JackPeerEvent> received =
            peer.WaitFor(arrived + order.size(), std::chrono::milliseconds(8000));
        received.erase(received.begin(), received.begin() + std::ptrdiff_t(arrived));
        arrived += received.size();
        std::vector<int> numbers;
        for (const JackPeerEvent& event : received)
            numbers.push_back(NumberOf(event));
        if (peer.Xruns() == xrunsBefore) {
            EXPECT_EQ(numbers, order);
        } else {
            // A cycle the server did not run the peer in lost its MIDI: the rest keeps its order.
            EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()) &&
                        std::includes(order.begin(), order.end(), numbers.begin(), numbers.end()));
        }
        if (test.pastDueFirst) {
            // Counted late; on a busy machine a late cycle may find the other past due too.
            EXPECT_GE(IntegerProperty(destination, kMIDIPropertyLatePacketCount) - lateBefore, 1);
            if (!numbers.empty() && numbers.front() == 0) {
                EXPECT_EQ(received.front().frame % peer.BufferSize(), 0u)
                    << "not at its cycle's start";
            }
        }
    }
    // Written into cycles, whatever the server then did with them.
    EXPECT_EQ(WaitForMessageCounts(destination, sent), (MessageCounts{sent, 0, 0, 0}));
}

TEST_F(JackDestinations, AFullHandOverRefusesTheListAndCountsIt)
{
    Watchdog watchdog(120, "a full JACK hand-over");
    const std::string peerName = Unique("plenko-flood");
    std::optional<JackPeer> peer;
    peer.emplace(peerName, std::vector<std::string>{"in"});
    ASSERT_TRUE(peer->IsOpen());
    const MIDIEndpointRef destination = WaitForDestination(peerName + ": in");
    ASSERT_NE(destination, 0u);
    MIDITestClient client;
    // An hour ahead: held, however long, until the hand-over is full (a flood as fast as this
    // may fill it before it grows).
    const MIDIPacketList chord =
        OnePacket(AudioGetCurrentHostTime() + 3600000 * kMillis, {0x90, 60, 1, 64, 1});
    SInt32 accepted = 0;
    OSStatus status = noErr;
    while ((status = MIDISend(client.Port(), destination, &chord)) == noErr)
        ++accepted;
    EXPECT_EQ(status, kMIDIMessageSendErr);
    EXPECT_EQ(MessageCountsOf(destination), (MessageCounts{0, 2, 0, 0}));

    // What it holds is counted offline when the port goes, and none of it was written.
    peer.reset();
    EXPECT_EQ(WaitForMessageCounts(destination, 2 * accepted + 2),
              (MessageCounts{0, 2, 2 * accepted, 0}));
}

namespace {

constexpr int kEvents = 500;
constexpr SInt32 kOffsetMicros = 5000;

// The note-ons jack_midi_dump printed: the number the test put in the data bytes, and the frame.
NumberedEvents ParseDump(const std::string& output)
{
    NumberedEvents events;
    for (const DumpedMessage& message : ParseJackMidiDump(output))
        if (message.bytes.size() == 3 && message.bytes[0] == 0x90)
            events.emplace_back(int(message.bytes[1] << 7 | message.bytes[2]), message.frame);
    return events;
}

// One run of 500 events through jack_midi_dump: stamps 10 ms apart, every fourth step a chord of
// three events, all sent long before they fall due. Blocks of four steps alternate between no
// latency offset and +5 ms, so that each shift is measured against its neighbours, whatever the
// server's clock does over the seconds of the run.
struct DumpRun {
    std::vector<MIDITimeStamp> stamps;
    std::vector<SInt32> offsets;
    NumberedEvents events; // as printed
    SInt32 delayMicros = 0;
    SInt32 late = 0;
    SInt32 dropped = 0;
    bool settled = false;    // the server had run undisturbed for a while when it began
    size_t disturbances = 0; // xruns and cycles not run on time while it ran, as the probe saw
    size_t xruns = 0;        // of those, the cycles the server missed, losing their MIDI

    bool Disturbed() const { return !settled || disturbances != 0; }
    std::string Disturbance() const
    {
        return settled ? std::to_string(disturbances) + " xruns or late cycles"
                       : "never undisturbed for 3 s";
    }
};

DumpRun RunThroughJackMidiDump(const JackPeer& probe, int attempt)
{
    DumpRun run;
    const std::string dumpName = Unique("plenko-dump") + "-" + std::to_string(attempt);
    ChildProcess dump({"jack_midi_dump", "-a", dumpName});
    EXPECT_TRUE(dump.Started()) << "jack_midi_dump (jackd2's example tools) is missing";
    const MIDIEndpointRef destination = WaitForDestination(dumpName + ": input");
    EXPECT_NE(destination, 0u) << "jack_midi_dump's port was not listed";
    if (destination == 0)
        return run;
    MIDITestClient client;
    // A destination's port is made when it is first used, as a host's first note would.
    const MIDIPacketList warmUp = OnePacket(0, {0xB0, 123, 0});
    EXPECT_EQ(MIDISend(client.Port(), destination, &warmUp), noErr);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    run.settled = probe.WaitUntilSettled();
    const size_t disturbancesBefore = probe.Disturbances();
    const size_t xrunsBefore = probe.Xruns();

    const MIDITimeStamp start = AudioGetCurrentHostTime() + 300 * kMillis;
    for (int step = 0; int(run.stamps.size()) < kEvents; ++step) {
        const SInt32 offset = step / 4 % 2 == 0 ? 0 : kOffsetMicros;
        EXPECT_EQ(
            MIDIObjectSetIntegerProperty(destination, kMIDIPropertyLatencyOffsetMuSec, offset),
            noErr);
        for (int note = 0; note < (step % 4 == 0 ? 3 : 1) && int(run.stamps.size()) < kEvents;
             ++note) {
            const int number = int(run.stamps.size());
            run.stamps.push_back(start + UInt64(step) * 10 * kMillis);
            run.offsets.push_back(offset);
            const MIDIPacketList list =
                OnePacket(run.stamps.back(), {0x90, Byte(number >> 7), Byte(number & 0x7F)});
            EXPECT_EQ(MIDISend(client.Port(), destination, &list), noErr);
        }
    }
    // jack_midi_dump prints from a buffer of its own: time to print the last event.
    const UInt64 end = run.stamps.back() + 1000 * kMillis;
    std::this_thread::sleep_for(std::chrono::nanoseconds(end - AudioGetCurrentHostTime()));
    run.delayMicros = IntegerProperty(destination, kMIDIPropertyDeliveryDelayMuSec);
    run.late = IntegerProperty(destination, kMIDIPropertyLatePacketCount);
    run.dropped = IntegerProperty(destination, kMIDIPropertyDroppedPacketCount);
    // Counted before jack_midi_dump leaves the graph, which may unsettle the server in turn.
    run.disturbances = probe.Disturbances() - disturbancesBefore;
    run.xruns = probe.Xruns() - xrunsBefore;
    run.events = ParseDump(dump.Stop());
    return run;
}

// The absolute frame at which the server's cycle times, as the probe saw them, put a host time;
// -1 when no cycle the probe saw holds it.
SInt64 ServerFrameAt(const std::vector<JackPeerCycle>& cycles, UInt64 hostNanos)
{
    for (const JackPeerCycle& seen : cycles) {
        const JackCycle cycle{seen.startMicros * 1000, seen.endMicros * 1000, seen.frames};
        UInt32 frame = 0;
        const UInt64 due = HostTimeToJackNanos(hostNanos, {seen.hostNanos, seen.jackMicros});
        if (due >= cycle.mStartNanos && PlaceInCycle(due, cycle, frame) == JackPlacement::InCycle)
            return SInt64(seen.firstFrame + frame);
    }
    return -1;
}

// What a run through jack_midi_dump showed.
struct DumpFigures {
    std::string disorder; // the first event repeated, out of order or unknown, if any
    int missing = 0;
    // A client the server's cycle went on without leaves its buffer as it was, and the server
    // hands its events on again, a whole number of periods later: the server's copies.
    int serverCopies = 0;
    // Each event's frame after the one before, less what its stamp and offset say (480 frames per
    // 10 ms at 48 kHz, 0 within a chord, 240 more or less where +5 ms begins or ends), rounded.
    std::map<long, int> errors;
    int beyondBound = 0; // spacings more than 2 frames from the stamps'
    double shift = 0;    // how much later +5 ms put events, on average, in frames
    int misplaced = 0;   // spacings more than 2 frames from the server's cycles' own
    int compared = 0;    // of the spacings, those whose times fell in cycles the probe saw

    std::string Text() const
    {
        std::ostringstream text;
        text << "frame-spacing errors (frames:count)";
        for (const auto& [error, count] : errors)
            text << " " << error << ":" << count;
        text << "; beyond 2 frames " << beyondBound << "; +5 ms moved events " << shift
             << " frames; misplaced against the server's cycles " << misplaced << " of " << compared
             << "; missing " << missing << "; the server's copies " << serverCopies;
        return text.str();
    }
};

DumpFigures Measure(const DumpRun& run, const std::vector<JackPeerCycle>& cycles,
                    double framesPerNano, UInt32 periodFrames)
{
    DumpFigures figures;
    NumberedEvents events = run.events;
    figures.serverCopies = int(TakeOutStaleCopies(events, periodFrames).size());
    std::vector<std::pair<UInt64, int>> printed(kEvents, {0, -1}); // frame and number
    for (size_t n = 0; n < events.size() && figures.disorder.empty(); ++n) {
        const auto [number, frame] = events[n];
        if (number >= kEvents || (n > 0 && number <= events[n - 1].first))
            figures.disorder = "event " + std::to_string(number) + " after event " +
                               std::to_string(n > 0 ? events[n - 1].first : -1);
        else
            printed[number] = {frame, number};
    }
    figures.missing = kEvents - int(events.size());

    double shifted = 0;
    int shifts = 0;
    for (int n = 1; n < kEvents; ++n) {
        if (printed[n - 1].second == -1 || printed[n].second == -1)
            continue;
        const double stampFrames = double(run.stamps[n] - run.stamps[n - 1]) * framesPerNano;
        const double offsetFrames = (run.offsets[n] - run.offsets[n - 1]) * 1e3 * framesPerNano;
        const double frames = double(printed[n].first) - double(printed[n - 1].first);
        const double error = frames - stampFrames - offsetFrames;
        ++figures.errors[std::lround(error)];
        figures.beyondBound += std::fabs(error) > 2.0;
        if (offsetFrames != 0) {
            shifted += (frames - stampFrames) * (offsetFrames > 0 ? 1 : -1);
            ++shifts;
        }
        // Against where the server's own cycle times put each due time (its stamp, the delivery
        // delay and its offset), within the frames by which the probe's and the backend's
        // readings of the clocks may differ.
        const auto serverFrame = [&](int k) {
            return ServerFrameAt(cycles,
                                 run.stamps[k] + UInt64(run.delayMicros + run.offsets[k]) * 1000);
        };
        const SInt64 before = serverFrame(n - 1), after = serverFrame(n);
        if (before != -1 && after != -1) {
            figures.misplaced += std::fabs(frames - double(after - before)) > 2.0;
            ++figures.compared;
        }
    }
    figures.shift = shifts > 0 ? shifted / shifts : 0;
    return figures;
}

} // namespace

// Whether a run shows everything exact: every event once, each spacing within 2 frames of what its
// stamps say, +5 ms one shift of 240 frames, and every event where the server's own cycles put it.
bool ShowsExactTiming(const DumpRun& run, const DumpFigures& figures, double framesPerNano)
{
    return figures.missing == 0 && figures.serverCopies == 0 && run.dropped == 0 &&
           figures.beyondBound == 0 &&
           std::fabs(figures.shift - kOffsetMicros * 1e3 * framesPerNano) <= 1.0 &&
           figures.compared > kEvents / 2 && figures.misplaced == 0;
}

TEST_F(JackDestinations, EventsArriveAtTheFramesTheirStampsNameAtAProgramWeDidNotWrite)
{
    // Exact spacing can only be demanded of a server whose timing is settled and that runs every
    // client in every cycle, in time (else its frames move against the host clock, and what it
    // missed is lost). A run in which the server was disturbed may still show exact timing, and
    // then counts; if it does not, another run is made, a few at most.
    constexpr int kRuns = 4;
    const JackPeer probe(Unique("plenko-probe"), {});
    ASSERT_TRUE(probe.IsOpen());
    const double framesPerNano = probe.SampleRate() / 1e9;
    DumpRun run;
    DumpFigures figures;
    bool exact = false;
    std::string history;
    for (int attempt = 0; attempt < kRuns && !exact && (attempt == 0 || run.Disturbed());
         ++attempt) {
        run = RunThroughJackMidiDump(probe, attempt);
        ASSERT_FALSE(HasFailure());
        figures = Measure(run, probe.Cycles(), framesPerNano, probe.BufferSize());
        exact = ShowsExactTiming(run, figures, framesPerNano);
        history += "\n  run " + std::to_string(attempt + 1) + ": server " +
                   (run.Disturbed() ? "disturbed (" + run.Disturbance() + ")" : "undisturbed") +
                   "; " + figures.Text() + "; late " + std::to_string(run.late) + ", dropped " +
                   std::to_string(run.dropped);
        // However the server ran, the services neither repeat nor reorder; only a server that
        // went on without them copies what they wrote.
        ASSERT_EQ(figures.disorder, "") << "repeated or out of order" << history;
        ASSERT_TRUE(figures.serverCopies == 0 || run.Disturbed())
            << "copies a whole number of periods later on an undisturbed server" << history;
    }
    std::cout << "runs through jack_midi_dump:" << history << std::endl;
    RecordProperty("SpacingErrors", figures.Text());
    if (!exact && run.Disturbed()) {
        if (!RunsInCI())
            GTEST_SKIP() << "spacing, +5 ms shift and completeness NOT judged: no run showed "
                            "exact timing and the server was disturbed in each (a busy machine?); "
                            "CI judges what such a server cannot excuse."
                         << history;
        // Such a server loses the MIDI of the cycles it missed, and its frames and its estimate of
        // its cycles move against the host clock by milliseconds, so where events fall is not
        // judged; what it cannot excuse is (nothing repeated or reordered, checked above): nothing
        // dropped, and nothing lost unless it missed cycles.
        EXPECT_EQ(run.dropped, 0) << history;
        EXPECT_TRUE(figures.missing == 0 || run.xruns > 0) << "events lost" << history;
        std::cout << "places NOT judged: the server was disturbed in every run" << std::endl;
        return;
    }

    EXPECT_EQ(figures.missing, 0) << "events lost" << history;
    EXPECT_EQ(run.dropped, 0) << history;
    EXPECT_EQ(figures.beyondBound, 0)
        << "frame spacings more than 2 frames from what the stamps say" << history;
    EXPECT_NEAR(figures.shift, kOffsetMicros * 1e3 * framesPerNano, 1.0) << history;
    EXPECT_GT(figures.compared, kEvents / 2) << "the server left gaps between its cycles";
    EXPECT_EQ(figures.misplaced, 0)
        << "events away from where the server's cycles put them" << history;
}

namespace {

// Runs in a child process of its own, where the services have not started yet, against a server
// name no server has.
void StartWithoutAServer()
{
    setenv("JACK_DEFAULT_SERVER", Unique("plenko-no-such-server").c_str(), 1);
    std::string printed;
    UInt64 took = 0;
    ItemCount atStart = 0;
    {
        OutputCapture out(OutputCapture::kStdout), err(OutputCapture::kStderr);
        const UInt64 start = AudioGetCurrentHostTime();
        atStart = MIDIGetNumberOfDestinations();
        took = AudioGetCurrentHostTime() - start;
        MIDITestClient client;
        MIDIRecorder recorder(client.Client(), "Virtual");
        // Past the backend's next look for a server, which must be as quiet as the first.
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        if (Destinations() != std::vector<MIDIEndpointRef>{recorder.Endpoint()})
            printed += "<more destinations than the virtual one>";
        MIDIAudioServerCycle cycle{};
        if (MIDIGetAudioServerCycle(&cycle) != kMIDINoConnection)
            printed += "<a server's cycle without a server>";
        printed += out.Take() + err.Take();
    }
    fprintf(stderr, "started in %llu us; %lu destinations at the start; printed: \"%s\"\n",
            static_cast<unsigned long long>(took / 1000), atStart, printed.c_str());
    // A loose bound that only a hang or a retry loop breaks; the figure itself is reported.
    const bool quick = took < 1000 * kMillis;
    std::exit(atStart == 0 && printed.empty() && quick ? 0 : 1);
}

} // namespace

TEST(JackBackend, WithoutAServerTheServicesStartAtOnceQuietlyWithVirtualDestinationsOnly)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(StartWithoutAServer(), ::testing::ExitedWithCode(0), "started in [0-9]+ us");
}

namespace {

constexpr int kServerRestarts = 6;

// The note-ons jack_midi_dump printed, as note number and velocity.
std::vector<std::pair<int, int>> NotesPrinted(const std::string& output)
{
    std::vector<std::pair<int, int>> notes;
    for (const auto& [number, frame] : ParseDump(output))
        notes.emplace_back(number >> 7, number & 0x7F);
    return notes;
}

// The services give the cycle the server began last, as the server times it: 256 frames at
// 48 kHz that last about as long, begun about when the server says it started, and the cycle of
// a later look further on frame for frame and in time.
bool ServerCycleHolds()
{
    MIDIAudioServerCycle first{}, later{};
    if (MIDIGetAudioServerCycle(&first) != noErr)
        return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (MIDIGetAudioServerCycle(&later) != noErr)
        return false;
    const double nanosPerFrame = 1e9 / 48000;
    const double length = double(first.next - first.start);
    const double lateness = double(SInt64(first.begun - first.start));
    const auto framesApart = UInt32(later.firstFrame - first.firstFrame);
    const double apart = double(SInt64(later.start - first.start));
    // Loose bounds on time: a busy machine runs the dummy driver's cycles a few percent off.
    return first.frames == 256 && first.sampleRate == 48000 &&
           std::fabs(length - 256 * nanosPerFrame) < 0.1 * 256 * nanosPerFrame &&
           std::fabs(lateness) < 20 * kMillis && framesApart > 0 && framesApart % 256 == 0 &&
           std::fabs(apart - framesApart * nanosPerFrame) < 0.1 * apart;
}

// A machine that stalls now and then for tens of milliseconds (a virtual one, whose host runs
// others) spoils the look it falls in, and the server's estimate of its cycles for a second after;
// of a few looks over two seconds, one must hold.
bool ServerCycleIsKnown()
{
    for (int look = 0; look < 8; ++look) {
        if (ServerCycleHolds())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return false;
}

// Runs in a child process of its own, whose services know only the private server, which stops
// and starts again several times; the other program is jack_midi_dump, so that the services' client
// is the only one of this process. Returns what went wrong.
std::string FollowAServerThatStopsAndReturns(PrivateJackServer& server)
{
    std::string failures;
    const auto check = [&](bool ok, const std::string& what, int round) {
        if (!ok)
            failures += what + " (round " + std::to_string(round) + "); ";
    };
    MIDITestClient client;
    MIDIEndpointRef previous = 0;
    SInt32 id = 0;
    for (int round = 0; round < kServerRestarts && failures.empty(); ++round) {
        const std::string started = server.Start();
        if (!started.empty())
            return failures + started;
        ChildProcess dump({"jack_midi_dump", "-a", "plenko-peer"});
        // The backend looks for the server once a second.
        const MIDIEndpointRef destination = WaitForDestination("plenko-peer: input");
        check(destination != 0, "the port was not listed", round);
        check(round == 0 || destination == previous, "not the same destination again", round);
        if (round == 0)
            id = IntegerProperty(destination, kMIDIPropertyUniqueID);
        check(IntegerProperty(destination, kMIDIPropertyUniqueID) == id, "the unique id changed",
              round);
        check(ServerCycleIsKnown(), "the server's cycle was not known", round);
        const MIDIPacketList note = OnePacket(0, {0x90, 60, Byte(round + 1)});
        check(MIDISend(client.Port(), destination, &note) == noErr, "the send failed", round);
        // The port that carries it is made and connected first, which a busy server may take a
        // while to do.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (NotesPrinted(dump.Output()).empty() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));

        // Still waiting when the server goes: counted offline, never delivered.
        const MIDIPacketList waiting =
            OnePacket(AudioGetCurrentHostTime() + 10000 * kMillis, {0x90, 61, Byte(round + 1)});
        check(MIDISend(client.Port(), destination, &waiting) == noErr, "the send failed", round);
        const MessageCounts before = MessageCountsOf(destination);

        const std::string stopped = server.Stop();
        check(stopped.empty(), stopped, round);
        check(WaitUntilGone(destination), "the port stayed listed after the server stopped", round);
        MIDIAudioServerCycle cycle{};
        check(MIDIGetAudioServerCycle(&cycle) == kMIDINoConnection,
              "a server's cycle was still given after the server stopped", round);
        check(MIDISend(client.Port(), destination, &note) == kMIDINoConnection,
              "a send to the vanished port was not refused", round);
        const MessageCounts after = WaitForMessageCounts(destination, before.Sum() + 2);
        check(after.offline == before.offline + 2 && after.delivered == before.delivered,
              "what waited and what was sent while gone were not counted offline", round);
        const std::string printed = dump.Stop();
        check(NotesPrinted(printed) == std::vector<std::pair<int, int>>{{60, round + 1}},
              "the note did not arrive once; jack_midi_dump printed:\n" + printed, round);
        previous = destination;
    }
    return failures.empty() ? "none" : failures;
}

} // namespace

TEST(JackBackend, DestinationsGoWithTheServerAndComeBackWithIt)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // Constructed first, so destroyed last: it also covers the services' end at exit,
            // where a backend stuck in libjack would hang the process.
            static Watchdog watchdog(120, "following a server that stops and returns");
            PrivateJackServer server;
            setenv("JACK_DEFAULT_SERVER", server.Name().c_str(), 1);
            const std::string failures = FollowAServerThatStopsAndReturns(server);
            fprintf(stderr, "failures: %s\n", failures.c_str());
            std::exit(failures == "none" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "failures: none");
}
