// The map store under concurrent use through the host calls: one thread sends MIDI while others
// replace, insert, remove, arm learning and read the list. A matching pass must only ever see
// whole snapshots, a read only whole maps within its room, no change may be lost, and nothing
// may race (ThreadSanitizer), overrun a buffer (AddressSanitizer) or hang (the watchdog).
#include "CAAUMIDIMap.h"
#include "MIDITestUnit.h"

#include "Watchdog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

using namespace midi_test;

namespace {

constexpr UInt32 kSubRange = kAUParameterMIDIMapping_SubRange;

// Checks, on the MIDI thread, every value a matching pass sets against the values the maps of
// the sets in play can give for the controller value being sent.
struct ValueCheck {
    static void Observe(void* refCon, const ParameterSet& set)
    {
        auto& check = *static_cast<ValueCheck*>(refCon);
        const Float32 linear = Float32(check.data2 / 127.0);
        bool valid = false;
        for (const AUParameterMIDIMapping& map : check.maps)
            valid = valid ||
                    set.value == linear * (map.mSubRangeMax - map.mSubRangeMin) + map.mSubRangeMin;
        ++(valid ? check.good : check.bad);
    }

    std::vector<AUParameterMIDIMapping> maps;
    UInt8 data2 = 0;
    long good = 0;
    long bad = 0;
};

} // namespace

TEST(MIDIMapConcurrency, MatchingAndReadingWhileMapsAreReplacedAndInsertedSeeOnlyWholeMaps)
{
    Watchdog watchdog(240, "matching and reading during replaces and inserts");
    MIDITestInstance instance;
    ASSERT_EQ(instance.OpenStatus(), noErr);
    const AUParameterMIDIMapping low = Mapping(0xB0, 7, kLevel, kSubRange, 10, 20);
    const AUParameterMIDIMapping high = Mapping(0xB0, 7, kLevel, kSubRange, 30, 40);
    ASSERT_EQ(instance.SetMappings(kAllMaps, {low}), noErr);
    ValueCheck check;
    check.maps = {low, high};
    instance.Object().mObserver = &ValueCheck::Observe;
    instance.Object().mObserverRefCon = &check;

    std::atomic<bool> done{false};
    std::thread replacer([&] {
        for (int i = 0; !done.load(); ++i)
            instance.SetMappings(kAllMaps, i % 2 == 0 ? std::vector{low, high} : std::vector{high});
    });
    std::thread inserter([&] {
        for (int i = 0; !done.load(); ++i)
            instance.SetMappings(kAddMap, {i % 2 == 0 ? low : high});
    });
    // Each read sizes its buffer from the information, which may be stale by the read.
    std::atomic<long> foreignMapsRead{0};
    std::thread reader([&] {
        while (!done.load())
            for (const AUParameterMIDIMapping& map : instance.Mappings())
                if (std::memcmp(&map, &low, sizeof map) != 0 &&
                    std::memcmp(&map, &high, sizeof map) != 0)
                    ++foreignMapsRead;
    });
    constexpr int kMessages = 100000;
    for (int i = 0; i < kMessages; ++i) {
        check.data2 = UInt8(1 + i % 127);
        ASSERT_EQ(instance.Send(0xB0, 7, check.data2), noErr);
    }
    done = true;
    replacer.join();
    inserter.join();
    reader.join();

    EXPECT_EQ(check.bad, 0);
    EXPECT_EQ(foreignMapsRead.load(), 0);
    // Every store in play holds a map for controller 7.
    EXPECT_GE(check.good, kMessages);
}

TEST(MIDIMapConcurrency, ConcurrentInsertsLearningAndRemovalsLoseNothing)
{
    Watchdog watchdog(240, "inserts, learning and removals");
    MIDITestInstance instance;
    ASSERT_EQ(instance.OpenStatus(), noErr);
    constexpr AudioUnitParameterID kFirstOwn[2] = {1000, 2000};
    constexpr int kInserts = 600;

    std::atomic<int> insertersDone{0};
    auto insert = [&](AudioUnitParameterID first) {
        // Poly pressure maps: the MIDI thread never sends what they match.
        for (int i = 0; i < kInserts; ++i)
            instance.SetMappings(kAddMap, {Mapping(0xA0, UInt8(i % 128), first + i)});
        ++insertersDone;
    };
    std::thread first(insert, kFirstOwn[0]);
    std::thread second(insert, kFirstOwn[1]);
    std::thread learner([&] {
        for (int i = 0; insertersDone.load() < 2; ++i) {
            instance.SetMappings(kHotMap, {Mapping(0, 0, kBlend)});
            if (i % 4 == 3)
                instance.SetMappings(kRemoveMap, {Mapping(0, 0, kBlend)});
        }
    });
    for (int i = 0; insertersDone.load() < 2; ++i)
        ASSERT_EQ(instance.Send(0xB0 | (i % 16), 74, 64), noErr);
    first.join();
    second.join();
    learner.join();

    const std::vector<AUParameterMIDIMapping> maps = instance.Mappings();
    std::map<AudioUnitParameterID, int> perParameter;
    for (const AUParameterMIDIMapping& map : maps)
        ++perParameter[map.mParameterID];
    for (AudioUnitParameterID base : kFirstOwn)
        for (int i = 0; i < kInserts; ++i)
            EXPECT_EQ(perParameter[base + i], 1) << "parameter " << base + i;
    EXPECT_LE(perParameter[kBlend], 1);
    EXPECT_EQ(maps.size(), size_t(2 * kInserts + perParameter[kBlend]));
    EXPECT_TRUE(std::is_sorted(maps.begin(), maps.end(), CompareMIDIMap()));
}
