#include <CoreMIDI/CoreMIDI.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct ListBuffer {
    explicit ListBuffer(size_t size) : bytes(size / 4 + 1), size(size) {}
    MIDIPacketList* List() { return reinterpret_cast<MIDIPacketList*>(bytes.data()); }
    std::vector<UInt32> bytes; // UInt32 storage keeps the list 4-byte aligned
    size_t size;
};

// By value: the packed stamp is only 4-byte aligned, too little for a reference to bind to.
MIDITimeStamp StampOf(const MIDIPacket* packet)
{
    return packet->timeStamp;
}

std::vector<Byte> DataOf(const MIDIPacket* packet)
{
    return std::vector<Byte>(packet->data, packet->data + packet->length);
}

} // namespace

TEST(MIDIPacketList, ChannelMessagesWithEqualStampsShareAPacket)
{
    ListBuffer buffer(512);
    MIDIPacketList* list = buffer.List();
    MIDIPacket* packet = MIDIPacketListInit(list);
    ASSERT_EQ(packet, &list->packet[0]);
    EXPECT_EQ(list->numPackets, 0u);

    const Byte noteOn[] = {0x90, 60, 100};
    const Byte programChange[] = {0xC3, 5};
    const Byte noteOff[] = {0x80, 60, 0};
    packet = MIDIPacketListAdd(list, buffer.size, packet, 1000, sizeof noteOn, noteOn);
    ASSERT_EQ(packet, &list->packet[0]);
    packet =
        MIDIPacketListAdd(list, buffer.size, packet, 1000, sizeof programChange, programChange);
    ASSERT_EQ(packet, &list->packet[0]) << "equal stamps, channel messages: merged";
    packet = MIDIPacketListAdd(list, buffer.size, packet, 2000, sizeof noteOff, noteOff);
    ASSERT_NE(packet, &list->packet[0]) << "a new stamp starts a new packet";

    ASSERT_EQ(list->numPackets, 2u);
    const MIDIPacket* first = &list->packet[0];
    EXPECT_EQ(StampOf(first), 1000u);
    EXPECT_EQ(DataOf(first), (std::vector<Byte>{0x90, 60, 100, 0xC3, 5}));
    const MIDIPacket* second = MIDIPacketNext(first);
    EXPECT_EQ(second, packet);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(second) % 4, 0u) << "packets start 4-byte aligned";
    EXPECT_EQ(StampOf(second), 2000u);
    EXPECT_EQ(DataOf(second), (std::vector<Byte>{0x80, 60, 0}));
}

TEST(MIDIPacketList, SysExAndSystemMessagesAreNeverMerged)
{
    ListBuffer buffer(1024);
    MIDIPacketList* list = buffer.List();
    MIDIPacket* packet = MIDIPacketListInit(list);
    const Byte sysEx[] = {0xF0, 0x7D, 0x01, 0xF7};
    const Byte noteOn[] = {0x90, 60, 100};
    const Byte clock[] = {0xF8};
    const Byte runningStatus[] = {62, 100};
    for (const auto& message :
         {std::vector<Byte>(sysEx, sysEx + 4), std::vector<Byte>(noteOn, noteOn + 3),
          std::vector<Byte>(clock, clock + 1), std::vector<Byte>(noteOn, noteOn + 3),
          std::vector<Byte>(runningStatus, runningStatus + 2)}) {
        packet = MIDIPacketListAdd(list, buffer.size, packet, 7, message.size(), message.data());
        ASSERT_NE(packet, nullptr);
    }
    EXPECT_EQ(list->numPackets, 5u);
    const MIDIPacket* walk = &list->packet[0];
    EXPECT_EQ(DataOf(walk), std::vector<Byte>(sysEx, sysEx + 4));
    walk = MIDIPacketNext(walk);
    EXPECT_EQ(DataOf(walk), std::vector<Byte>(noteOn, noteOn + 3));
    walk = MIDIPacketNext(MIDIPacketNext(walk));
    EXPECT_EQ(DataOf(walk), std::vector<Byte>(noteOn, noteOn + 3));
}

TEST(MIDIPacketList, FillsUpThenReturnsNullAndLeavesTheListIntact)
{
    // Distinct stamps: every 3-byte message needs its own packet of 10 + 3 bytes, padded to 16.
    ListBuffer buffer(512);
    MIDIPacketList* list = buffer.List();
    MIDIPacket* packet = MIDIPacketListInit(list);
    UInt32 added = 0;
    const Byte noteOn[] = {0x90, 60, 100};
    while (MIDIPacket* next =
               MIDIPacketListAdd(list, buffer.size, packet, 100 + added, sizeof noteOn, noteOn)) {
        packet = next;
        ++added;
        ASSERT_LE(reinterpret_cast<Byte*>(&packet->data[packet->length]),
                  reinterpret_cast<Byte*>(list) + buffer.size);
    }
    EXPECT_EQ(added, 31u);
    EXPECT_EQ(list->numPackets, 31u);
    EXPECT_EQ(StampOf(packet), 130u);

    // Merging still fits where a new packet does not: the last packet has room to grow.
    const Byte noteOff[] = {0x80, 60, 0};
    EXPECT_EQ(MIDIPacketListAdd(list, buffer.size, packet, 130, sizeof noteOff, noteOff), packet);
    EXPECT_EQ(packet->length, 6u);
    EXPECT_EQ(list->numPackets, 31u);
}

TEST(MIDIPacketList, UnusableArgumentsGiveNull)
{
    ListBuffer buffer(1024);
    MIDIPacketList* list = buffer.List();
    MIDIPacket* packet = MIDIPacketListInit(list);
    const Byte data[300] = {0xF0};
    EXPECT_EQ(MIDIPacketListInit(nullptr), nullptr);
    EXPECT_EQ(MIDIPacketNext(nullptr), nullptr);
    EXPECT_EQ(MIDIPacketListAdd(nullptr, buffer.size, packet, 0, 3, data), nullptr);
    EXPECT_EQ(MIDIPacketListAdd(list, buffer.size, nullptr, 0, 3, data), nullptr);
    EXPECT_EQ(MIDIPacketListAdd(list, buffer.size, packet, 0, 3, nullptr), nullptr);
    EXPECT_EQ(MIDIPacketListAdd(list, buffer.size, packet, 0, 0, data), nullptr);
    EXPECT_EQ(MIDIPacketListAdd(list, buffer.size, packet, 0, 257, data), nullptr)
        << "more than one packet holds";
    EXPECT_EQ(MIDIPacketListAdd(list, 12, packet, 0, 3, data), nullptr) << "list too small";
    EXPECT_EQ(list->numPackets, 0u);
    EXPECT_EQ(MIDIPacketListAdd(list, buffer.size, packet, 0, 256, data), packet);

    // A cursor past the end of the list is refused before anything is read through it.
    auto* outside = reinterpret_cast<MIDIPacket*>(reinterpret_cast<Byte*>(list) + 2 * buffer.size);
    EXPECT_EQ(MIDIPacketListAdd(list, buffer.size, outside, 0, 3, data), nullptr);
    EXPECT_EQ(list->numPackets, 1u);
}
