// The map store on its own, with the test unit as the owner whose parameters it sets: order,
// insert, replace and remove, matching of messages against runs of maps, and room for a learn.
#include "CAAUMIDIMapManager.h"
#include "MIDITestUnit.h"

#include "CFLeakCheck.h"

#include <AudioToolbox/AudioUnitUtilities.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace midi_test;

namespace {

class MapManagerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(mInstance.OpenStatus(), noErr); }

    MIDITestUnit& Unit() { return mInstance.Object(); }
    void Insert(const std::vector<AUParameterMIDIMapping>& maps)
    {
        EXPECT_EQ(mMaps.SortedInsertToParamaterMaps(maps.data(), UInt32(maps.size()), Unit()),
                  noErr);
    }
    void Replace(const std::vector<AUParameterMIDIMapping>& maps)
    {
        EXPECT_EQ(mMaps.ReplaceAllMaps(maps.data(), UInt32(maps.size()), Unit()), noErr);
    }
    bool Remove(const std::vector<AUParameterMIDIMapping>& maps)
    {
        bool changed = true;
        mMaps.SortedRemoveFromParameterMaps(maps.data(), UInt32(maps.size()), changed);
        return changed;
    }
    // Status, data byte and parameter of each stored map, in store order.
    std::vector<std::vector<UInt32>> Stored() const
    {
        std::vector<AUParameterMIDIMapping> maps(mMaps.NumMaps());
        maps.resize(mMaps.GetMaps(maps.data(), UInt32(maps.size())));
        std::vector<std::vector<UInt32>> keys;
        for (const AUParameterMIDIMapping& map : maps)
            keys.push_back({map.mStatus, map.mData1, map.mParameterID});
        return keys;
    }
    bool Match(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2)
    {
        return mMaps.FindParameterMapEventMatch(status, channel, data1, data2, 7, Unit());
    }
    // The parameters set since the last call, in order.
    std::vector<AudioUnitParameterID> TakeSetParameters()
    {
        std::vector<AudioUnitParameterID> ids;
        for (const ParameterSet& set : Unit().mParameterSets)
            ids.push_back(set.id);
        Unit().mParameterSets.clear();
        return ids;
    }

    MIDITestInstance mInstance;
    CAAUMIDIMapManager mMaps;
};

using Keys = std::vector<std::vector<UInt32>>;

} // namespace

TEST_F(MapManagerTest, InsertsKeepTheStoreSortedByKindAndDataByteWithOneMapPerParameter)
{
    Insert({Mapping(0xC0, 9, kLevel), Mapping(0xB0, 74, kCutoff), Mapping(0x90, 60, kDrive)});
    Insert({Mapping(0xB3, 7, kBlend), Mapping(0xE0, 0, 40)});
    EXPECT_EQ(Stored(), (Keys{{0x90, 60, kDrive},
                              {0xB3, 7, kBlend},
                              {0xB0, 74, kCutoff},
                              {0xC0, 9, kLevel},
                              {0xE0, 0, 40}}));

    // A new map for a mapped parameter replaces the old one whatever its MIDI side; of two
    // entries for one parameter in one call the later stays.
    Insert({Mapping(0xD0, 0, kCutoff), Mapping(0xA0, 1, kLevel), Mapping(0xB0, 1, kLevel)});
    EXPECT_EQ(Stored(), (Keys{{0x90, 60, kDrive},
                              {0xB0, 1, kLevel},
                              {0xB3, 7, kBlend},
                              {0xD0, 0, kCutoff},
                              {0xE0, 0, 40}}));
    EXPECT_EQ(mMaps.FindParameterIndex(Mapping(0, 0, kCutoff)), 3);
    EXPECT_EQ(mMaps.FindParameterIndex(Mapping(0, 0, 41)), -1);
}

TEST_F(MapManagerTest, ReplaceKeepsDuplicatesAndRemoveUsesOnlyTheParameterIdentity)
{
    Replace({Mapping(0xB0, 8, kLevel), Mapping(0xB0, 7, kLevel), Mapping(0x90, 1, kDrive)});
    EXPECT_EQ(Stored(), (Keys{{0x90, 1, kDrive}, {0xB0, 7, kLevel}, {0xB0, 8, kLevel}}));

    EXPECT_FALSE(Remove({Mapping(0xB0, 7, kBlend)}));
    EXPECT_EQ(mMaps.NumMaps(), 3u);
    EXPECT_TRUE(Remove({Mapping(0xE0, 0, kDrive), Mapping(0, 0, kLevel)}));
    EXPECT_EQ(Stored(), (Keys{{0xB0, 8, kLevel}}));
}

TEST_F(MapManagerTest, AMessageSetsEveryMatchingMapOfItsRunAndNothingElse)
{
    AUEventListenerRef listener = nullptr;
    int notifications = 0;
    ASSERT_EQ(AUEventListenerCreate([](void* refCon, void*, const AudioUnitEvent*, UInt64,
                                       AudioUnitParameterValue) { ++*static_cast<int*>(refCon); },
                                    &notifications, &listener),
              noErr);
    for (AudioUnitParameterID id : {kLevel, kCutoff, kDrive}) {
        AudioUnitEvent event{};
        event.mEventType = kAudioUnitEvent_ParameterValueChange;
        event.mArgument.mParameter = {mInstance.Unit(), id, kAudioUnitScope_Global, 0};
        ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &event), noErr);
    }
    Replace({Mapping(0xB1, 7, kLevel), Mapping(0xB1, 7, kCutoff), Mapping(0xB1, 8, kDrive),
             Mapping(0x90, 60, kBlend), Mapping(0x80, 60, kDrive),
             Mapping(0xB1, 7, 77) /* unknown to the unit */});
    struct Case {
        UInt8 status, channel, data1, data2;
        std::vector<AudioUnitParameterID> set;
        int notifications;
    } cases[] = {
        // Both maps of controller 7, in store order; the unknown parameter is tried and told to
        // the listeners like the others but its refusal stops nothing.
        {0xB0, 1, 7, 64, {kLevel, kCutoff, 77}, 2},
        {0xB0, 1, 8, 64, {kDrive}, 1},
        {0xB0, 0, 7, 64, {}, 0},
        {0xB0, 1, 9, 64, {}, 0},
        // A note on of velocity 0 is looked up as a note off.
        {0x90, 0, 60, 0, {kDrive}, 1},
        {0x90, 0, 60, 1, {kBlend}, 0},
    };
    for (const Case& c : cases) {
        notifications = 0;
        EXPECT_EQ(Match(c.status, c.channel, c.data1, c.data2), !c.set.empty());
        EXPECT_EQ(TakeSetParameters(), c.set) << std::hex << int(c.status) << " " << int(c.data1);
        EXPECT_EQ(notifications, c.notifications) << std::hex << int(c.status);
    }
    EXPECT_EQ(mInstance.Parameter(kLevel), 64 / 127.0f);
    AUListenerDispose(listener);
}

TEST_F(MapManagerTest, ALearnCaptureFindsRoomAfterTheStoreGrewWhileArmed)
{
    mMaps.SetHotMapping(Mapping(0, 0, kLevel), Unit());
    std::vector<AUParameterMIDIMapping> many;
    for (UInt32 i = 0; i < 100; ++i)
        many.push_back(Mapping(0xB0, UInt8(i), 1000 + i));
    Insert(many);
    Replace(many); // a new store, not the one the spare was sized for
    EXPECT_TRUE(mMaps.HandleHotMapping(0x90, 0, 60, Unit()));
    EXPECT_EQ(mMaps.NumMaps(), 101u);
    EXPECT_EQ(Stored().front(), (std::vector<UInt32>{0x90, 60, kLevel}));
}
