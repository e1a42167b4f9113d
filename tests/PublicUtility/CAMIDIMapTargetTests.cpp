// The map store driving a unit through the narrow interface alone: a fake unit with no framework
// below it describes its parameters and records what the matched messages set.
#include "CAAUMIDIMapManager.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct FakeParameter {
    AudioUnitParameterID id;
    Float32 minValue, maxValue;
    bool refuses; // throws when set, as a unit may
};

constexpr FakeParameter kParameters[] = {
    {1, 0, 100, false},
    {2, -1, 1, false},
    {3, 0, 10, true},
};

struct SetCall {
    AudioUnitParameterID id;
    Float32 value;
    UInt32 offset;
};

class FakeUnit : public CAMIDIMapTarget {
public:
    OSStatus GetParameterInfo(AudioUnitScope, AudioUnitParameterID id,
                              AudioUnitParameterInfo& info) override
    {
        for (const FakeParameter& parameter : kParameters)
            if (parameter.id == id) {
                info.minValue = parameter.minValue;
                info.maxValue = parameter.maxValue;
                return noErr;
            }
        return kAudioUnitErr_InvalidParameter;
    }
    OSStatus SetParameter(AudioUnitParameterID id, AudioUnitScope, AudioUnitElement,
                          AudioUnitParameterValue value, UInt32 offset) override
    {
        for (const FakeParameter& parameter : kParameters)
            if (parameter.id == id && parameter.refuses)
                throw OSStatus(kAudioUnitErr_InvalidParameter);
        mSets.push_back({id, value, offset});
        return noErr;
    }
    AudioComponentInstance MappedInstance() const override { return nullptr; }

    std::vector<SetCall> mSets;
};

AUParameterMIDIMapping ControlMap(UInt8 controller, AudioUnitParameterID id)
{
    AUParameterMIDIMapping map{};
    map.mStatus = 0xB0;
    map.mData1 = controller;
    map.mParameterID = id;
    return map;
}

} // namespace

TEST(CAMIDIMapTarget, MatchedMessagesSetTheFakeUnitsParametersWithinTheRangesItDescribes)
{
    FakeUnit unit;
    CAAUMIDIMapManager maps;
    // Parameter 3 shares controller 7 with parameter 1 and refuses: 1 is set all the same.
    const std::vector<AUParameterMIDIMapping> stored{ControlMap(7, 1), ControlMap(7, 3),
                                                     ControlMap(10, 2)};
    ASSERT_EQ(maps.SortedInsertToParamaterMaps(stored.data(), UInt32(stored.size()), unit), noErr);

    struct Case {
        UInt8 controller, value;
        bool matches;
        const FakeParameter* parameter; // the one set, if any
    } cases[] = {
        {7, 127, true, &kParameters[0]},
        {7, 0, true, &kParameters[0]},
        {10, 64, true, &kParameters[1]},
        {11, 64, false, nullptr},
    };
    for (const Case& c : cases) {
        unit.mSets.clear();
        EXPECT_EQ(maps.FindParameterMapEventMatch(0xB0, 0, c.controller, c.value, 5, unit),
                  c.matches)
            << "controller " << int(c.controller);
        if (c.parameter == nullptr) {
            EXPECT_TRUE(unit.mSets.empty());
            continue;
        }
        ASSERT_EQ(unit.mSets.size(), 1u) << "controller " << int(c.controller);
        const Float32 span = c.parameter->maxValue - c.parameter->minValue;
        EXPECT_EQ(unit.mSets[0].id, c.parameter->id);
        EXPECT_FLOAT_EQ(unit.mSets[0].value, c.parameter->minValue + span * c.value / 127.0f);
        EXPECT_EQ(unit.mSets[0].offset, 5u);
    }
}
