// The JACK backend's slots of destinations, without a server: a first send asks for a port only
// once, and the destination offline longest is the one that gives up its slot.
#include "JackDestinationSlots.h"

#include <gtest/gtest.h>

TEST(JackDestinationSlots, OnlyAListedDestinationsFirstSendAsksForItsPort)
{
    const struct {
        JackSlotState before;
        bool wanted;
        JackSlotState after;
    } cases[] = {
        {kJackSlotListed, true, kJackSlotWanted},    {kJackSlotWanted, false, kJackSlotWanted},
        {kJackSlotReady, false, kJackSlotReady},     {kJackSlotFailed, false, kJackSlotFailed},
        {kJackSlotOffline, false, kJackSlotOffline}, {kJackSlotFree, false, kJackSlotFree},
    };
    for (const auto& test : cases) {
        JackDestinationSlots slots;
        slots[3].mState.store(test.before);
        EXPECT_EQ(slots.Want(3), test.wanted) << "from state " << test.before;
        EXPECT_EQ(slots[3].mState.load(), UInt32(test.after)) << "from state " << test.before;
    }
}

TEST(JackDestinationSlots, TheDestinationOfflineLongestIsTheOneToGo)
{
    JackDestinationSlots slots;
    for (UInt32 index = 0; index < 4; ++index) {
        slots[index].mEndpoint = 100 + index;
        slots[index].mPortName = "peer:in " + std::to_string(index);
        slots[index].mState.store(kJackSlotListed);
    }
    EXPECT_EQ(slots.Unused(), &slots[4]);
    EXPECT_EQ(slots.Find("peer:in 2"), &slots[2]);
    EXPECT_EQ(slots.Find("peer:in 9"), nullptr);
    EXPECT_EQ(slots.OldestOffline(), nullptr);

    slots.MarkOffline(slots[2]);
    slots.MarkOffline(slots[0]);
    slots.MarkOffline(slots[3]);
    EXPECT_EQ(slots.OfflineCount(), 3u);
    EXPECT_EQ(slots.OldestOffline(), &slots[2]);
    // A destination that came back and went again is the latest to have gone.
    slots.MarkBack(slots[2]);
    EXPECT_EQ(slots[2].mState.load(), UInt32(kJackSlotListed));
    EXPECT_EQ(slots.OldestOffline(), &slots[0]);
    slots.MarkOffline(slots[2]);
    slots.MarkBack(slots[0]);
    EXPECT_EQ(slots.OldestOffline(), &slots[3]);
    EXPECT_EQ(slots.OfflineCount(), 2u);
}
