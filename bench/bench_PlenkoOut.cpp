// The unit as a host drives it, opened through the component host: one render call with an empty
// queue (512 frames, stereo), also from a thread that flushes denormals, beside the memset of the
// same output buffers as its floor, and the sustained throughput of MIDI events, render calls and
// sends, with the log going to a file and with PLENKO_LOG=off. Each render call carries 64
// messages; stamps follow the host clock.
#include "CAFlushDenormals.h"
#include "PlenkoOutUnit.h"

#include <benchmark/benchmark.h>

#include <atomic>
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

// The same calls from a thread that flushes denormals already, as many hosts' audio threads do:
// the unit then leaves the processor's control register alone.
void BM_PlenkoOutRenderEmptyQueueFlushingThread(benchmark::State& state)
{
    const int saved = GETCSR();
    SETCSR(saved | CAFlushDenormalsScope::kFlushBits);
    RenderEmptyQueue(state);
    SETCSR(saved);
}
BENCHMARK(BM_PlenkoOutRenderEmptyQueueFlushingThread);

void BM_MemsetStereoOutputFloor(benchmark::State& state)
{
    std::vector<Float32> left(kFrames), right(kFrames);
    // A size the compiler cannot see, as in a render call.
    size_t bytes = kFrames * sizeof(Float32);
    benchmark::DoNotOptimize(bytes);
    for (auto _ : state) {
        std::memset(left.data(), 0, bytes);
        std::memset(right.data(), 0, bytes);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MemsetStereoOutputFloor);

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
    // What the MIDI services took and delivered, of all that was sent (1 when nothing was lost).
    for (int wait = 0; wait < 100 && delivered.load() < note; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    state.counters["delivered"] = double(delivered.load()) / double(note);
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
