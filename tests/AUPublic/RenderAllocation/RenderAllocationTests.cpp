// Proves that rendering allocates nothing: this program replaces the C allocator's entry points
// and the global operator new with counting versions, so it lives in a folder of its own.
#include "AUBaseTestUnit.h"

#include "CountingAllocator.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

using aubase_test::SampleTime;
using aubase_test::TestBuffers;
using aubase_test::TestUnit;

constexpr UInt32 kFrames = 512;
constexpr int kWarmUpCalls = 16;
constexpr int kCountedCalls = 10000;

OSStatus CountCall(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                   AudioBufferList*)
{
    ++*static_cast<long*>(refCon);
    return noErr;
}

TEST(RenderAllocation, TheCounterSeesAllocationsOfTheCountingThread)
{
    SKIP_WHEN_SANITIZED();
    CountAllocations counter;
    auto* value = new int(7);
    void* block = malloc(16);
    EXPECT_GE(counter.Count(), 2);
    free(block);
    delete value;
}

TEST(RenderAllocation, RenderingWithNotificationsAllocatesNothingAfterWarmUp)
{
    SKIP_WHEN_SANITIZED();
    auto unit = std::make_unique<TestUnit>();
    unit->PostConstructor();
    unit->SetWantsRenderThreadID(true);
    ASSERT_EQ(unit->DoInitialize(), noErr);
    long notifications[2] = {0, 0};
    ASSERT_EQ(unit->SetRenderNotification(CountCall, &notifications[0]), noErr);
    ASSERT_EQ(unit->SetRenderNotification(CountCall, &notifications[1]), noErr);

    TestBuffers callerBuffers(kFrames);
    TestBuffers nullBuffers(kFrames, 2, false);
    AudioUnitRenderActionFlags flags = 0;
    Float64 sampleTime = 0;
    for (int i = 0; i < kWarmUpCalls; ++i, sampleTime += kFrames)
        ASSERT_EQ(unit->DoRender(flags, SampleTime(sampleTime), 0, kFrames, callerBuffers.List()),
                  noErr);

    long allocations = 0;
    OSStatus status = noErr;
    {
        CountAllocations counter;
        for (int i = 0; i < kCountedCalls && status == noErr; ++i, sampleTime += kFrames) {
            // Alternate the caller's own buffers with a request for the unit's.
            AudioBufferList& list = (i % 2 == 0) ? callerBuffers.List() : nullBuffers.List();
            for (UInt32 b = 0; b < list.mNumberBuffers && (i % 2 != 0); ++b)
                list.mBuffers[b].mData = nullptr;
            status = unit->DoRender(flags, SampleTime(sampleTime), 0, kFrames, list);
        }
        allocations = counter.Count();
    }
    ASSERT_EQ(status, noErr);
    EXPECT_EQ(allocations, 0) << "render calls allocated";
    EXPECT_EQ(unit->mRenderCalls, kWarmUpCalls + kCountedCalls);
    EXPECT_EQ(notifications[0], 2L * (kWarmUpCalls + kCountedCalls));
    EXPECT_EQ(notifications[1], notifications[0]);
}

} // namespace
