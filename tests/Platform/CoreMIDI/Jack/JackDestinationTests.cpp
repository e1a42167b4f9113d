// The JACK backend against a running server: the destination list follows the server's ports,
// packets reach other programs at the frames their stamps name, and without a server the services
// start at once with their virtual destinations only.
#include "ChildProcess.h"
#include "CoreMIDI/JackCycleTiming.h"
#include "JackPeer.h"
#include "MIDIRecorder.h"
#include "OutputCapture.h"

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

    // The peer quits: its ports leave the list, sends to them fail, the rest goes on.
    peer.reset();
    EXPECT_TRUE(WaitUntilGone(in));
    EXPECT_TRUE(WaitUntilGone(other));
    EXPECT_EQ(MIDISend(client.Port(), in, &note), kMIDIUnknownEndpoint);
    ASSERT_EQ(MIDISend(client.Port(), unrelated.Endpoint(), &note), noErr);
    EXPECT_EQ(unrelated.WaitFor(2).size(), 2u);

    // A port of the same name, as in another run, is found again by its unique id.
    peer.emplace(peerName, std::vector<std::string>{"in"});
    ASSERT_TRUE(peer->IsOpen());
    const MIDIEndpointRef again = WaitForDestination(peerName + ": in");
    ASSERT_NE(again, 0u);
    EXPECT_NE(again, in) << "a new object, with a reference of its own";
    EXPECT_EQ(IntegerProperty(again, kMIDIPropertyUniqueID), id);
    ASSERT_EQ(MIDISend(client.Port(), unrelated.Endpoint(), &note), noErr);
    EXPECT_EQ(unrelated.WaitFor(3).size(), 3u);
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

constexpr int kEvents = 500;
constexpr SInt32 kOffsetMicros = 5000;

// Lines like " 190144: 90 3c 40 note on  (channel  0): pitch  60, velocity  64": the frame, and
// the number the test put in the note-on's data bytes.
std::vector<std::pair<UInt64, int>> ParseDump(const std::string& output)
{
    std::vector<std::pair<UInt64, int>> events;
    std::istringstream lines(output);
    std::string text;
    while (std::getline(lines, text)) {
        unsigned long long frame = 0;
        unsigned status = 0, high = 0, low = 0;
        if (std::sscanf(text.c_str(), " %llu: %2x %2x %2x", &frame, &status, &high, &low) == 4 &&
            status == 0x90)
            events.emplace_back(frame, int(high << 7 | low));
    }
    return events;
}

// One run of 500 events through jack_midi_dump: stamps 10 ms apart, every fourth step a chord of
// three events, all sent long before they fall due. Blocks of four steps alternate between no
// latency offset and +5 ms, so that each shift is measured against its neighbours, whatever the
// server's clock does over the seconds of the run.
struct DumpRun {
    std::vector<MIDITimeStamp> stamps;
    std::vector<SInt32> offsets;
    std::vector<std::pair<UInt64, int>> events; // frame and number, as printed
    SInt32 delayMicros = 0;
    SInt32 late = 0;
    SInt32 dropped = 0;
    bool settled = false;    // the server had run undisturbed for a while when it began
    size_t disturbances = 0; // while it ran
};

// After a missed cycle, or its driver's re-anchoring of a schedule it fell behind (a busy machine
// without real-time scheduling, a client joining or leaving the graph), the server's estimate of
// its cycles' times takes seconds to settle, moving its frames against every other clock
// meanwhile. Waits until the probe has seen no such disturbance for three seconds (at most
// twenty); false if it never did.
bool WaitForSettledServer(const JackPeer& probe)
{
    constexpr UInt64 kQuiet = 3000 * kMillis;
    const UInt64 giveUp = AudioGetCurrentHostTime() + 20000 * kMillis;
    while (AudioGetCurrentHostTime() < giveUp) {
        if (AudioGetCurrentHostTime() > probe.LastDisturbance() + kQuiet)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

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
    run.settled = WaitForSettledServer(probe);
    const size_t disturbancesBefore = probe.Disturbances();

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
    run.events = ParseDump(dump.Stop());
    run.disturbances = probe.Disturbances() - disturbancesBefore;
    return run;
}

} // namespace

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

TEST_F(JackDestinations, EventsArriveAtTheFramesTheirStampsNameAtAProgramWeDidNotWrite)
{
    const JackPeer probe(Unique("plenko-probe"), {});
    ASSERT_TRUE(probe.IsOpen());
    const double framesPerNano = probe.SampleRate() / 1e9;
    // Nominal spacing can only be shown by a server whose timing is settled and that runs every
    // client in every cycle (else what it missed is late); a few tries for such a run.
    DumpRun run;
    std::string disturbances;
    const auto undisturbed = [&] { return run.settled && run.disturbances == 0 && run.late == 0; };
    for (int attempt = 0; attempt < 2 && !undisturbed(); ++attempt) {
        run = RunThroughJackMidiDump(probe, attempt);
        ASSERT_FALSE(HasFailure());
        disturbances += " " + (run.settled ? std::to_string(run.disturbances) : "unsettled");
    }

    // Every event once, in order. A server that failed to run a client in a cycle (an xrun) has
    // lost that cycle's MIDI for it: only then may events be missing.
    EXPECT_EQ(run.dropped, 0);
    std::vector<std::pair<UInt64, int>> printed(kEvents, {0, -1});
    for (size_t n = 0; n < run.events.size(); ++n) {
        ASSERT_TRUE(n == 0 || run.events[n].second > run.events[n - 1].second)
            << "repeated or out of order at " << run.events[n].second;
        ASSERT_LT(run.events[n].second, kEvents);
        printed[run.events[n].second] = run.events[n];
    }
    const int missing = kEvents - int(run.events.size());
    if (undisturbed()) {
        ASSERT_EQ(missing, 0) << "events lost";
    }

    // Each event where the server's own cycle times put its due time (its stamp, the delivery
    // delay and its offset), within the frames that the probe's and the backend's readings of
    // the clocks may differ by: this holds however busy the machine is, but for packets the
    // backend counted late (a cycle that did not run our callback in time, or a gap between the
    // times of two cycles), each of which may put two spacings out.
    const std::vector<JackPeerCycle> cycles = probe.Cycles();
    std::vector<SInt64> serverFrames;
    for (int n = 0; n < kEvents; ++n)
        serverFrames.push_back(
            ServerFrameAt(cycles, run.stamps[n] + UInt64(run.delayMicros + run.offsets[n]) * 1000));
    int compared = 0, misplaced = 0;
    for (int n = 1; n < kEvents; ++n) {
        if (serverFrames[n - 1] == -1 || serverFrames[n] == -1 || printed[n - 1].second == -1 ||
            printed[n].second == -1)
            continue;
        const SInt64 spacing = SInt64(printed[n].first) - SInt64(printed[n - 1].first);
        misplaced += std::abs(spacing - (serverFrames[n] - serverFrames[n - 1])) > 2;
        ++compared;
    }
    EXPECT_GT(compared, kEvents / 2) << "the server left too many gaps between its cycles";
    EXPECT_LE(misplaced, 2 * run.late) << "events away from where the server's cycles put them";

    // Against the stamps: each event as many frames after the one before as its stamp and
    // offset are later, within 2 frames: 480 per 10 ms at 48 kHz, 0 within a chord, 240 more or
    // less where +5 ms begins or ends. Only a settled server keeps its frames in step with the
    // host clock; the distribution of the errors is reported either way.
    std::map<long, int> errors;
    double shifted = 0;
    int shifts = 0;
    for (int n = 1; n < kEvents; ++n) {
        if (printed[n - 1].second == -1 || printed[n].second == -1)
            continue;
        const double stampFrames = double(run.stamps[n] - run.stamps[n - 1]) * framesPerNano;
        const double offsetFrames = (run.offsets[n] - run.offsets[n - 1]) * 1e3 * framesPerNano;
        const double frames = double(printed[n].first) - double(printed[n - 1].first);
        const double error = frames - stampFrames - offsetFrames;
        if (undisturbed()) {
            EXPECT_LE(std::fabs(error), 2.0) << "event " << n;
        }
        ++errors[std::lround(error)];
        if (offsetFrames != 0) {
            shifted += (frames - stampFrames) * (offsetFrames > 0 ? 1 : -1);
            ++shifts;
        }
    }
    ASSERT_GT(shifts, 0);
    if (undisturbed()) {
        EXPECT_NEAR(shifted / shifts, kOffsetMicros * 1e3 * framesPerNano, 1.0);
    }

    std::ostringstream report;
    for (const auto& [error, count] : errors)
        report << " " << error << ":" << count;
    std::cout << "server disturbances in the runs:" << disturbances
              << (undisturbed() ? "" : " (spacing against the stamps not judged)")
              << "; frame-spacing errors (frames:count):" << report.str()
              << "; misplaced against the server's cycles " << misplaced << ", missing " << missing
              << "; +5 ms moved events " << shifted / shifts << " frames on average; late "
              << run.late << ", dropped " << run.dropped << std::endl;
    RecordProperty("SpacingErrors", report.str());
    RecordProperty("OffsetShiftFrames", std::to_string(shifted / shifts));
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

// A JACK server of the test's own, under a name of its own, so that it may stop and start again
// without disturbing any other.
std::unique_ptr<ChildProcess> StartPrivateServer(const std::string& name)
{
    auto server = std::make_unique<ChildProcess>(std::vector<std::string>{
        "jackd", "-n", name, "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "256"});
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
        if (JackPeer("plenko-wait", {}).IsOpen())
            return server;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

// Runs in a child process of its own, whose services know only the private server; returns what
// went wrong.
std::string FollowAServerThatStopsAndReturns(const std::string& serverName)
{
    std::string failures;
    const auto check = [&](bool ok, const char* what) {
        if (!ok)
            failures += std::string(what) + "; ";
    };
    std::unique_ptr<ChildProcess> server = StartPrivateServer(serverName);
    check(server != nullptr, "the server did not start");
    MIDITestClient client;
    const MIDIPacketList note = OnePacket(0, {0x90, 60, 1});
    MIDIEndpointRef first = 0;
    SInt32 id = 0;
    {
        JackPeer peer("plenko-peer", {"in"});
        first = WaitForDestination("plenko-peer: in");
        check(first != 0, "the port was not listed");
        id = IntegerProperty(first, kMIDIPropertyUniqueID);
        server.reset();
        check(WaitUntilGone(first), "the port stayed listed after the server stopped");
        check(MIDISend(client.Port(), first, &note) == kMIDIUnknownEndpoint,
              "a send to the vanished port did not fail");
    }
    server = StartPrivateServer(serverName);
    check(server != nullptr, "the server did not start again");
    JackPeer peer("plenko-peer", {"in"});
    // The backend looks for the server once a second.
    const MIDIEndpointRef again = WaitForDestination("plenko-peer: in");
    check(again != 0 && again != first, "the port was not listed again");
    check(IntegerProperty(again, kMIDIPropertyUniqueID) == id, "the unique id changed");
    check(MIDISend(client.Port(), again, &note) == noErr && peer.WaitFor(1).size() == 1,
          "nothing arrived through the server that came back");
    return failures.empty() ? "none" : failures;
}

} // namespace

TEST(JackBackend, DestinationsGoWithTheServerAndComeBackWithIt)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string serverName = Unique("plenko-restart");
    EXPECT_EXIT(
        {
            setenv("JACK_DEFAULT_SERVER", serverName.c_str(), 1);
            const std::string failures = FollowAServerThatStopsAndReturns(serverName);
            fprintf(stderr, "failures: %s\n", failures.c_str());
            std::exit(failures == "none" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "failures: none");
}
