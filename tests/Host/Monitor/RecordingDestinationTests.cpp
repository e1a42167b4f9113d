// The recording destination: its ring keeps each packet with its stamp and arrival time, counts
// the messages that find it full, asks early when told to, and a listener sees every list too.
#include "MIDIRecorder.h"
#include "Monitor/RecordingDestination.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

constexpr UInt64 kMillis = 1000000;

struct Arrived {
    MIDITimeStamp stamp;
    UInt64 arrival;
    std::vector<Byte> bytes;
};

std::vector<Arrived> PopAll(RecordingDestination& destination)
{
    std::vector<Arrived> all;
    MIDIPacket packet;
    UInt64 arrival = 0;
    while (destination.Pop(packet, arrival))
        all.push_back({packet.timeStamp, arrival, {packet.data, packet.data + packet.length}});
    return all;
}

void CountLists(const MIDIPacketList*, void* refCon, void*)
{
    static_cast<std::atomic<int>*>(refCon)->fetch_add(1);
}

} // namespace

TEST(RecordingDestination, KeepsWhatFitsWithStampAndArrivalAndCountsTheRest)
{
    struct Case {
        const char* what;
        bool askEarly;
        UInt64 ahead; // of the stamps, from the send
    };
    const Case cases[] = {{"delivered when due", false, 5 * kMillis},
                          {"asking early", true, 1000 * kMillis}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MIDITestClient client;
        std::atomic<int> lists{0};
        RecordingDestination destination({"Ring", client.Client(), "", c.askEarly, 4}, &CountLists,
                                         &lists);
        const MIDITimeStamp stamp = AudioGetCurrentHostTime() + c.ahead;
        // Six messages in five packets, into a ring of four: the last packet's two are lost.
        for (Byte n = 0; n < 4; ++n) {
            const MIDIPacketList list = OnePacket(stamp + n, {0x90, n, 100});
            ASSERT_EQ(MIDISend(client.Port(), destination.Endpoint(), &list), noErr);
        }
        const MIDIPacketList two = OnePacket(stamp + 4, {0x80, 1, 0, 0x80, 2, 0});
        ASSERT_EQ(MIDISend(client.Port(), destination.Endpoint(), &two), noErr);
        EXPECT_EQ(WaitForMessageCounts(destination.Endpoint(), 6).delivered, 6);

        const std::vector<Arrived> arrived = PopAll(destination);
        ASSERT_EQ(arrived.size(), 4u);
        for (Byte n = 0; n < 4; ++n) {
            EXPECT_EQ(arrived[n].stamp, stamp + n);
            EXPECT_EQ(arrived[n].bytes, (std::vector<Byte>{0x90, n, 100}));
            EXPECT_EQ(arrived[n].arrival < arrived[n].stamp, c.askEarly) << "packet " << int(n);
        }
        EXPECT_EQ(destination.LostMessages(), 2u);
        EXPECT_EQ(lists.load(), 5);
    }
}
