// The JACK backend's arithmetic, without a server: where a due time falls in a cycle, and the
// cutting of packets into one message per event.
#include "JackCycleTiming.h"
#include "MIDIMessageSplitter.h"

#include <gtest/gtest.h>

#include <vector>

TEST(JackCycleTiming, ADueTimeIsPlacedAtItsFrameFromTheMeasuredCycle)
{
    // 256 frames over 5,333,333 ns (48 kHz), and a slow cycle of 5,400,000 ns: a frame's length
    // comes from the measured cycle, not from the nominal period.
    const JackCycle nominal{1000000000, 1005333333, 256};
    const JackCycle slow{1000000000, 1005400000, 256};
    struct Case {
        const char* what;
        JackCycle cycle;
        UInt64 due;
        JackPlacement placement;
        UInt32 frame;
    };
    const Case cases[] = {
        {"before the cycle", nominal, 999999999, JackPlacement::PastDue, 0},
        {"long before the cycle", nominal, 1, JackPlacement::PastDue, 0},
        {"at its start", nominal, 1000000000, JackPlacement::InCycle, 0},
        {"inside the first frame", nominal, 1000020833, JackPlacement::InCycle, 0},
        {"at the second frame", nominal, 1000020834, JackPlacement::InCycle, 1},
        {"halfway", nominal, 1002666667, JackPlacement::InCycle, 128},
        {"in the last frame", nominal, 1005333332, JackPlacement::InCycle, 255},
        {"at the next cycle", nominal, 1005333333, JackPlacement::Later, 0},
        {"halfway through a slow cycle", slow, 1002700000, JackPlacement::InCycle, 128},
        {"where the nominal period puts frame 129", slow, 1002690000, JackPlacement::InCycle, 127},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        UInt32 frame = 999;
        EXPECT_EQ(PlaceInCycle(test.due, test.cycle, frame), test.placement);
        EXPECT_EQ(frame, test.frame);
    }
}

TEST(MIDIMessageSplitter, APacketBecomesOneEventPerMessage)
{
    using Bytes = std::vector<Byte>;
    struct Case {
        const char* what;
        Bytes packet;
        std::vector<Bytes> messages;
    };
    const Case cases[] = {
        {"a chord",
         {0x90, 60, 100, 0x90, 64, 100, 0x80, 67, 0},
         {{0x90, 60, 100}, {0x90, 64, 100}, {0x80, 67, 0}}},
        {"running status",
         {0x90, 60, 100, 62, 100, 64, 0},
         {{0x90, 60, 100}, {0x90, 62, 100}, {0x90, 64, 0}}},
        {"two-byte messages", {0xC0, 5, 6, 0xD1, 70}, {{0xC0, 5}, {0xC0, 6}, {0xD1, 70}}},
        {"SysEx then a note",
         {0xF0, 1, 2, 3, 0xF7, 0x90, 1, 1},
         {{0xF0, 1, 2, 3, 0xF7}, {0x90, 1, 1}}},
        {"the rest of a SysEx", {4, 5, 6, 0xF7, 0xB0, 7, 100}, {{4, 5, 6, 0xF7}, {0xB0, 7, 100}}},
        {"SysEx cut by the packet's end", {0xF0, 1, 2}, {{0xF0, 1, 2}}},
        {"real-time keeps the running status",
         {0x90, 1, 1, 0xF8, 2, 2},
         {{0x90, 1, 1}, {0xF8}, {0x90, 2, 2}}},
        {"system common ends it",
         {0x90, 1, 1, 0xF2, 3, 4, 5, 6},
         {{0x90, 1, 1}, {0xF2, 3, 4}, {5, 6}}},
        {"a message cut short", {0xE0, 0x10}, {{0xE0, 0x10}}},
        {"song select and tune request", {0xF3, 9, 0xF6}, {{0xF3, 9}, {0xF6}}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        MIDIMessageSplitter splitter(test.packet.data(), UInt16(test.packet.size()));
        std::vector<Bytes> messages;
        const Byte* message = nullptr;
        UInt16 length = 0;
        while (splitter.Next(message, length))
            messages.emplace_back(message, message + length);
        EXPECT_EQ(messages, test.messages);
    }
}
