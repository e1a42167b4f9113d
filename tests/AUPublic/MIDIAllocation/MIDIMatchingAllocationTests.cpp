// Proves that MIDI through a music device allocates nothing once the maps are set: matching
// against a full store, the typed dispatch, the note calls and a learn capture. This program
// replaces the allocator with a counting one, so it lives in a folder of its own.
#include "MIDITestUnit.h"

#include "CountingAllocator.h"

#include <AudioToolbox/AudioUnitUtilities.h>
#include <gtest/gtest.h>

#include <vector>

using namespace midi_test;

namespace {

void CountNotification(void* refCon, void*, const AudioUnitEvent*, UInt64, AudioUnitParameterValue)
{
    ++*static_cast<long*>(refCon);
}

} // namespace

TEST(MIDIMatchingAllocation, MatchingDispatchAndLearningAllocateNothing)
{
    SKIP_WHEN_SANITIZED();
    MIDITestInstance instance;
    ASSERT_EQ(instance.OpenStatus(), noErr);
    // Every controller on two channels, and notes, spread over the unit's parameters.
    std::vector<AUParameterMIDIMapping> maps;
    for (UInt8 controller = 0; controller < 128; ++controller)
        for (UInt8 channel = 0; channel < 2; ++channel)
            maps.push_back(Mapping(UInt8(0xB0 | channel), controller, (controller + channel) % 3));
    maps.push_back(Mapping(0x90, 60, kLevel, kAUParameterMIDIMapping_AnyNoteFlag));
    ASSERT_EQ(instance.SetMappings(kAllMaps, maps), noErr);
    ASSERT_EQ(instance.SetMappings(kHotMap, {Mapping(0, 0, kBlend)}), noErr);

    AUEventListenerRef listener = nullptr;
    long notifications = 0;
    ASSERT_EQ(AUEventListenerCreate(&CountNotification, &notifications, &listener), noErr);
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_ParameterValueChange;
    event.mArgument.mParameter = {instance.Unit(), kLevel, kAudioUnitScope_Global, 0};
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &event), noErr);

    const UInt32 messages[][3] = {
        {0xC5, 3, 0},   // first: the learn capture
        {0xB0, 7, 100}, // matched
        {0xB1, 9, 0},   // matched
        {0xB7, 7, 100}, // a run, but no map of this channel
        {0x90, 64, 90}, // note on, matched
        {0x90, 64, 0},  // note off by velocity 0
        {0xE3, 0, 64},  // no map
        {0xB2, 121, 0}, // reset all controllers
        {0xF8, 0, 0},   // clock
    };
    long allocations = 0;
    {
        CountAllocations counter;
        for (int round = 0; round < 1000; ++round)
            for (const auto& m : messages)
                ASSERT_EQ(instance.Send(m[0], m[1], m[2], UInt32(round)), noErr);
        allocations = counter.Count();
    }
    EXPECT_EQ(allocations, 0) << "MIDI calls allocated";
    EXPECT_EQ(instance.Mappings().size(), maps.size() + 1) << "the capture took no message";
    EXPECT_GT(notifications, 0);
    EXPECT_FALSE(instance.Object().mParameterSets.empty());
    AUListenerDispose(listener);
}
