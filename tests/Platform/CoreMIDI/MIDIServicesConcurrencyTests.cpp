#include "MIDIRecorder.h"

#include "Watchdog.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr UInt32 kMessagesPerSender = 100000;

// Message: sender id and a 21-bit running number, in one SysEx packet.
MIDIPacketList NumberedMessage(UInt32 sender, UInt32 number)
{
    return OnePacket(0, {0xF0, Byte(sender), Byte(number >> 14 & 0x7F), Byte(number >> 7 & 0x7F),
                         Byte(number & 0x7F), 0xF7});
}

// Sends until the queue takes the message: a full queue is a status, never a loss.
UInt64 SendRetrying(MIDIPortRef port, MIDIEndpointRef destination, const MIDIPacketList& list)
{
    UInt64 refusals = 0;
    OSStatus status;
    while ((status = MIDISend(port, destination, &list)) == kMIDIMessageSendErr) {
        ++refusals;
        std::this_thread::yield();
    }
    EXPECT_EQ(status, noErr);
    return refusals;
}

} // namespace

TEST(MIDIServicesConcurrency, TwoSendersLoseAndDuplicateNothingAndKeepTheirOrder)
{
    Watchdog watchdog(240, "two MIDI senders");
    MIDITestClient client;
    MIDIRecorder recorder(client.Client(), "Counting");

    std::atomic<UInt64> refusals{0};
    std::vector<std::thread> senders;
    for (UInt32 sender = 0; sender < 2; ++sender)
        senders.emplace_back([&, sender] {
            for (UInt32 number = 0; number < kMessagesPerSender; ++number)
                refusals += SendRetrying(client.Port(), recorder.Endpoint(),
                                         NumberedMessage(sender, number));
        });
    for (std::thread& thread : senders)
        thread.join();

    const std::vector<ReceivedPacket> received =
        recorder.WaitFor(2 * kMessagesPerSender, std::chrono::milliseconds(60000));
    ASSERT_EQ(received.size(), 2 * kMessagesPerSender);
    UInt32 expectedNext[2] = {0, 0};
    for (const ReceivedPacket& packet : received) {
        ASSERT_EQ(packet.data.size(), 6u);
        const UInt32 sender = packet.data[1];
        ASSERT_LT(sender, 2u);
        const UInt32 number =
            UInt32(packet.data[2]) << 14 | UInt32(packet.data[3]) << 7 | UInt32(packet.data[4]);
        ASSERT_EQ(number, expectedNext[sender]) << "sender " << sender << " lost or reordered";
        ++expectedNext[sender];
    }
    std::cout << "queue refusals retried: " << refusals.load() << std::endl;
}

namespace {

// A destination whose read procedure is slow and notes any call after its disposal returned.
struct SlowDestination {
    std::atomic<bool> disposed{false};
    std::atomic<int> calls{0};
    std::atomic<int> callsAfterDisposal{0};

    static void Read(const MIDIPacketList*, void* refCon, void*)
    {
        auto* self = static_cast<SlowDestination*>(refCon);
        if (self->disposed.load())
            ++self->callsAfterDisposal;
        ++self->calls;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (self->disposed.load())
            ++self->callsAfterDisposal;
    }
};

} // namespace

TEST(MIDIServicesConcurrency, NoReadProcedureRunsAfterItsDisposalReturned)
{
    Watchdog watchdog(120, "dispose during delivery");
    MIDITestClient client;
    for (int round = 0; round < 20; ++round) {
        SlowDestination slow;
        MIDIEndpointRef endpoint = 0;
        ASSERT_EQ(MIDIDestinationCreate(client.Client(), CFSTR("Slow"), &SlowDestination::Read,
                                        &slow, &endpoint),
                  noErr);
        std::atomic<bool> stop{false};
        std::thread sender([&] {
            MIDIPacketList list = OnePacket(0, {0x90, 60, 1});
            while (!stop.load() && MIDISend(client.Port(), endpoint, &list) != kMIDIUnknownEndpoint)
                std::this_thread::yield();
        });
        while (slow.calls.load() < 3)
            std::this_thread::yield();
        ASSERT_EQ(MIDIEndpointDispose(endpoint), noErr);
        slow.disposed.store(true);
        stop.store(true);
        sender.join();
        // Give a stray delivery the chance to show itself before `slow` goes away.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(slow.callsAfterDisposal.load(), 0) << "round " << round;
    }
}

namespace {

struct SelfDisposingDestination {
    MIDIEndpointRef endpoint = 0;
    std::atomic<int> calls{0};

    static void Read(const MIDIPacketList*, void* refCon, void*)
    {
        auto* self = static_cast<SelfDisposingDestination*>(refCon);
        if (++self->calls == 1) {
            EXPECT_EQ(MIDIEndpointDispose(self->endpoint), noErr);
        }
    }
};

} // namespace

TEST(MIDIServicesConcurrency, AReadProcedureMayDisposeItsOwnEndpoint)
{
    Watchdog watchdog(30, "read procedure disposing its own endpoint");
    MIDITestClient client;
    SelfDisposingDestination destination;
    ASSERT_EQ(MIDIDestinationCreate(client.Client(), CFSTR("Self"), &SelfDisposingDestination::Read,
                                    &destination, &destination.endpoint),
              noErr);
    alignas(MIDIPacketList) Byte buffer[256];
    auto* list = reinterpret_cast<MIDIPacketList*>(buffer);
    MIDIPacket* packet = MIDIPacketListInit(list);
    for (Byte n = 0; n < 5; ++n) {
        const Byte message[] = {0xF0, n, 0xF7};
        packet = MIDIPacketListAdd(list, sizeof buffer, packet, 0, 3, message);
    }
    ASSERT_EQ(MIDISend(client.Port(), destination.endpoint, list), noErr);

    // The services must still work afterwards: a later packet reaches another destination.
    MIDIRecorder witness(client.Client(), "Witness");
    MIDIPacketList after = OnePacket(0, {0x90, 1, 1});
    ASSERT_EQ(MIDISend(client.Port(), witness.Endpoint(), &after), noErr);
    EXPECT_EQ(witness.WaitFor(1).size(), 1u);
    EXPECT_EQ(destination.calls.load(), 1) << "nothing after the endpoint disposed itself";
}

namespace {

// A destination that knows which round of creation it belongs to and counts packets of others.
struct RoundDestination {
    UInt32 round = 0;
    std::atomic<int> received{0};
    std::atomic<int> foreign{0};

    static void Read(const MIDIPacketList* list, void* refCon, void*)
    {
        auto* self = static_cast<RoundDestination*>(refCon);
        const MIDIPacket& packet = list->packet[0];
        const UInt32 round = UInt32(packet.data[1]) << 7 | packet.data[2];
        ++(round == self->round ? self->received : self->foreign);
    }
};

} // namespace

TEST(MIDIServicesConcurrency, StaleReferencesNeverReachTheNextObjectInTheSameSlot)
{
    Watchdog watchdog(120, "endpoint churn while sending");
    // More rounds than the services have object slots (1024, taken in turn), so slots come round.
    constexpr UInt32 kRounds = 1200;
    MIDITestClient client;
    // The sender's view of the current destination: round in the high half, reference low.
    std::atomic<UInt64> current{0};
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        while (!stop.load()) {
            const UInt64 target = current.load();
            const UInt32 round = UInt32(target >> 32);
            MIDIPacketList list =
                OnePacket(0, {0xF0, Byte(round >> 7 & 0x7F), Byte(round & 0x7F), 0xF7});
            const OSStatus status = MIDISend(client.Port(), MIDIEndpointRef(target), &list);
            EXPECT_TRUE(status == noErr || status == kMIDIUnknownEndpoint ||
                        status == kMIDIMessageSendErr)
                << status;
        }
    });

    std::vector<MIDIEndpointRef> refs;
    int delivered = 0;
    for (UInt32 round = 1; round <= kRounds; ++round) {
        RoundDestination destination;
        destination.round = round;
        MIDIEndpointRef endpoint = 0;
        ASSERT_EQ(MIDIDestinationCreate(client.Client(), CFSTR("Churn"), &RoundDestination::Read,
                                        &destination, &endpoint),
                  noErr);
        refs.push_back(endpoint);
        current.store(UInt64(round) << 32 | endpoint);
        // Until the destination has had a packet, or briefly when the machine is too busy.
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2);
        while (destination.received.load() == 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        ASSERT_EQ(MIDIEndpointDispose(endpoint), noErr);
        EXPECT_EQ(destination.foreign.load(), 0) << "round " << round;
        delivered += destination.received.load();
    }
    stop.store(true);
    sender.join();
    EXPECT_GT(delivered, 0);
    std::sort(refs.begin(), refs.end());
    EXPECT_EQ(std::unique(refs.begin(), refs.end()), refs.end()) << "a reference was reissued";
}
