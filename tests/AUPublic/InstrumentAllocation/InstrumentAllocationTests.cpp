// Proves that the instrument's render path allocates and frees nothing, and that note parameters
// reach the heap only beyond three arguments and only on the producing thread.
#include "CountingAllocator.h"
#include "TestBuffers.h"
#include "TestInstrument.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

using namespace instrument_test;

constexpr UInt32 kFrames = 512;

// Allocations and frees `call` made on the calling thread.
template <class Call> std::pair<long, long> Counted(Call call)
{
    CountAllocations counter;
    call();
    return {counter.Count(), counter.Frees()};
}

template <class Unit> OSStatus RenderAt(Unit& unit, Float64 sampleTime)
{
    static test_support::TestBuffers buffers(kFrames);
    AudioUnitRenderActionFlags flags = 0;
    return unit.DoRender(flags, test_support::SampleTime(sampleTime), 0, kFrames, buffers.List());
}

TEST(InstrumentAllocation, RenderAndResetWithSixteenEmptyGroupsAllocateNothing)
{
    SKIP_WHEN_SANITIZED();
    auto unit = MakeInitialized(std::make_unique<EmptyInstrument>());
    Float64 time = 0;
    for (; time < 16 * kFrames; time += kFrames)
        ASSERT_EQ(RenderAt(*unit, time), noErr);
    OSStatus status = noErr;
    const auto counts = Counted([&] {
        for (int i = 0; i < 10000 && status == noErr; ++i, time += kFrames)
            status = RenderAt(*unit, time);
        if (status == noErr)
            status = unit->Reset(kAudioUnitScope_Global, 0);
    });
    ASSERT_EQ(status, noErr);
    EXPECT_EQ(counts, std::make_pair(0L, 0L));
}

TEST(InstrumentAllocation, ParametersReachTheHeapBeyondThreeArgumentsAndOnlyOnTheProducer)
{
    SKIP_WHEN_SANITIZED();
    auto unit = MakeInitialized(std::make_unique<EmptyInstrument>());
    Float64 time = 0;
    ASSERT_EQ(RenderAt(*unit, time), noErr); // this thread renders from now on
    constexpr long kNotes = 10;
    for (const auto& c : {std::make_pair(2u, 0L), {3u, 0L}, {4u, 1L}, {9u, 1L}}) {
        SCOPED_TRACE(c.first);
        const long copies = kNotes * c.second;
        const NoteParamsRecord params = NoteParams(60, 100, c.first);
        EXPECT_EQ(OnOtherThread([&] {
                      return Counted([&] {
                          for (long i = 0; i < kNotes; ++i)
                              unit->StartNote(0, 0, nullptr, 0, params);
                      });
                  }),
                  std::make_pair(copies, 0L));
        EXPECT_EQ(Counted([&] { RenderAt(*unit, time += kFrames); }), std::make_pair(0L, 0L))
            << "the render thread performing the notes";
        // The producer's next write frees what the render thread performed.
        EXPECT_EQ(OnOtherThread([&] { return Counted([&] { unit->StopNote(0, 60, 0); }); }),
                  std::make_pair(0L, copies));
        ASSERT_EQ(RenderAt(*unit, time += kFrames), noErr);
    }
}

TEST(InstrumentAllocation, ACopyThatCannotBeAllocatedRefusesTheNoteAndQueuesNothing)
{
    SKIP_WHEN_SANITIZED();
    auto unit = MakeInitialized(std::make_unique<TestInstrument>());
    ASSERT_EQ(RenderAt(*unit, 0), noErr);
    auto startFailing = [&](Float32 pitch, UInt32 argCount) {
        return OnOtherThread([&] {
            FailAllocations failing;
            return unit->StartNote(0, 0, nullptr, 0, NoteParams(pitch, 100, argCount));
        });
    };
    EXPECT_EQ(startFailing(60, 4), kAudio_MemFullError);
    EXPECT_EQ(startFailing(61, 3), noErr) << "an inline copy needs no allocation";
    unit->mLog.clear();
    ASSERT_EQ(RenderAt(*unit, kFrames), noErr);
    ASSERT_FALSE(unit->mLog.empty());
    EXPECT_EQ(unit->mLog[0].kind, NoteCallKind::Start);
    EXPECT_EQ(Count(unit->mLog, NoteCallKind::Start), 1);
    EXPECT_EQ(unit->mLog[0].noteID, 61u);
}

} // namespace
