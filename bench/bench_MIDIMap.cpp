// Cost of one control change against a store of 1, 16 or 256 maps, with no parameter listener:
// matched (one parameter set) and unmatched (its run walked, no channel fits), on the map
// manager alone and through the music-device host call with the unit's whole MIDI path.
#include "CAAUMIDIMapManager.h"
#include "MIDITestUnit.h"

#include <benchmark/benchmark.h>

#include <vector>

using namespace midi_test;

namespace {

constexpr UInt8 kMatchedChannel = 0;
constexpr UInt8 kUnmatchedChannel = 9;

// Controllers 0 to 127 on channel 0, then on channel 1, spread over the unit's parameters.
std::vector<AUParameterMIDIMapping> StoreOf(int count)
{
    std::vector<AUParameterMIDIMapping> maps;
    for (int i = 0; i < count; ++i)
        maps.push_back(Mapping(UInt8(0xB0 | (i / 128)), UInt8(i % 128), i % kParameterCount));
    return maps;
}

void ManagerControlChange(benchmark::State& state, UInt8 channel)
{
    MIDITestInstance instance;
    CAAUMIDIMapManager maps;
    const std::vector<AUParameterMIDIMapping> store = StoreOf(int(state.range(0)));
    maps.ReplaceAllMaps(store.data(), UInt32(store.size()), instance.Object());
    UInt8 value = 0;
    for (auto _ : state) {
        const bool matched =
            maps.FindParameterMapEventMatch(0xB0, channel, 0, value++ & 0x7F, 0, instance.Object());
        benchmark::DoNotOptimize(matched);
    }
}

void HostControlChange(benchmark::State& state, UInt8 channel)
{
    MIDITestInstance instance;
    instance.SetMappings(kAllMaps, StoreOf(int(state.range(0))));
    UInt8 value = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(instance.Send(0xB0 | channel, 0, value++ & 0x7F));
}

void BM_ManagerMatchedControlChange(benchmark::State& state)
{
    ManagerControlChange(state, kMatchedChannel);
}
void BM_ManagerUnmatchedControlChange(benchmark::State& state)
{
    ManagerControlChange(state, kUnmatchedChannel);
}
void BM_HostMatchedControlChange(benchmark::State& state)
{
    HostControlChange(state, kMatchedChannel);
}
void BM_HostUnmatchedControlChange(benchmark::State& state)
{
    HostControlChange(state, kUnmatchedChannel);
}

} // namespace

BENCHMARK(BM_ManagerMatchedControlChange)->Arg(1)->Arg(16)->Arg(256);
BENCHMARK(BM_ManagerUnmatchedControlChange)->Arg(1)->Arg(16)->Arg(256);
BENCHMARK(BM_HostMatchedControlChange)->Arg(1)->Arg(16)->Arg(256);
BENCHMARK(BM_HostUnmatchedControlChange)->Arg(1)->Arg(16)->Arg(256);
