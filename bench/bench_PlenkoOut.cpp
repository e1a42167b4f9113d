// The unit as a host drives it, opened through the component host: one render call with an empty
// queue (512 frames, stereo), also from a thread that flushes denormals, beside the memset of the
// same output buffers as its floor, the two in alternation for their ratio, and the sustained
// throughput of MIDI events, render calls and sends, with the log going to a file and with
// PLENKO_LOG=off. Each render call carries 64 messages; stamps follow the host clock.
#include "CAFlushDenormals.h"
#include "PlenkoOutUnit.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr UInt32 kFrames = 512;
constexpr UInt32 kMessagesPerRender = 64;

// Standard output to a fresh file while the object lives.
class OutputToFile {
public:
    OutputToFile()
    {
        fflush(stdout);
        mSaved = dup(STDOUT_FILENO);
        FILE* file = tmpfile();
        dup2(fileno(file), STDOUT_FILENO);
        fclose(file);
    }
    ~OutputToFile()
    {
        fflush(stdout);
        dup2(mSaved, STDOUT_FILENO);
        close(mSaved);
    }

private:
    int mSaved;
};

void RenderEmptyQueue(benchmark::State& state)
{
    OutputToFile output;
    PlenkoOutRig rig(1);
    rig.Choose(0);
    HostedUnit& unit = rig.Unit();
    unit.Render(kFrames);
    for (auto _ : state) {
        const OSStatus status = unit.Render(kFrames);
        benchmark::DoNotOptimize(status);
    }
}

void BM_PlenkoOutRenderEmptyQueue(benchmark::State& state)
{
    RenderEmptyQueue(state);
}
BENCHMARK(BM_PlenkoOutRenderEmptyQueue);

// The calling thread flushes denormals while the object lives, as many hosts' audio threads do:
// the unit then leaves the processor's control register alone.
class ThreadFlushingDenormals {
public:
    explicit ThreadFlushingDenormals(bool flush) : mSaved(GETCSR())
    {
        if (flush)
            SETCSR(mSaved | CAFlushDenormalsScope::kFlushBits);
    }
    ~ThreadFlushingDenormals() { SETCSR(mSaved); }

private:
    int mSaved;
};

void BM_PlenkoOutRenderEmptyQueueFlushingThread(benchmark::State& state)
{
    ThreadFlushingDenormals flushing(true);
    RenderEmptyQueue(state);
}
BENCHMARK(BM_PlenkoOutRenderEmptyQueueFlushingThread);

// The floor: silence written into the two buffers a unit renders into, as little as a render call
// that leaves its output silent must do. (The same buffers, as the time a memset takes depends
// on where the buffer starts.)
class MemsetStereoOutput {
public:
    explicit MemsetStereoOutput(HostedUnit& unit) : mLeft(unit.Channel(0)), mRight(unit.Channel(1))
    {
        // A size the compiler cannot see, as in a render call.
        benchmark::DoNotOptimize(mBytes);
    }
    void operator()()
    {
        std::memset(mLeft, 0, mBytes);
        std::memset(mRight, 0, mBytes);
        benchmark::ClobberMemory();
    }

private:
    Float32* mLeft;
    Float32* mRight;
    size_t mBytes = kFrames * sizeof(Float32);
};

void BM_MemsetStereoOutputFloor(benchmark::State& state)
{
    PlenkoOutRig rig(1);
    MemsetStereoOutput floor(rig.Unit());
    for (auto _ : state)
        floor();
}
BENCHMARK(BM_MemsetStereoOutputFloor);

// The render call against its floor in alternating batches of calls, so that both see the same
// state of the machine (on a shared one, its speed changes from one second to the next): the
// ratio of their summed times, and each one's time per call; with flushing:1 from a thread that
// flushes denormals.
void BM_PlenkoOutRenderToFloorRatio(benchmark::State& state)
{
    constexpr int kBatch = 64;
    using Clock = std::chrono::steady_clock;
    OutputToFile output;
    ThreadFlushingDenormals flushing(state.range(0) != 0);
    PlenkoOutRig rig(1);
    rig.Choose(0);
    HostedUnit& unit = rig.Unit();
    MemsetStereoOutput floor(unit);
    unit.Render(kFrames);
    Clock::duration renderTime{}, floorTime{};
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int i = 0; i < kBatch; ++i) {
            const OSStatus status = unit.Render(kFrames);
            benchmark::DoNotOptimize(status);
        }
        const auto rendered = Clock::now();
        for (int i = 0; i < kBatch; ++i)
            floor();
        floorTime += Clock::now() - rendered;
        renderTime += rendered - start;
    }
    const double calls = double(state.iterations()) * kBatch;
    state.counters["ratio"] = double(renderTime.count()) / double(floorTime.count());
    state.counters["render_ns"] =
        std::chrono::duration<double, std::nano>(renderTime).count() / calls;
    state.counters["floor_ns"] =
        std::chrono::duration<double, std::nano>(floorTime).count() / calls;
}
BENCHMARK(BM_PlenkoOutRenderToFloorRatio)->ArgName("flushing")->Arg(0)->Arg(1);

// Counts the 3-byte messages that reach the destination.
void CountMessages(void* refCon, const MIDIPacket& packet)
{
    static_cast<std::atomic<UInt64>*>(refCon)->fetch_add(packet.length / 3);
}

void Throughput(benchmark::State& state, bool logOn)
{
    OutputToFile output;
    if (!logOn)
        setenv("PLENKO_LOG", "off", 1);
    PlenkoOutRig rig(1);
    unsetenv("PLENKO_LOG");
    std::atomic<UInt64> delivered{0};
    rig.Destination(0).Listen(&CountMessages, &delivered);
    rig.Choose(0);
    HostedUnit& unit = rig.Unit();
    UInt32 note = 0;
    for (auto _ : state) {
        for (UInt32 i = 0; i < kMessagesPerRender; ++i, ++note)
            unit.MIDI(0x90, note & 0x7F, 100);
        unit.RenderInRealTime(kFrames);
    }
    state.SetItemsProcessed(state.iterations() * kMessagesPerRender);
    // Renders follow the host clock in samples: the last may fall on the sample time of the one
    // before, which renders nothing and leaves its messages queued in the unit. A render a
    // millisecond later sends them, so that the counts below are the services' alone.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    unit.RenderInRealTime(kFrames);
    // What the MIDI services took and delivered, of all that was sent (1 when nothing was lost),
    // and what they refused for want of room.
    const MIDIEndpointRef destination = rig.Destination(0).Endpoint();
    const auto count = [destination](CFStringRef property) {
        SInt32 value = 0;
        MIDIObjectGetIntegerProperty(destination, property, &value);
        return double(UInt32(value));
    };
    for (int wait = 0;
         wait < 500 && delivered.load() + count(kMIDIPropertyRefusedMessageCount) < double(note);
         ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    state.counters["delivered"] = double(delivered.load()) / double(note);
    state.counters["refused"] = count(kMIDIPropertyRefusedMessageCount) / double(note);
}

void BM_PlenkoOutThroughputLogToFile(benchmark::State& state)
{
    Throughput(state, true);
}
BENCHMARK(BM_PlenkoOutThroughputLogToFile)->MinTime(2.0);

void BM_PlenkoOutThroughputLogOff(benchmark::State& state)
{
    Throughput(state, false);
}
BENCHMARK(BM_PlenkoOutThroughputLogOff)->MinTime(2.0);

} // namespace
