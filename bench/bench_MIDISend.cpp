// Cost of MIDISend on the sending thread, and how late the scheduler delivers a packet after its
// stamp (median and largest, in microseconds).
#include "Monitor/RecordingDestination.h"

#include <CoreAudio/HostTime.h>
#include <CoreFoundation/CFString.h>
#include <CoreMIDI/CoreMIDI.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

// A client, a port and one recording destination (keeping packets in a ring of ringPackets, if
// any), for the length of one benchmark.
class Session {
public:
    explicit Session(UInt32 ringPackets = 0) : mRingPackets(ringPackets)
    {
        MIDIClientCreate(CFSTR("Bench"), nullptr, nullptr, &mClient);
        MIDIOutputPortCreate(mClient, CFSTR("Bench Out"), &mPort);
        RenewDestination();
    }
    ~Session()
    {
        mDestination.reset();
        MIDIClientDispose(mClient);
    }

    // Replaces the destination, which frees whatever was queued for it.
    void RenewDestination()
    {
        mDestination.reset();
        mDestination = std::make_unique<RecordingDestination>(
            RecordingSettings{"Bench In", mClient, "", false, mRingPackets});
    }

    // Sends until the queue takes the list; returns how often it refused.
    int64_t Send(const MIDIPacketList* list) const
    {
        int64_t refusals = 0;
        while (MIDISend(mPort, mDestination->Endpoint(), list) == kMIDIMessageSendErr)
            ++refusals;
        return refusals;
    }

    // The host time the next packet arrived at, once it has.
    UInt64 NextArrival() const
    {
        MIDIPacket packet;
        UInt64 arrival = 0;
        while (!mDestination->Pop(packet, arrival))
            std::this_thread::yield();
        return arrival;
    }

private:
    const UInt32 mRingPackets;
    MIDIClientRef mClient = 0;
    MIDIPortRef mPort = 0;
    std::unique_ptr<RecordingDestination> mDestination;
};

// A list like the unit sends per render slice: 512 bytes of 3-byte messages, with distinct stamps
// in the past (one packet each) or one shared stamp (merged into few packets).
void FillList(MIDIPacketList* list, size_t size, int messages, bool equalStamps)
{
    MIDIPacket* packet = MIDIPacketListInit(list);
    for (int i = 0; i < messages && packet != nullptr; ++i) {
        const Byte noteOn[] = {0x90, Byte(i & 0x7F), 100};
        packet =
            MIDIPacketListAdd(list, size, packet, equalStamps ? 0 : MIDITimeStamp(i), 3, noteOn);
    }
}

// The cost of one call while the queue has room: stamps an hour ahead keep the scheduler from
// delivering, and the destination is renewed (outside the timing) before the pool runs out.
void BM_MIDISendWithRoom(benchmark::State& state)
{
    Session session;
    MIDIPacketList list{};
    const Byte noteOn[] = {0x90, 60, 100};
    MIDIPacketListAdd(&list, sizeof list, MIDIPacketListInit(&list),
                      AudioGetCurrentHostTime() + 3600000000000ull, 3, noteOn);
    int64_t sent = 0, refusals = 0;
    for (auto _ : state) {
        refusals += session.Send(&list);
        if (++sent % 4000 == 0) {
            state.PauseTiming();
            session.RenewDestination();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            state.ResumeTiming();
        }
    }
    state.counters["refusals"] =
        benchmark::Counter(double(refusals), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_MIDISendWithRoom);

// The sustained rate: the stamps lie in the past, so the scheduler delivers at once and a sender
// faster than it meets a full queue (counted as refusals per list).
void BM_MIDISendSustained(benchmark::State& state)
{
    Session session;
    alignas(MIDIPacketList) Byte buffer[512];
    auto* list = reinterpret_cast<MIDIPacketList*>(buffer);
    FillList(list, sizeof buffer, int(state.range(0)), state.range(1) != 0);
    int64_t refusals = 0;
    for (auto _ : state)
        refusals += session.Send(list);
    state.counters["packets"] = list->numPackets;
    state.counters["refusals"] =
        benchmark::Counter(double(refusals), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_MIDISendSustained)
    ->ArgNames({"messages", "sameStamp"})
    ->Args({1, 0})
    ->Args({31, 0})
    ->Args({100, 1});

void BM_DeliveryLateness(benchmark::State& state)
{
    Session session(16);
    const UInt64 ahead = UInt64(state.range(0)) * 1000;
    std::vector<double> latenessMicros;
    for (auto _ : state) {
        MIDIPacketList list{};
        const Byte noteOn[] = {0x90, 60, 100};
        const MIDITimeStamp stamp = AudioGetCurrentHostTime() + ahead;
        MIDIPacketListAdd(&list, sizeof list, MIDIPacketListInit(&list), stamp, 3, noteOn);
        session.Send(&list);
        const UInt64 arrived = session.NextArrival();
        latenessMicros.push_back(double(arrived - stamp) / 1000.0);
    }
    std::sort(latenessMicros.begin(), latenessMicros.end());
    state.counters["median_us"] = latenessMicros[latenessMicros.size() / 2];
    state.counters["largest_us"] = latenessMicros.back();
}
BENCHMARK(BM_DeliveryLateness)->ArgName("aheadMicros")->Arg(2000)->Iterations(500);

} // namespace
