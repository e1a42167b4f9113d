// Under ThreadSanitizer: a render thread sends while the JACK callback writes and another program's
// port comes and goes; what is sent to the destination that stays arrives, once each, in order.
// And the gate between libjack's threads and the backend shuts them out before the backend goes,
// and a reader of the latest cycle never sees the fields of two cycles mixed.
#include "JackCallbackGate.h"
#include "JackCycleTiming.h"
#include "JackPeer.h"
#include "MIDIRecorder.h"
#include "Watchdog.h"

#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Message: a SysEx carrying a 21-bit running number.
MIDIPacketList Numbered(MIDITimeStamp stamp, UInt32 number)
{
    return OnePacket(stamp, {0xF0, Byte(number >> 14 & 0x7F), Byte(number >> 7 & 0x7F),
                             Byte(number & 0x7F), 0xF7});
}

} // namespace

class JackMIDIConcurrency : public JackServerTest {};

TEST_F(JackMIDIConcurrency, SendsWhilePortsComeAndGoLoseAndDuplicateNothingThatStays)
{
    Watchdog watchdog(240, "sending while JACK ports come and go");
    constexpr int kRounds = 40;
    constexpr UInt32 kPerSlice = 4;
    const std::string stayName = "plenko-stay-" + std::to_string(getpid());
    const std::string churnName = "plenko-churn-" + std::to_string(getpid());
    JackPeer stay(stayName, {"in"});
    ASSERT_TRUE(stay.IsOpen());
    const MIDIEndpointRef stayDestination = WaitForDestination(stayName + ": in");
    ASSERT_NE(stayDestination, 0u);
    MIDITestClient client;

    // The render thread: a slice of messages every millisecond, stamped a little ahead as a unit
    // stamps them, to the destination that stays and to the one that comes and goes.
    std::atomic<MIDIEndpointRef> churnDestination{0};
    std::atomic<bool> stop{false};
    std::atomic<UInt32> sent{0};
    std::thread render([&] {
        UInt32 number = 0;
        while (!stop.load()) {
            const MIDITimeStamp stamp = AudioGetCurrentHostTime() + 1000000;
            for (UInt32 n = 0; n < kPerSlice; ++n, ++number) {
                const MIDIPacketList list = Numbered(stamp, number);
                OSStatus status;
                while ((status = MIDISend(client.Port(), stayDestination, &list)) ==
                       kMIDIMessageSendErr)
                    std::this_thread::yield();
                EXPECT_EQ(status, noErr);
                const OSStatus churned = MIDISend(client.Port(), churnDestination.load(), &list);
                EXPECT_TRUE(churned == noErr || churned == kMIDIUnknownEndpoint ||
                            churned == kMIDINoConnection || churned == kMIDIMessageSendErr)
                    << churned;
            }
            sent.store(number);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    int churnReceived = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::optional<JackPeer> churn;
        churn.emplace(churnName, std::vector<std::string>{"in"});
        ASSERT_TRUE(churn->IsOpen());
        const MIDIEndpointRef destination = WaitForDestination(churnName + ": in");
        ASSERT_NE(destination, 0u) << "round " << round;
        // The port of the same name comes back as the same destination.
        ASSERT_TRUE(round == 0 || destination == churnDestination.load()) << "round " << round;
        churnDestination.store(destination);
        churnReceived += int(churn->WaitFor(10).size());
        churn.reset();
        ASSERT_TRUE(WaitUntilGone(destination)) << "round " << round;
    }
    stop.store(true);
    render.join();

    // Nothing repeated or out of order, nothing dropped by the services; nothing missing either,
    // unless the server missed cycles, which loses their MIDI for a client it did not run. A
    // cycle that went on without the backend's client (TSan slows it past the server's deadline)
    // hands its last events on again a whole number of periods later: those copies are the
    // server's, and only excused when the server was disturbed.
    const UInt32 total = sent.load();
    // The copies count among the arrivals: the last messages come a few cycles after the count.
    stay.WaitFor(total, std::chrono::seconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    NumberedEvents numbered;
    for (const JackPeerEvent& event : stay.WaitFor(0, std::chrono::milliseconds(0))) {
        ASSERT_EQ(event.length, 5u);
        numbered.emplace_back(int(event.data[1]) << 14 | int(event.data[2]) << 7 | event.data[3],
                              event.frame);
    }
    const size_t staleCopies = TakeOutStaleCopies(numbered, stay.BufferSize()).size();
    EXPECT_TRUE(staleCopies == 0 || stay.Disturbances() > 0)
        << staleCopies << " copies a whole number of periods later on an undisturbed server";
    for (size_t n = 1; n < numbered.size(); ++n) {
        const auto earlier =
            std::find_if(numbered.begin(), numbered.begin() + long(n),
                         [&](const auto& e) { return e.first == numbered[n].first; });
        ASSERT_GT(numbered[n].first, numbered[n - 1].first)
            << "repeated or out of order at " << n << ": number " << numbered[n].first
            << " at frame " << numbered[n].second << " after number " << numbered[n - 1].first
            << " at frame " << numbered[n - 1].second
            << (earlier == numbered.begin() + long(n)
                    ? std::string(", its first arrival")
                    : ", first at frame " + std::to_string(earlier->second));
    }
    EXPECT_EQ(IntegerProperty(stayDestination, kMIDIPropertyDroppedPacketCount), 0);
    if (stay.Xruns() == 0) {
        EXPECT_EQ(numbered.size(), size_t(total)) << "lost";
    }
    EXPECT_GT(churnReceived, 0) << "the port that came and went never received anything";
    std::cout << total << " messages to the port that stayed, " << numbered.size()
              << " received once, server xruns " << stay.Xruns() << ", the server's copies "
              << stay.ServerCopies().size() + staleCopies << "; " << kRounds
              << " rounds of a port that came and went" << std::endl;
}

// Callbacks keep passing the gate on three threads while it is shut and the target freed at once,
// as a close left to its thread keeps calling back after the backend is gone: once the shut
// returns, no call is in the target and none enters it (the sanitizers see any that touch it).
TEST(JackCallbackGate, NoCallReachesTheTargetOnceTheGateIsShut)
{
    Watchdog watchdog(120, "callbacks passing a gate that is shut");
    struct Target {
        std::atomic<UInt64> calls{0};
    };
    for (int round = 0; round < 50; ++round) {
        auto target = std::make_unique<Target>();
        JackCallbackGate<Target> gate(*target);
        std::atomic<bool> shut{false}, stop{false};
        std::atomic<UInt64> callsAfterShut{0};
        std::vector<std::thread> callers;
        for (int n = 0; n < 3; ++n)
            callers.emplace_back([&] {
                while (!stop.load())
                    gate.Pass([&](Target& reached) {
                        reached.calls.fetch_add(1);
                        std::this_thread::yield(); // a call long enough to be inside at the shut
                        if (shut.load())
                            callsAfterShut.fetch_add(1);
                    });
            });
        while (target->calls.load() < 100)
            std::this_thread::yield();
        gate.Shut();
        shut.store(true);
        target.reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        stop.store(true);
        for (std::thread& caller : callers)
            caller.join();
        EXPECT_EQ(callsAfterShut.load(), 0u) << "round " << round;
    }
}

// The process callback stores cycle after cycle, each with all fields made from its number, while
// a render thread reads: every cycle read is one the callback stored whole, and none goes back.
TEST(JackCycleRecord, AReaderSeesOneCycleWholeOrNone)
{
    Watchdog watchdog(120, "reading cycles while they are stored");
    const auto cycleNumbered = [](UInt32 k) {
        return MIDIAudioServerCycle{UInt64(k) * 1000,     UInt64(k) * 1000 + 999,
                                    UInt64(k) * 1000 + 7, k * 256,
                                    256 + k % 3,          48000 + k};
    };
    constexpr UInt32 kCycles = 200000;
    JackCycleRecord record;
    std::atomic<bool> done{false};
    std::thread callback([&] {
        for (UInt32 k = 1; k <= kCycles; ++k)
            record.Store(cycleNumbered(k));
        done.store(true);
    });
    UInt64 read = 0, mixed = 0, backwards = 0;
    UInt32 last = 0;
    while (!done.load()) {
        MIDIAudioServerCycle cycle{};
        if (!record.Load(cycle))
            continue;
        const UInt32 k = UInt32(cycle.start / 1000);
        const MIDIAudioServerCycle whole = cycleNumbered(k);
        ++read;
        if (cycle.next != whole.next || cycle.begun != whole.begun ||
            cycle.firstFrame != whole.firstFrame || cycle.frames != whole.frames ||
            cycle.sampleRate != whole.sampleRate)
            ++mixed;
        if (k < last)
            ++backwards;
        last = k;
    }
    callback.join();
    MIDIAudioServerCycle cycle{};
    ASSERT_TRUE(record.Load(cycle));
    EXPECT_EQ(cycle.start, UInt64(kCycles) * 1000);
    EXPECT_EQ(mixed, 0u) << "of " << read << " read";
    EXPECT_EQ(backwards, 0u);
    record.Clear();
    EXPECT_FALSE(record.Load(cycle));
}
