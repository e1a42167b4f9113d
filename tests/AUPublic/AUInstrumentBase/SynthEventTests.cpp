#include "LockFreeFIFOWithFree.h"
#include "SynthEvent.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace {

// A record of `argCount` arguments whose control values are numbered 1, 2, ...
struct NoteParamsRecord {
    explicit NoteParamsRecord(UInt32 argCount)
        : storage(SynthEvent::ParamsSize(argCount < 3 ? 3 : argCount) / sizeof(max_align_t) + 1)
    {
        Params().argCount = argCount;
        Params().mPitch = 64;
        Params().mVelocity = 90;
        for (UInt32 i = 0; i + 2 < argCount; ++i)
            Params().mControls[i] = {i + 1, Float32(i + 1) / 2};
    }
    MusicDeviceNoteParams& Params()
    {
        return *reinterpret_cast<MusicDeviceNoteParams*>(&storage[0]);
    }
    std::vector<max_align_t> storage;
};

TEST(SynthEvent, NoteParamsHaveThePlatformLayoutAndCopyLengthsDoNotWrap)
{
    EXPECT_EQ(offsetof(MusicDeviceNoteParams, argCount), 0u);
    EXPECT_EQ(offsetof(MusicDeviceNoteParams, mPitch), 4u);
    EXPECT_EQ(offsetof(MusicDeviceNoteParams, mVelocity), 8u);
    EXPECT_EQ(offsetof(MusicDeviceNoteParams, mControls), 12u);
    EXPECT_EQ(sizeof(NoteParamsControlValue), 8u);
    EXPECT_EQ(sizeof(MusicDeviceNoteParams), 20u);
    struct Case {
        UInt32 argCount;
        unsigned long long bytes;
    };
    for (const Case& c : {Case{2, 12}, Case{3, 20}, Case{4, 28}, Case{0x20000001u, 4294967300ull},
                          Case{0xFFFFFFFFu, 34359738356ull}})
        EXPECT_EQ(SynthEvent::ParamsSize(c.argCount), c.bytes) << c.argCount;
}

TEST(SynthEvent, ParametersAreCopiedInlineUpToThreeArgumentsAndToTheHeapBeyond)
{
    for (UInt32 argCount : {2u, 3u, 4u, 7u}) {
        SCOPED_TRACE(argCount);
        NoteParamsRecord record(argCount);
        SynthEvent event;
        ASSERT_EQ(event.Set(SynthEvent::EventNoteOn, 5, 129, 31, &record.Params()), noErr);
        record.Params().mPitch = 1; // the event holds a copy
        EXPECT_EQ(event.GetType(), UInt32(SynthEvent::EventNoteOn));
        EXPECT_EQ(event.GetGroupID(), 5u);
        EXPECT_EQ(event.GetNoteID(), 129u);
        EXPECT_EQ(event.GetStartFrame(), 31u);
        const MusicDeviceNoteParams* copy = event.GetParams();
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(event.ParamsAreInline(), argCount <= 3);
        EXPECT_EQ(copy->argCount, argCount);
        EXPECT_EQ(copy->mPitch, 64.0f);
        EXPECT_EQ(copy->mVelocity, 90.0f);
        for (UInt32 i = 0; i + 2 < argCount; ++i)
            EXPECT_EQ(copy->mControls[i].mID, i + 1);
        event.Free();
        EXPECT_EQ(event.GetParams(), nullptr);
        ASSERT_EQ(event.Set(SynthEvent::EventSustainOn, 1, 0, 0, nullptr), noErr);
        EXPECT_EQ(event.GetParams(), nullptr);
    }
}

TEST(SynthEvent, RecordsWithFewerThanTwoArgumentsAreRefusedAndLeaveTheEventAsItWas)
{
    NoteParamsRecord kept(4);
    SynthEvent event;
    ASSERT_EQ(event.Set(SynthEvent::EventNoteOn, 2, 60, 8, &kept.Params()), noErr);
    for (UInt32 argCount : {0u, 1u}) {
        NoteParamsRecord bad(argCount);
        EXPECT_EQ(event.Set(SynthEvent::EventNoteOff, 9, 61, 9, &bad.Params()), kAudio_ParamError);
        EXPECT_EQ(event.GetType(), UInt32(SynthEvent::EventNoteOn));
        EXPECT_EQ(event.GetGroupID(), 2u);
        ASSERT_NE(event.GetParams(), nullptr);
        EXPECT_EQ(event.GetParams()->argCount, 4u);
    }
}

// An item that counts how often it was freed.
struct CountingItem {
    void Free() { ++freed; }
    int value = 0;
    int freed = 0;
};

TEST(LockFreeFIFOWithFree, HoldsOneLessThanItsSlotsAndFreesPerformedItemsOnTheNextWrite)
{
    struct Case {
        UInt32 requested, capacity;
    };
    for (const Case& c : {Case{8, 8}, Case{5, 8}, Case{1024, 1024}, Case{0, 2}}) {
        SCOPED_TRACE(c.requested);
        LockFreeFIFOWithFree<CountingItem> fifo(c.requested);
        EXPECT_EQ(fifo.Capacity(), c.capacity);
        std::vector<CountingItem*> written;
        for (CountingItem* item = fifo.WriteItem(); item != nullptr; item = fifo.WriteItem()) {
            item->value = int(written.size());
            written.push_back(item);
            fifo.AdvanceWritePtr();
        }
        ASSERT_EQ(written.size(), c.capacity - 1);

        // The consumer performs one; nothing is freed until the producer writes again.
        CountingItem* first = fifo.ReadItem();
        ASSERT_EQ(first, written[0]);
        fifo.AdvanceReadPtr();
        EXPECT_EQ(first->freed, 0);
        EXPECT_EQ(fifo.FreeItem(), first);
        CountingItem* again = fifo.WriteItem();
        EXPECT_EQ(first->freed, 1);
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(fifo.FreeItem(), nullptr);
        fifo.AdvanceWritePtr();
        EXPECT_EQ(fifo.WriteItem(), nullptr);

        // The rest come out in order, the rewritten slot last.
        for (size_t i = 1; i < written.size(); ++i) {
            ASSERT_EQ(fifo.ReadItem(), written[i]);
            EXPECT_EQ(fifo.ReadItem()->value, int(i));
            fifo.AdvanceReadPtr();
        }
        EXPECT_EQ(fifo.ReadItem(), again);
        fifo.AdvanceReadPtr();
        EXPECT_EQ(fifo.ReadItem(), nullptr);
    }
}

} // namespace
