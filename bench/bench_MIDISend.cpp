// Cost of MIDISend on the sending thread, and how late the scheduler delivers a packet after its
// stamp (median and largest, in microseconds).
#include <CoreAudio/HostTime.h>
#include <CoreFoundation/CFString.h>
#include <CoreMIDI/CoreMIDI.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

// A client, a port and one destination, for the length of one benchmark.
class Session {
public:
    Session(MIDIReadProc readProc, void* refCon)
    {
        MIDIClientCreate(CFSTR("Bench"), nullptr, nullptr, &mClient);
        MIDIOutputPortCreate(mClient, CFSTR("Bench Out"), &mPort);
        MIDIDestinationCreate(mClient, CFSTR("Bench In"), readProc, refCon, &mDestination);
    }
    ~Session() { MIDIClientDispose(mClient); }

    // Sends until the queue takes the list; returns how often it refused.
    int64_t Send(const MIDIPacketList* list) const
    {
        int64_t refusals = 0;
        while (MIDISend(mPort, mDestination, list) == kMIDIMessageSendErr)
            ++refusals;
        return refusals;
    }

private:
    MIDIClientRef mClient = 0;
    MIDIPortRef mPort = 0;
    MIDIEndpointRef mDestination = 0;
};

// A list like the unit sends per render slice: 512 bytes of 3-byte messages, with distinct stamps
// (one packet each) or one shared stamp (merged into few packets). The stamps lie in the past,
// so the scheduler delivers at once and the figures show the sustained rate.
void FillList(MIDIPacketList* list, size_t size, int messages, bool equalStamps)
{
    MIDIPacket* packet = MIDIPacketListInit(list);
    for (int i = 0; i < messages && packet != nullptr; ++i) {
        const Byte noteOn[] = {0x90, Byte(i & 0x7F), 100};
        packet =
            MIDIPacketListAdd(list, size, packet, equalStamps ? 0 : MIDITimeStamp(i), 3, noteOn);
    }
}

void BM_MIDISend(benchmark::State& state)
{
    Session session(nullptr, nullptr);
    alignas(8) Byte buffer[512];
    auto* list = reinterpret_cast<MIDIPacketList*>(buffer);
    FillList(list, sizeof buffer, int(state.range(0)), state.range(1) != 0);
    int64_t refusals = 0;
    for (auto _ : state)
        refusals += session.Send(list);
    state.counters["packets"] = list->numPackets;
    state.counters["refusals"] =
        benchmark::Counter(double(refusals), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_MIDISend)
    ->ArgNames({"messages", "sameStamp"})
    ->Args({1, 0})
    ->Args({31, 0})
    ->Args({100, 1});

struct Arrival {
    std::atomic<UInt64> time{0};
    static void Read(const MIDIPacketList*, void* refCon, void*)
    {
        static_cast<Arrival*>(refCon)->time.store(AudioGetCurrentHostTime());
    }
};

void BM_DeliveryLateness(benchmark::State& state)
{
    Arrival arrival;
    Session session(&Arrival::Read, &arrival);
    const UInt64 ahead = UInt64(state.range(0)) * 1000;
    std::vector<double> latenessMicros;
    for (auto _ : state) {
        arrival.time.store(0);
        MIDIPacketList list{};
        const Byte noteOn[] = {0x90, 60, 100};
        const MIDITimeStamp stamp = AudioGetCurrentHostTime() + ahead;
        MIDIPacketListAdd(&list, sizeof list, MIDIPacketListInit(&list), stamp, 3, noteOn);
        session.Send(&list);
        UInt64 arrived = 0;
        while ((arrived = arrival.time.load()) == 0)
            std::this_thread::yield();
        latenessMicros.push_back(double(arrived - stamp) / 1000.0);
    }
    std::sort(latenessMicros.begin(), latenessMicros.end());
    state.counters["median_us"] = latenessMicros[latenessMicros.size() / 2];
    state.counters["largest_us"] = latenessMicros.back();
}
BENCHMARK(BM_DeliveryLateness)->ArgName("aheadMicros")->Arg(2000)->Iterations(500);

} // namespace
