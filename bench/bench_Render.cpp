// The cost of one render call of an initialized unit (512 frames, stereo), with and without a
// render notification registered, beside a plain memset of the same output buffers as the floor;
// and of the instrument base's render calls, empty and performing queued events.
#include "AUBaseTestUnit.h"
#include "TestInstrument.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

namespace {

using aubase_test::SampleTime;
using aubase_test::TestBuffers;
using aubase_test::TestUnit;

constexpr UInt32 kFrames = 512;

OSStatus CountNotification(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                           UInt32, AudioBufferList*)
{
    ++*static_cast<long*>(refCon);
    return noErr;
}

// The unit writes each sample it renders; the floor writes the same bytes with memset.
class SilentUnit : public TestUnit {
public:
    OSStatus Render(AudioUnitRenderActionFlags&, const AudioTimeStamp&,
                    UInt32 inNumberFrames) override
    {
        AudioBufferList& list = GetOutput(0)->GetBufferList();
        for (UInt32 c = 0; c < list.mNumberBuffers; ++c)
            std::memset(list.mBuffers[c].mData, 0, inNumberFrames * sizeof(Float32));
        return noErr;
    }
};

void RenderCalls(benchmark::State& state, bool withNotification)
{
    SilentUnit unit;
    unit.PostConstructor();
    if (unit.DoInitialize() != noErr) {
        state.SkipWithError("initialize failed");
        return;
    }
    long notifications = 0;
    if (withNotification)
        unit.SetRenderNotification(CountNotification, &notifications);
    TestBuffers buffers(kFrames);
    AudioUnitRenderActionFlags flags = 0;
    Float64 sampleTime = 0;
    for (auto _ : state) {
        const OSStatus status =
            unit.DoRender(flags, SampleTime(sampleTime), 0, kFrames, buffers.List());
        benchmark::DoNotOptimize(status);
        benchmark::ClobberMemory();
        sampleTime += kFrames;
    }
    state.counters["notifications/call"] =
        benchmark::Counter(double(notifications), benchmark::Counter::kAvgIterations);
}

void BM_RenderWithoutNotification(benchmark::State& state)
{
    RenderCalls(state, false);
}

void BM_RenderWithNotification(benchmark::State& state)
{
    RenderCalls(state, true);
}

void BM_MemsetOutputBuffers(benchmark::State& state)
{
    TestBuffers buffers(kFrames);
    // A size the compiler cannot see, as in the unit's render: both then use the same memset.
    size_t bytes = kFrames * sizeof(Float32);
    benchmark::DoNotOptimize(bytes);
    for (auto _ : state) {
        AudioBufferList& list = buffers.List();
        for (UInt32 c = 0; c < list.mNumberBuffers; ++c)
            std::memset(list.mBuffers[c].mData, 0, bytes);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_MemsetOutputBuffers);
BENCHMARK(BM_RenderWithoutNotification);
BENCHMARK(BM_RenderWithNotification);

// ---- The instrument base ----

// A render call of a unit shaped like the MIDI output unit: 16 empty groups, one part, nothing
// queued. The unit zeroes the caller's buffers in place, or its own when asked for those.
void BM_InstrumentRenderEmptyGroups(benchmark::State& state)
{
    const bool callerBuffers = state.range(0) != 0;
    instrument_test::EmptyInstrument unit;
    unit.PostConstructor();
    if (unit.DoInitialize() != noErr) {
        state.SkipWithError("initialize failed");
        return;
    }
    TestBuffers buffers(kFrames, 2, callerBuffers);
    AudioUnitRenderActionFlags flags = 0;
    Float64 sampleTime = 0;
    for (auto _ : state) {
        AudioBufferList& list = buffers.List();
        for (UInt32 b = 0; b < list.mNumberBuffers && !callerBuffers; ++b)
            list.mBuffers[b].mData = nullptr;
        const OSStatus status = unit.DoRender(flags, SampleTime(sampleTime), 0, kFrames, list);
        benchmark::DoNotOptimize(status);
        benchmark::ClobberMemory();
        sampleTime += kFrames;
    }
}

// A render call that performs 100 queued events (a note on and off on each of 50 notes spread
// over the 16 channels); the queueing itself is not timed.
void BM_InstrumentPerform100QueuedEvents(benchmark::State& state)
{
    instrument_test::EmptyInstrument unit;
    unit.PostConstructor();
    // Every thread counts as a producer, so this one queues as well as renders.
    unit.SetWantsRenderThreadID(false);
    if (unit.DoInitialize() != noErr) {
        state.SkipWithError("initialize failed");
        return;
    }
    const MusicDeviceNoteParams params{2, 60, 100, {}};
    TestBuffers buffers(kFrames);
    AudioUnitRenderActionFlags flags = 0;
    Float64 sampleTime = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (UInt32 note = 0; note < 50; ++note) {
            unit.StartNote(0, note % 16, nullptr, note, params);
            unit.StopNote(note % 16, 60, note + 1);
        }
        state.ResumeTiming();
        const OSStatus status =
            unit.DoRender(flags, SampleTime(sampleTime), 0, kFrames, buffers.List());
        benchmark::DoNotOptimize(status);
        sampleTime += kFrames;
    }
    state.SetItemsProcessed(state.iterations() * 100);
}

BENCHMARK(BM_InstrumentRenderEmptyGroups)->Arg(1)->Arg(0);
BENCHMARK(BM_InstrumentPerform100QueuedEvents);

} // namespace
