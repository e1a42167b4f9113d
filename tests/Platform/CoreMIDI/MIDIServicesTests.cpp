#include "MIDIRecorder.h"

#include "CFLeakCheck.h"
#include "CFText.h"
#include "ThreadScheduling.h"
#include "Watchdog.h"

#include <CoreFoundation/CoreFoundation.h>
#include <RealTimeScheduling.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <sched.h>
#include <string>
#include <thread>

namespace {

constexpr UInt64 kMillis = 1000000;

// Sends the message at each stamp, all in one list.
void SendInOneList(const MIDITestClient& client, MIDIEndpointRef destination,
                   const std::vector<MIDITimeStamp>& stamps, const std::vector<Byte>& message)
{
    alignas(MIDIPacketList) Byte buffer[1024];
    auto* list = reinterpret_cast<MIDIPacketList*>(buffer);
    MIDIPacket* packet = MIDIPacketListInit(list);
    for (MIDITimeStamp stamp : stamps)
        packet =
            MIDIPacketListAdd(list, sizeof buffer, packet, stamp, message.size(), message.data());
    ASSERT_EQ(list->numPackets, stamps.size());
    ASSERT_EQ(MIDISend(client.Port(), destination, list), noErr);
}

std::vector<MIDITimeStamp> StampsOf(const std::vector<ReceivedPacket>& received)
{
    std::vector<MIDITimeStamp> stamps;
    for (const ReceivedPacket& arrived : received)
        stamps.push_back(arrived.stamp);
    return stamps;
}

} // namespace

TEST(MIDIServices, DestinationsAreListedInCreationOrderWithTheirNames)
{
    const std::vector<MIDIEndpointRef> before = Destinations();
    MIDITestClient client;
    MIDIRecorder first(client.Client(), "First");
    MIDIRecorder second(client.Client(), "Zweite \xC3\xA9");
    MIDIEndpointRef third = 0;
    ASSERT_EQ(MIDIDestinationCreate(client.Client(), CFSTR("Third"), nullptr, nullptr, &third),
              noErr);

    std::vector<MIDIEndpointRef> expected = before;
    expected.insert(expected.end(), {first.Endpoint(), second.Endpoint(), third});
    EXPECT_EQ(Destinations(), expected);
    EXPECT_EQ(MIDIGetDestination(MIDIGetNumberOfDestinations()), 0u);
    EXPECT_EQ(StringProperty(second.Endpoint(), kMIDIPropertyName), "Zweite \xC3\xA9");
    EXPECT_EQ(StringProperty(second.Endpoint(), kMIDIPropertyDisplayName), "Zweite \xC3\xA9");
    EXPECT_EQ(StringProperty(client.Port(), kMIDIPropertyName), "Test Output");
    EXPECT_EQ(StringProperty(client.Client(), kMIDIPropertyName), "Test Client");
    // A property name made at run time is the same property as the constant.
    CFStringRef madeName = CFStringCreateWithCString(nullptr, "name", kCFStringEncodingUTF8);
    EXPECT_EQ(StringProperty(third, madeName), "Third");
    CFRelease(madeName);

    ASSERT_EQ(MIDIEndpointDispose(first.Endpoint()), noErr);
    expected.erase(std::find(expected.begin(), expected.end(), first.Endpoint()));
    EXPECT_EQ(Destinations(), expected) << "the others keep their order";
    EXPECT_EQ(MIDIEndpointDispose(first.Endpoint()), kMIDIUnknownEndpoint);
}

TEST(MIDIServices, IntegerProperties)
{
    MIDITestClient client;
    MIDIRecorder a(client.Client(), "A");
    MIDIRecorder b(client.Client(), "B");
    SInt32 idA = 0, idB = 0, value = -1;
    ASSERT_EQ(MIDIObjectGetIntegerProperty(a.Endpoint(), kMIDIPropertyUniqueID, &idA), noErr);
    ASSERT_EQ(MIDIObjectGetIntegerProperty(b.Endpoint(), kMIDIPropertyUniqueID, &idB), noErr);
    EXPECT_NE(idA, 0);
    EXPECT_NE(idA, idB);
    EXPECT_EQ(MIDIObjectSetIntegerProperty(b.Endpoint(), kMIDIPropertyUniqueID, idA),
              kMIDIIDNotUnique);
    EXPECT_EQ(MIDIObjectSetIntegerProperty(b.Endpoint(), kMIDIPropertyUniqueID, 4711), noErr);
    EXPECT_EQ(MIDIObjectGetIntegerProperty(b.Endpoint(), kMIDIPropertyUniqueID, &value), noErr);
    EXPECT_EQ(value, 4711);

    EXPECT_EQ(MIDIObjectGetIntegerProperty(a.Endpoint(), kMIDIPropertyIsEmbeddedEntity, &value),
              noErr);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(
        MIDIObjectGetIntegerProperty(a.Endpoint(), kMIDIPropertyAdvanceScheduleTimeMuSec, &value),
        noErr);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(
        MIDIObjectSetIntegerProperty(a.Endpoint(), kMIDIPropertyAdvanceScheduleTimeMuSec, 2500),
        noErr);
    EXPECT_EQ(
        MIDIObjectGetIntegerProperty(a.Endpoint(), kMIDIPropertyAdvanceScheduleTimeMuSec, &value),
        noErr);
    EXPECT_EQ(value, 2500);
    EXPECT_EQ(MIDIObjectSetIntegerProperty(a.Endpoint(), kMIDIPropertyAdvanceScheduleTimeMuSec, -1),
              -50);

    EXPECT_EQ(
        MIDIObjectGetIntegerProperty(client.Port(), kMIDIPropertyAdvanceScheduleTimeMuSec, &value),
        kMIDIUnknownProperty);
    EXPECT_EQ(MIDIObjectGetIntegerProperty(a.Endpoint(), CFSTR("noSuchProperty"), &value),
              kMIDIUnknownProperty);
    EXPECT_EQ(MIDIObjectSetIntegerProperty(a.Endpoint(), kMIDIPropertyName, 1),
              kMIDIWrongPropertyType);
    CFStringRef text = nullptr;
    EXPECT_EQ(MIDIObjectGetStringProperty(a.Endpoint(), kMIDIPropertyUniqueID, &text),
              kMIDIUnknownProperty);
    EXPECT_EQ(text, nullptr);
}

TEST(MIDIServices, PacketsArriveInStampOrderWithEqualStampsInSendOrder)
{
    MIDITestClient client;
    MIDIRecorder recorder(client.Client(), "Order");
    const UInt64 base = AudioGetCurrentHostTime() + 50 * kMillis;

    // Three lists sent out of stamp order; equal stamps in separate lists and in one list.
    alignas(MIDIPacketList) Byte buffer[1024];
    auto* list = reinterpret_cast<MIDIPacketList*>(buffer);
    MIDIPacket* packet = MIDIPacketListInit(list);
    const Byte sysEx1[] = {0xF0, 1, 0xF7}, sysEx2[] = {0xF0, 2, 0xF7};
    packet = MIDIPacketListAdd(list, sizeof buffer, packet, base + 20 * kMillis, 3, sysEx1);
    packet = MIDIPacketListAdd(list, sizeof buffer, packet, base + 20 * kMillis, 3, sysEx2);
    ASSERT_EQ(list->numPackets, 2u);
    ASSERT_EQ(MIDISend(client.Port(), recorder.Endpoint(), list), noErr);
    MIDIPacketList later = OnePacket(base + 20 * kMillis, {0x90, 3, 1});
    MIDIPacketList earlier = OnePacket(base + 10 * kMillis, {0x90, 4, 1});
    MIDIPacketList now = OnePacket(0, {0x90, 5, 1});
    ASSERT_EQ(MIDISend(client.Port(), recorder.Endpoint(), &later), noErr);
    ASSERT_EQ(MIDISend(client.Port(), recorder.Endpoint(), &earlier), noErr);
    ASSERT_EQ(MIDISend(client.Port(), recorder.Endpoint(), &now), noErr);

    const std::vector<ReceivedPacket> received = recorder.WaitFor(5);
    ASSERT_EQ(received.size(), 5u);
    const std::vector<std::vector<Byte>> expectedData = {
        {0x90, 5, 1}, {0x90, 4, 1}, {0xF0, 1, 0xF7}, {0xF0, 2, 0xF7}, {0x90, 3, 1}};
    const std::vector<MIDITimeStamp> expectedStamps = {0, base + 10 * kMillis, base + 20 * kMillis,
                                                       base + 20 * kMillis, base + 20 * kMillis};
    for (size_t i = 0; i < received.size(); ++i) {
        EXPECT_EQ(received[i].data, expectedData[i]) << "packet " << i;
        EXPECT_EQ(received[i].stamp, expectedStamps[i]) << "packet " << i;
        EXPECT_GE(received[i].arrival, received[i].stamp) << "packet " << i;
    }
}

TEST(MIDIServices, AnEarlierPacketIsNotHeldBackByALaterOne)
{
    MIDITestClient client;
    MIDIRecorder recorder(client.Client(), "Wake");
    const UInt64 now = AudioGetCurrentHostTime();
    MIDIPacketList distant = OnePacket(now + 2000 * kMillis, {0x90, 1, 1});
    ASSERT_EQ(MIDISend(client.Port(), recorder.Endpoint(), &distant), noErr);
    std::this_thread::sleep_for(std::chrono::milliseconds(5)); // the scheduler sleeps till then
    MIDIPacketList soon = OnePacket(now + 20 * kMillis, {0x90, 2, 2});
    ASSERT_EQ(MIDISend(client.Port(), recorder.Endpoint(), &soon), noErr);
    const std::vector<ReceivedPacket> received =
        recorder.WaitFor(1, std::chrono::milliseconds(1000));
    ASSERT_EQ(received.size(), 1u) << "the earlier packet waited for the later one";
    EXPECT_EQ(received[0].data, (std::vector<Byte>{0x90, 2, 2}));
    EXPECT_GE(received[0].arrival, now + 20 * kMillis);
}

TEST(MIDIServices, AdvanceSchedulingDeliversFutureStampsAtOnce)
{
    MIDITestClient client;
    MIDIRecorder recorder(client.Client(), "Recorder");
    ASSERT_EQ(MIDIObjectSetIntegerProperty(recorder.Endpoint(),
                                           kMIDIPropertyAdvanceScheduleTimeMuSec, 60000000),
              noErr);
    const UInt64 sent = AudioGetCurrentHostTime();
    // Seconds ahead, and stamps smaller than the advance itself (due before the clock began).
    const std::vector<MIDITimeStamp> stamps = {
        sent + 30000 * kMillis, sent + 10000 * kMillis, sent + 20000 * kMillis, 3000, 1000, 2000};
    SendInOneList(client, recorder.Endpoint(), stamps, {0xB0, 7, 100});
    const std::vector<ReceivedPacket> received =
        recorder.WaitFor(6, std::chrono::milliseconds(2000));
    ASSERT_EQ(received.size(), 6u) << "packets stamped seconds ahead must come at once";
    // All fall due together (their stamps less a minute lie in the past), still in stamp order.
    for (const ReceivedPacket& arrived : received)
        EXPECT_LT(arrived.arrival, stamps[1]);
    EXPECT_EQ(StampsOf(received), (std::vector<MIDITimeStamp>{stamps[4], stamps[5], stamps[3],
                                                              stamps[1], stamps[2], stamps[0]}));
}

TEST(MIDIServices, WithoutAdvanceNoPacketArrivesEarly)
{
    MIDITestClient client;
    MIDIRecorder recorder(client.Client(), "Timing");
    constexpr int kPackets = 200;
    const UInt64 start = AudioGetCurrentHostTime() + 5 * kMillis;
    // Stamps half a millisecond apart, sent in lists of four.
    for (int i = 0; i < kPackets; i += 4) {
        alignas(MIDIPacketList) Byte buffer[256];
        auto* list = reinterpret_cast<MIDIPacketList*>(buffer);
        MIDIPacket* packet = MIDIPacketListInit(list);
        for (int j = i; j < i + 4; ++j) {
            const Byte message[] = {0x90, Byte(j & 0x7F), 1};
            packet = MIDIPacketListAdd(list, sizeof buffer, packet, start + UInt64(j) * kMillis / 2,
                                       3, message);
            ASSERT_NE(packet, nullptr);
        }
        ASSERT_EQ(MIDISend(client.Port(), recorder.Endpoint(), list), noErr);
    }
    std::vector<ReceivedPacket> received = recorder.WaitFor(kPackets);
    ASSERT_EQ(received.size(), size_t(kPackets));
    std::vector<UInt64> lateness;
    for (const ReceivedPacket& packet : received) {
        ASSERT_GE(packet.arrival, packet.stamp) << "delivered before its stamp";
        lateness.push_back(packet.arrival - packet.stamp);
    }
    std::sort(lateness.begin(), lateness.end());
    const double medianMicros = double(lateness[lateness.size() / 2]) / 1000.0;
    const double largestMicros = double(lateness.back()) / 1000.0;
    std::cout << "MIDI delivery lateness over " << kPackets << " packets: median " << medianMicros
              << " us, largest " << largestMicros << " us" << std::endl;
    RecordProperty("LatenessMedianMicros", std::to_string(medianMicros));
    RecordProperty("LatenessLargestMicros", std::to_string(largestMicros));
}

TEST(MIDIServices, DisposedAndUnknownReferencesAreRefused)
{
    MIDIPacketList list = OnePacket(0, {0x90, 60, 1});
    MIDIClientRef client = 0;
    MIDIPortRef port = 0;
    MIDIEndpointRef destination = 0;
    ASSERT_EQ(MIDIClientCreate(CFSTR("Doomed"), nullptr, nullptr, &client), noErr);
    ASSERT_EQ(MIDIOutputPortCreate(client, CFSTR("Out"), &port), noErr);
    ASSERT_EQ(MIDIDestinationCreate(client, CFSTR("In"), nullptr, nullptr, &destination), noErr);
    EXPECT_EQ(MIDISend(port, destination, &list), noErr);
    EXPECT_EQ(MIDISend(port, port, &list), kMIDIWrongEndpointType);
    EXPECT_EQ(MIDISend(destination, destination, &list), kMIDIInvalidPort);
    EXPECT_EQ(MIDISend(port, 0x12345678, &list), kMIDIUnknownEndpoint);
    EXPECT_EQ(MIDIEndpointDispose(port), kMIDIWrongEndpointType);
    EXPECT_EQ(MIDIClientDispose(port), kMIDIInvalidClient);
    EXPECT_EQ(MIDIPortDispose(client), kMIDIInvalidPort);

    ASSERT_EQ(MIDIEndpointDispose(destination), noErr);
    EXPECT_EQ(MIDISend(port, destination, &list), kMIDIUnknownEndpoint);
    ASSERT_EQ(MIDIDestinationCreate(client, CFSTR("In again"), nullptr, nullptr, &destination),
              noErr);
    // Disposing the client takes its port and destination with it.
    ASSERT_EQ(MIDIClientDispose(client), noErr);
    EXPECT_EQ(MIDISend(port, destination, &list), kMIDIInvalidPort);
    EXPECT_EQ(MIDIPortDispose(port), kMIDIInvalidPort);
    EXPECT_EQ(MIDIEndpointDispose(destination), kMIDIUnknownEndpoint);
    EXPECT_EQ(MIDIClientDispose(client), kMIDIInvalidClient);
    const std::vector<MIDIEndpointRef> remaining = Destinations();
    EXPECT_EQ(std::count(remaining.begin(), remaining.end(), destination), 0);

    // A new object does not revive an old reference.
    MIDIClientRef reused = 0;
    ASSERT_EQ(MIDIClientCreate(CFSTR("Reused"), nullptr, nullptr, &reused), noErr);
    EXPECT_NE(reused, client);
    EXPECT_EQ(MIDIClientDispose(client), kMIDIInvalidClient);
    EXPECT_EQ(MIDIClientDispose(reused), noErr);
}

TEST(MIDIServices, AStaleReferenceStaysStaleThroughAMillionCreations)
{
    // A slot's generation field counts 2^20 objects; a reference must not come back to life
    // when one create-dispose cycle after another runs through that many.
    MIDITestClient client;
    MIDIPortRef stale = 0;
    ASSERT_EQ(MIDIOutputPortCreate(client.Client(), CFSTR("Stale"), &stale), noErr);
    ASSERT_EQ(MIDIPortDispose(stale), noErr);
    bool revived = false;
    for (UInt32 cycle = 0; cycle < (1u << 20) && !revived; ++cycle) {
        MIDIPortRef port = 0;
        ASSERT_EQ(MIDIOutputPortCreate(client.Client(), CFSTR("Churn"), &port), noErr);
        revived = port == stale;
        ASSERT_EQ(MIDIPortDispose(port), noErr);
    }
    EXPECT_FALSE(revived) << "a new port was given the reference of a disposed one";
}

TEST(MIDIServices, EveryFunctionAnswersNullAndUnknownReferencesWithAStatus)
{
    MIDIPacketList list = OnePacket(0, {0x90, 60, 1});
    MIDIClientRef client = 0;
    MIDIPortRef port = 0;
    MIDIEndpointRef endpoint = 0;
    CFStringRef text = nullptr;
    SInt32 value = 0;
    for (MIDIObjectRef bad : {MIDIObjectRef(0), MIDIObjectRef(0xFFFFFFFF), MIDIObjectRef(1234)}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(MIDIClientDispose(bad), kMIDIInvalidClient);
        EXPECT_EQ(MIDIPortDispose(bad), kMIDIInvalidPort);
        EXPECT_EQ(MIDIEndpointDispose(bad), kMIDIUnknownEndpoint);
        EXPECT_EQ(MIDIOutputPortCreate(bad, CFSTR("p"), &port), kMIDIInvalidClient);
        EXPECT_EQ(port, 0u);
        EXPECT_EQ(MIDIDestinationCreate(bad, CFSTR("d"), nullptr, nullptr, &endpoint),
                  kMIDIInvalidClient);
        EXPECT_EQ(endpoint, 0u);
        EXPECT_EQ(MIDISend(bad, bad, &list), kMIDIInvalidPort);
        EXPECT_EQ(MIDIObjectGetStringProperty(bad, kMIDIPropertyName, &text), kMIDIObjectNotFound);
        EXPECT_EQ(text, nullptr);
        EXPECT_EQ(MIDIObjectGetIntegerProperty(bad, kMIDIPropertyUniqueID, &value),
                  kMIDIObjectNotFound);
        EXPECT_EQ(MIDIObjectSetIntegerProperty(bad, kMIDIPropertyUniqueID, 5), kMIDIObjectNotFound);
    }

    MIDITestClient good;
    MIDIRecorder recorder(good.Client(), "Null checks");
    EXPECT_EQ(MIDIClientCreate(CFSTR("c"), nullptr, nullptr, nullptr), -50);
    EXPECT_EQ(MIDIClientCreate(nullptr, nullptr, nullptr, &client), -50);
    EXPECT_EQ(MIDIOutputPortCreate(good.Client(), nullptr, &port), -50);
    EXPECT_EQ(MIDIOutputPortCreate(good.Client(), CFSTR("p"), nullptr), -50);
    EXPECT_EQ(MIDIDestinationCreate(good.Client(), CFSTR("d"), nullptr, nullptr, nullptr), -50);
    EXPECT_EQ(MIDISend(good.Port(), recorder.Endpoint(), nullptr), -50);
    EXPECT_EQ(MIDIObjectGetStringProperty(recorder.Endpoint(), nullptr, &text), -50);
    EXPECT_EQ(MIDIObjectGetStringProperty(recorder.Endpoint(), kMIDIPropertyName, nullptr), -50);
    EXPECT_EQ(MIDIObjectGetIntegerProperty(recorder.Endpoint(), nullptr, &value), -50);
    EXPECT_EQ(MIDIObjectGetIntegerProperty(recorder.Endpoint(), kMIDIPropertyUniqueID, nullptr),
              -50);
    EXPECT_EQ(MIDIObjectSetIntegerProperty(recorder.Endpoint(), nullptr, 1), -50);
}

TEST(MIDIServices, AFullQueueRefusesWholeListsAndDropsNothingItTook)
{
    Watchdog watchdog(60, "full MIDI queue");
    MIDITestClient client;
    MIDIRecorder recorder(client.Client(), "Flood");
    // Far enough ahead that nothing falls due before the pool, grown to its largest, is full.
    const UInt64 due = AudioGetCurrentHostTime() + 3000 * kMillis;

    // Three-packet lists until the queue refuses one, then single packets until it is full.
    std::vector<int> acceptedNumbers;
    int number = 0;
    alignas(MIDIPacketList) Byte buffer[256];
    auto* list = reinterpret_cast<MIDIPacketList*>(buffer);
    for (int listSize : {3, 1}) {
        while (true) {
            MIDIPacket* packet = MIDIPacketListInit(list);
            for (int n = 0; n < listSize; ++n) {
                const Byte message[] = {0xF0, Byte(number >> 14 & 0x7F), Byte(number >> 7 & 0x7F),
                                        Byte(number & 0x7F), 0xF7};
                packet = MIDIPacketListAdd(list, sizeof buffer, packet, due, 5, message);
                ++number;
            }
            const OSStatus status = MIDISend(client.Port(), recorder.Endpoint(), list);
            if (status != noErr) {
                EXPECT_EQ(status, kMIDIMessageSendErr);
                break;
            }
            for (int n = number - listSize; n < number; ++n)
                acceptedNumbers.push_back(n);
        }
    }
    ASSERT_GT(acceptedNumbers.size(), 100u);
    EXPECT_EQ(IntegerProperty(recorder.Endpoint(), kMIDIPropertyRefusedMessageCount), 3 + 1)
        << "the messages of the two refused lists";

    const std::vector<ReceivedPacket> received =
        recorder.WaitFor(acceptedNumbers.size(), std::chrono::milliseconds(10000));
    std::vector<int> receivedNumbers;
    for (const ReceivedPacket& packet : received)
        receivedNumbers.push_back(packet.data[1] << 14 | packet.data[2] << 7 | packet.data[3]);
    EXPECT_EQ(receivedNumbers, acceptedNumbers);

    // Once delivered, the queue takes lists again.
    MIDIPacketList one = OnePacket(0, {0x90, 1, 1});
    EXPECT_EQ(MIDISend(client.Port(), recorder.Endpoint(), &one), noErr);
}

TEST(MIDIServices, DisposingFreesThePacketsQueuedForAnEndpoint)
{
    Watchdog watchdog(60, "disposal frees queued packets");
    MIDITestClient client;
    MIDIEndpointRef distant = 0;
    ASSERT_EQ(MIDIDestinationCreate(client.Client(), CFSTR("Distant"), nullptr, nullptr, &distant),
              noErr);
    // Stamps an hour ahead would hold their slots for that hour unless disposal frees them.
    MIDIPacketList list = OnePacket(AudioGetCurrentHostTime() + 3600000 * kMillis, {0x90, 1, 1});
    int accepted = 0;
    while (MIDISend(client.Port(), distant, &list) == noErr)
        ++accepted;
    ASSERT_GT(accepted, 0);
    ASSERT_EQ(MIDIEndpointDispose(distant), noErr);

    MIDIRecorder recorder(client.Client(), "After");
    MIDIPacketList now = OnePacket(0, {0x90, 2, 2});
    OSStatus status = kMIDIMessageSendErr;
    for (int attempt = 0; attempt < 1000 && status != noErr; ++attempt) {
        status = MIDISend(client.Port(), recorder.Endpoint(), &now);
        if (status != noErr)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(status, noErr);
    EXPECT_EQ(recorder.WaitFor(1).size(), 1u);
}

namespace {

struct SetupWatcher {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<MIDINotificationMessageID> messages;

    static void Notify(const MIDINotification* message, void* refCon)
    {
        auto* self = static_cast<SetupWatcher*>(refCon);
        std::lock_guard<std::mutex> lock(self->mutex);
        EXPECT_EQ(message->messageSize, sizeof(MIDINotification));
        self->messages.push_back(message->messageID);
        self->changed.notify_all();
    }

    size_t WaitFor(size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(5), [&] { return messages.size() >= count; });
        return messages.size();
    }
};

} // namespace

TEST(MIDIServices, ClientsHearOfDestinationsComingAndGoing)
{
    SetupWatcher watcher;
    MIDIClientRef watching = 0;
    ASSERT_EQ(MIDIClientCreate(CFSTR("Watcher"), &SetupWatcher::Notify, &watcher, &watching),
              noErr);
    MIDITestClient other;

    MIDIEndpointRef destination = 0;
    ASSERT_EQ(
        MIDIDestinationCreate(other.Client(), CFSTR("Coming"), nullptr, nullptr, &destination),
        noErr);
    const size_t afterCreation = watcher.WaitFor(1);
    ASSERT_GE(afterCreation, 1u);
    ASSERT_EQ(MIDIEndpointDispose(destination), noErr);
    EXPECT_GT(watcher.WaitFor(afterCreation + 1), afterCreation);
    {
        std::lock_guard<std::mutex> lock(watcher.mutex);
        for (MIDINotificationMessageID message : watcher.messages)
            EXPECT_EQ(message, kMIDIMsgSetupChanged);
    }

    // After its disposal returned the client hears nothing more.
    ASSERT_EQ(MIDIClientDispose(watching), noErr);
    const size_t atDisposal = watcher.WaitFor(0);
    MIDIRecorder later(other.Client(), "Later");
    MIDIPacketList list = OnePacket(0, {0x90, 1, 1});
    ASSERT_EQ(MIDISend(other.Port(), later.Endpoint(), &list), noErr);
    ASSERT_EQ(later.WaitFor(1).size(), 1u); // the scheduler has passed the announcement
    EXPECT_EQ(watcher.WaitFor(0), atDisposal);
}

TEST(MIDIServices, TheLatencyOffsetShiftsDeliveryButNotTheStamps)
{
    constexpr int kPackets = 20;
    for (SInt32 offsetMicros : {-5000, 0, 5000}) {
        SCOPED_TRACE(offsetMicros);
        MIDITestClient client;
        MIDIRecorder recorder(client.Client(), "Offset");
        ASSERT_EQ(MIDIObjectSetIntegerProperty(recorder.Endpoint(), kMIDIPropertyLatencyOffsetMuSec,
                                               offsetMicros),
                  noErr);
        EXPECT_EQ(IntegerProperty(recorder.Endpoint(), kMIDIPropertyLatencyOffsetMuSec),
                  offsetMicros);
        // Its read procedure takes packets directly: no delay to allow for.
        EXPECT_EQ(IntegerProperty(recorder.Endpoint(), kMIDIPropertyDeliveryDelayMuSec), 0);
        EXPECT_EQ(
            MIDIObjectSetIntegerProperty(recorder.Endpoint(), kMIDIPropertyDeliveryDelayMuSec, 1),
            kMIDINotPermitted);
        // Stamped well ahead of the send, as offline play sends them.
        const UInt64 start = AudioGetCurrentHostTime() + 100 * kMillis;
        std::vector<MIDITimeStamp> stamps;
        for (int i = 0; i < kPackets; ++i) {
            stamps.push_back(start + UInt64(i) * 5 * kMillis);
            MIDIPacketList list = OnePacket(stamps.back(), {0x90, Byte(i), 1});
            ASSERT_EQ(MIDISend(client.Port(), recorder.Endpoint(), &list), noErr);
        }
        const std::vector<ReceivedPacket> received = recorder.WaitFor(kPackets);
        ASSERT_EQ(received.size(), size_t(kPackets));
        std::vector<SInt64> lateness;
        for (int i = 0; i < kPackets; ++i) {
            EXPECT_EQ(received[i].stamp, stamps[i]) << "a read procedure sees the stamp as sent";
            const SInt64 due = SInt64(stamps[i]) + SInt64(offsetMicros) * 1000;
            EXPECT_GE(SInt64(received[i].arrival), due) << "delivered before its shifted time";
            lateness.push_back(SInt64(received[i].arrival) - due);
        }
        // Typically tens of microseconds; half the offset still tells the shifts apart.
        std::sort(lateness.begin(), lateness.end());
        EXPECT_LT(lateness[lateness.size() / 2], 2500 * SInt64(1000));
        EXPECT_EQ(IntegerProperty(recorder.Endpoint(), kMIDIPropertyLatePacketCount), 0);
    }
}

TEST(MIDIServices, APacketShiftedBeforeItsSendIsDeliveredAtOnceAndCountedLate)
{
    struct Case {
        const char* what;
        SInt64 aheadMillis; // stamp relative to the send; 0 is a stamp of 0 ("now")
        SInt32 offsetMicros;
        bool late;
    };
    const Case cases[] = {
        {"shifted before the send", 2, -5000, true}, {"stamped in the past", -3, 0, true},
        {"stamp 0 asks for now", 0, -5000, false},   {"shifted but still ahead", 40, -5000, false},
        {"delayed by the offset", -3, 5000, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        MIDITestClient client;
        MIDIRecorder recorder(client.Client(), "Late");
        ASSERT_EQ(MIDIObjectSetIntegerProperty(recorder.Endpoint(), kMIDIPropertyLatencyOffsetMuSec,
                                               test.offsetMicros),
                  noErr);
        const UInt64 sent = AudioGetCurrentHostTime();
        const MIDITimeStamp stamp =
            test.aheadMillis == 0
                ? 0
                : MIDITimeStamp(SInt64(sent) + test.aheadMillis * SInt64(kMillis));
        MIDIPacketList list = OnePacket(stamp, {0x90, 60, 1});
        ASSERT_EQ(MIDISend(client.Port(), recorder.Endpoint(), &list), noErr);
        const std::vector<ReceivedPacket> received = recorder.WaitFor(1);
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].stamp, stamp);
        EXPECT_EQ(IntegerProperty(recorder.Endpoint(), kMIDIPropertyLatePacketCount),
                  test.late ? 1 : 0);
        EXPECT_EQ(IntegerProperty(recorder.Endpoint(), kMIDIPropertyDroppedPacketCount), 0);
    }
}

TEST(MIDIServices, AnUnlimitedAdvanceDeliversEveryStampAtItsSend)
{
    MIDITestClient client;
    MIDIRecorder recorder(client.Client(), "Unlimited");
    ASSERT_EQ(MIDIObjectSetIntegerProperty(recorder.Endpoint(),
                                           kMIDIPropertyAdvanceScheduleTimeMuSec,
                                           kMIDIAdvanceScheduleTimeUnlimited),
              noErr);
    EXPECT_EQ(IntegerProperty(recorder.Endpoint(), kMIDIPropertyAdvanceScheduleTimeMuSec),
              kMIDIAdvanceScheduleTimeUnlimited);
    const UInt64 sent = AudioGetCurrentHostTime();
    // Beyond what 31 bits of microseconds reach (35.8 minutes), to the end of the clock.
    const std::vector<MIDITimeStamp> stamps = {sent + 40 * 60000 * kMillis,
                                               sent + 24 * 3600000 * kMillis, ~MIDITimeStamp(0),
                                               sent + 1000 * kMillis, 5};
    SendInOneList(client, recorder.Endpoint(), stamps, {0x90, 60, 100, 64, 100});

    const std::vector<ReceivedPacket> received =
        recorder.WaitFor(5, std::chrono::milliseconds(1000));
    ASSERT_EQ(received.size(), 5u) << "every stamp is due at its send";
    // Taken together, they go in stamp order, their stamps as sent.
    EXPECT_EQ(StampsOf(received),
              (std::vector<MIDITimeStamp>{stamps[4], stamps[3], stamps[0], stamps[1], stamps[2]}));
    EXPECT_EQ(IntegerProperty(recorder.Endpoint(), kMIDIPropertyLatePacketCount), 0);
    EXPECT_EQ(WaitForMessageCounts(recorder.Endpoint(), 10), (MessageCounts{10, 0, 0, 0}))
        << "two messages a packet";
}

namespace {

// A list with a packet of three messages (a chord in running status) and one of one.
MIDIPacketList ChordAndNote(MIDITimeStamp stamp)
{
    MIDIPacketList list{};
    MIDIPacket* packet = MIDIPacketListInit(&list);
    const Byte chord[] = {0x90, 60, 100, 64, 100, 67, 100};
    const Byte note[] = {0x80, 60, 0};
    packet = MIDIPacketListAdd(&list, sizeof list, packet, stamp, sizeof chord, chord);
    packet = MIDIPacketListAdd(&list, sizeof list, packet, stamp + 1, sizeof note, note);
    EXPECT_EQ(list.numPackets, 2u);
    return list;
}

void SetOffline(MIDIEndpointRef destination, SInt32 offline)
{
    ASSERT_EQ(MIDIObjectSetIntegerProperty(destination, kMIDIPropertyOffline, offline), noErr);
    EXPECT_EQ(IntegerProperty(destination, kMIDIPropertyOffline), offline);
}

bool Listed(MIDIEndpointRef destination)
{
    const std::vector<MIDIEndpointRef> all = Destinations();
    return std::find(all.begin(), all.end(), destination) != all.end();
}

} // namespace

TEST(MIDIServices, EveryMessageSentIsCountedOnceByWhatBecameOfIt)
{
    struct Case {
        const char* what;
        // Sends to the destination; returns how many packets should arrive.
        size_t (*play)(MIDIPortRef port, MIDIEndpointRef destination);
        MessageCounts expected;
    };
    const Case cases[] = {
        {"delivered, a chord counting three",
         [](MIDIPortRef port, MIDIEndpointRef destination) -> size_t {
             const MIDIPacketList list = ChordAndNote(0);
             EXPECT_EQ(MIDISend(port, destination, &list), noErr);
             EXPECT_EQ(MIDISend(port, destination, &list), noErr);
             return 4;
         },
         {8, 0, 0, 0}},
        {"sent while offline",
         [](MIDIPortRef port, MIDIEndpointRef destination) -> size_t {
             SetOffline(destination, 1);
             EXPECT_FALSE(Listed(destination)) << "an offline destination is not listed";
             const MIDIPacketList list = ChordAndNote(0);
             EXPECT_EQ(MIDISend(port, destination, &list), kMIDINoConnection);
             SetOffline(destination, 0);
             EXPECT_TRUE(Listed(destination));
             EXPECT_EQ(Destinations().back(), destination) << "back at the end of the list";
             EXPECT_EQ(MIDISend(port, destination, &list), noErr);
             return 2;
         },
         {4, 0, 4, 0}},
        {"waiting when it went, and never delivered after its return",
         [](MIDIPortRef port, MIDIEndpointRef destination) -> size_t {
             const MIDIPacketList waiting = ChordAndNote(AudioGetCurrentHostTime() + 100 * kMillis);
             EXPECT_EQ(MIDISend(port, destination, &waiting), noErr);
             SetOffline(destination, 1);
             SetOffline(destination, 0);
             std::this_thread::sleep_for(std::chrono::milliseconds(200));
             const MIDIPacketList now = OnePacket(0, {0xB0, 123, 0});
             EXPECT_EQ(MIDISend(port, destination, &now), noErr);
             return 1;
         },
         {1, 0, 4, 0}},
        {"a packet longer than a packet holds",
         [](MIDIPortRef port, MIDIEndpointRef destination) -> size_t {
             alignas(MIDIPacketList) Byte buffer[1024] = {};
             auto* list = reinterpret_cast<MIDIPacketList*>(buffer);
             list->numPackets = 1;
             list->packet[0].length = 300;
             list->packet[0].data[0] = 0xF0;
             EXPECT_EQ(MIDISend(port, destination, list), kMIDIMessageSendErr);
             return 0;
         },
         {0, 0, 0, 1}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        MIDITestClient client;
        MIDIRecorder recorder(client.Client(), "Counted");
        EXPECT_EQ(MessageCountsOf(recorder.Endpoint()), MessageCounts{});
        const size_t arriving = test.play(client.Port(), recorder.Endpoint());
        EXPECT_EQ(WaitForMessageCounts(recorder.Endpoint(), test.expected.Sum()), test.expected);
        EXPECT_EQ(recorder.WaitFor(arriving, std::chrono::milliseconds(1000)).size(), arriving);
        for (CFStringRef count :
             {kMIDIPropertyDeliveredMessageCount, kMIDIPropertyRefusedMessageCount,
              kMIDIPropertyOfflineMessageCount, kMIDIPropertyDroppedMessageCount})
            EXPECT_EQ(MIDIObjectSetIntegerProperty(recorder.Endpoint(), count, 0),
                      kMIDINotPermitted);
        EXPECT_EQ(MIDIObjectSetIntegerProperty(recorder.Endpoint(), kMIDIPropertyOffline, 2), -50);
    }
}

TEST(MIDIServices, ThePoolGrowsBeforeItFillsSoThatBurstsAreNeverRefused)
{
    Watchdog watchdog(60, "growing MIDI pool");
    MIDITestClient client;
    MIDIRecorder recorder(client.Client(), "Bursts");
    // Several times the pool's first size held at once, sent in bursts as render calls send:
    // between two bursts the pool has grown again.
    constexpr int kBursts = 40, kBurst = 1000;
    const UInt64 due = AudioGetCurrentHostTime() + 2000 * kMillis;
    int refused = 0;
    for (int burst = 0; burst < kBursts; ++burst) {
        for (int n = 0; n < kBurst; ++n) {
            const MIDIPacketList list = OnePacket(due, {0x90, Byte(n & 0x7F), 1});
            refused += MIDISend(client.Port(), recorder.Endpoint(), &list) != noErr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(WaitForMessageCounts(recorder.Endpoint(), kBursts * kBurst),
              (MessageCounts{kBursts * kBurst, 0, 0, 0}));
}

namespace {

// In a child process whose services start there: delivers one packet, then tells how the
// services' delivery thread and pool grower are scheduled.
[[noreturn]] void DeliverAndTellTheThreadsScheduling(bool withoutPermission)
{
    if (withoutPermission && !GiveUpRealTime())
        std::exit(2);
    int delivered = 0;
    {
        MIDITestClient client;
        MIDIRecorder recorder(client.Client(), "Scheduled");
        const MIDIPacketList note = OnePacket(0, {0x90, 60, 1});
        if (MIDISend(client.Port(), recorder.Endpoint(), &note) == noErr)
            delivered = int(recorder.WaitFor(1).size());
    }
    fprintf(stderr, "delivered %d", delivered);
    for (const char* name : {"MIDI delivery", "MIDI pool"}) {
        const std::optional<ThreadScheduling> scheduling = NamedThreadScheduling(name);
        fprintf(stderr, "; %s %s %d", name,
                !scheduling                        ? "missing"
                : scheduling->policy == SCHED_FIFO ? "FIFO"
                                                   : "normal",
                scheduling ? scheduling->priority : -1);
    }
    fprintf(stderr, "\n");
    std::exit(0);
}

} // namespace

TEST(MIDIServices, ItsThreadsRunRealTimeWhereAllowedAndAtNormalPriorityElsewhere)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string realTime =
        "delivered 1; MIDI delivery FIFO " + std::to_string(kRealTimePriorityMIDIDelivery) +
        "; MIDI pool FIFO " + std::to_string(kRealTimePriorityMIDIPool) + "\n";
    if (RealTimeAllowed(kRealTimePriorityMIDIDelivery)) {
        EXPECT_EXIT(DeliverAndTellTheThreadsScheduling(false), ::testing::ExitedWithCode(0),
                    ::testing::Eq(realTime));
    }
    EXPECT_EXIT(DeliverAndTellTheThreadsScheduling(true), ::testing::ExitedWithCode(0),
                ::testing::Eq("delivered 1; MIDI delivery normal 0; MIDI pool normal 0\n"));
}
