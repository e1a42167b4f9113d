// One map on its own: the curves and which one a parameter gets, whether a message matches and
// the linear value it gives, scaling into the range, the order of the store, completion from the
// unit's parameter description, and the diagnostic line.
#include "CAAUMIDIMap.h"
#include "MIDITestUnit.h"

#include "CFLeakCheck.h"
#include "OutputCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

using namespace midi_test;

namespace {

CAAUMIDIMap Map(UInt8 status, UInt8 data1, UInt32 flags = 0)
{
    return CAAUMIDIMap(Mapping(status, data1, kLevel, flags));
}

} // namespace

TEST(CAAUMIDIMap, EachDisplayTypeGetsItsCurveAndCurvesMirrorNegativeArguments)
{
    const double e = std::exp(1.0);
    const double floorLog = std::log(1e-5);
    struct Case {
        UInt32 flags;
        double x;
        double toLinear;
        double fromLinear;
    } cases[] = {
        {0, -0.3, -0.3, -0.3},
        {kAudioUnitParameterFlag_DisplayLogarithmic, e, 1.0, std::exp(e)},
        {kAudioUnitParameterFlag_DisplayLogarithmic, -3, floorLog, std::exp(-3.0)},
        {kAudioUnitParameterFlag_DisplayExponential, 0, 1.0, floorLog},
        {kAudioUnitParameterFlag_DisplaySquareRoot, -4, -2, -16},
        {kAudioUnitParameterFlag_DisplaySquared, -4, -16, -2},
        {kAudioUnitParameterFlag_DisplayCubeRoot, -8, -std::pow(8, 0.3333333333333333), -512},
        {kAudioUnitParameterFlag_DisplayCubed, -8, -512, -std::pow(8, 0.3333333333333333)},
        // A logarithmic display combined with another type is no curve of its own.
        {kAudioUnitParameterFlag_DisplayLogarithmic | kAudioUnitParameterFlag_DisplaySquared, 2, 2,
         2},
        // Bits outside the display mask do not count.
        {kAudioUnitParameterFlag_IsWritable | kAudioUnitParameterFlag_DisplaySquared, 9, 81, 3},
    };
    for (const Case& c : cases) {
        MIDIValueTransformer* curve = CAAUMIDIMap::GetTransformer(c.flags);
        ASSERT_NE(curve, nullptr);
        EXPECT_DOUBLE_EQ(curve->tolinear(c.x), c.toLinear) << std::hex << c.flags;
        EXPECT_DOUBLE_EQ(curve->fromlinear(c.x), c.fromLinear) << std::hex << c.flags;
    }
    EXPECT_EQ(CAAUMIDIMap::GetTransformer(0), &gAllMidiTransformers->linearTransformer);
    EXPECT_EQ(CAAUMIDIMap::GetTransformer(kAudioUnitParameterFlag_DisplayCubeRoot),
              &gAllMidiTransformers->cubeRtTransformer);
}

TEST(CAAUMIDIMap, MatchesByKindChannelAndDataWithTheLinearValueOfTheMessage)
{
    constexpr UInt32 kAnyChannel = kAUParameterMIDIMapping_AnyChannelFlag;
    constexpr UInt32 kAnyNote = kAUParameterMIDIMapping_AnyNoteFlag;
    constexpr UInt32 kSwitchOn =
        kAUParameterMIDIMapping_Bipolar | kAUParameterMIDIMapping_Bipolar_On;
    constexpr UInt32 kSwitchOff = kAUParameterMIDIMapping_Bipolar;
    constexpr float kNone = -1; // no match
    struct Case {
        UInt8 status;
        UInt8 mapData1;
        UInt32 flags;
        UInt8 channel, data1, data2;
        float linear;
    } cases[] = {
        {0x90, 60, 0, 0, 60, 100, 1.0f},
        {0x90, 60, 0, 0, 61, 100, kNone},
        {0x90, 60, kAnyNote, 0, 64, 100, float(64 / 127.0)},
        {0x90, 60, kSwitchOn, 0, 70, 1, 1.0f}, // the note number is the switch
        {0x91, 60, 0, 0, 60, 100, kNone},      // another channel
        {0xA0, 60, 0, 0, 60, 90, float(90 / 127.0)},
        {0xA0, 60, kAnyNote, 0, 10, 90, float(90 / 127.0)},
        {0xA0, 60, kSwitchOff, 0, 60, 63, 0.0f}, // the pressure is the switch
        {0xB1, 7, 0, 1, 7, 127, 1.0f},
        {0xB1, 7, 0, 1, 8, 127, kNone},
        {0xB1, 7, 0, 2, 7, 127, kNone},
        {0xB1, 7, kAnyChannel, 15, 7, 0, 0.0f},
        {0xB0, 7, kSwitchOn, 0, 7, 64, 1.0f},
        {0xB0, 7, kSwitchOn, 0, 7, 63, kNone},
        {0xB0, 7, kSwitchOff, 0, 7, 63, 0.0f},
        {0xB0, 7, kSwitchOff, 0, 7, 64, kNone},
        {0xC0, 5, 0, 0, 5, 0, 1.0f},
        {0xC0, 5, 0, 0, 6, 0, kNone},
        {0xD0, 0, 0, 0, 100, 0, float(100 / 127.0)},
        {0xE0, 0, 0, 0, 0, 64, float(8192 / 16383.0)},
        {0xE0, 0, 0, 0, 127, 127, 1.0f},
        {0xE0, 0, kSwitchOn, 0, 100, 0, 1.0f},
        // System messages and data bytes carry no value: their maps never match.
        {0xF0, 0, 0, 0, 0, 0, kNone},
        {0xF0, 0, kSwitchOn, 0, 100, 100, kNone},
        {0x30, 0, kAnyChannel, 0, 0, 0, kNone},
    };
    for (const Case& c : cases) {
        Float32 linear = -5;
        const bool matched =
            Map(c.status, c.mapData1, c.flags).MIDI_Matches(c.channel, c.data1, c.data2, linear);
        SCOPED_TRACE(testing::Message() << std::hex << "status 0x" << int(c.status) << " flags 0x"
                                        << c.flags << std::dec << " message " << int(c.channel)
                                        << "/" << int(c.data1) << "/" << int(c.data2));
        EXPECT_EQ(matched, c.linear != kNone);
        if (matched) {
            EXPECT_EQ(linear, c.linear);
        }
    }
}

TEST(CAAUMIDIMap, ScalesIntoTheRangeOrSubRangeThenAppliesTheCurveToTheScaledValue)
{
    struct Case {
        Float32 rangeMin, rangeMax;
        UInt32 flags;
        Float32 subMin, subMax;
        UInt32 display;
        Float32 linear;
        Float32 expected;
    } cases[] = {
        {20, 20000, 0, 0, 0, 0, 0, 20},
        {20, 20000, 0, 0, 0, 0, 1, 1.0f * (20000.0f - 20.0f) + 20.0f},
        {20, 20000, kAUParameterMIDIMapping_SubRange, 100, 200, 0, 0.5f, 150},
        {0, 1, 0, 0, 0, kAudioUnitParameterFlag_DisplayLogarithmic, 0.5f, Float32(std::exp(0.5))},
        {-1, 1, 0, 0, 0, kAudioUnitParameterFlag_DisplaySquared, 0, -1},
        {0, 100, 0, 0, 0, kAudioUnitParameterFlag_DisplayCubeRoot, 0.5f, 125000},
    };
    for (const Case& c : cases) {
        CAAUMIDIMap map(Mapping(0xB0, 7, kLevel, c.flags, c.subMin, c.subMax));
        map.mRangeMin = c.rangeMin;
        map.mRangeMax = c.rangeMax;
        map.mTransformer = CAAUMIDIMap::GetTransformer(c.display);
        EXPECT_FLOAT_EQ(map.ParamValueFromMIDILinear(c.linear), c.expected)
            << c.rangeMin << ".." << c.rangeMax << " display 0x" << std::hex << c.display;
    }
}

TEST(CAAUMIDIMap, OrdersByKindThenControllerOrProgramNumberOnly)
{
    struct Case {
        CAAUMIDIMap a, b;
        int expected;
    } cases[] = {
        {Map(0x90, 60), Map(0xB0, 0), -1},
        {Map(0xE0, 0), Map(0x80, 0), 1},
        {Map(0xB0, 7), Map(0xB0, 8), -1},
        {Map(0xB0, 7), Map(0xB5, 7, kAUParameterMIDIMapping_AnyChannelFlag), 0},
        {Map(0xC3, 9), Map(0xC3, 4), 1},
        {Map(0x90, 60), Map(0x91, 61), 0}, // notes of one kind form one run
        {Map(0xE0, 1), Map(0xE0, 2), 0},
        {Map(0x00, 0), Map(0x80, 0), -1}, // an invalid map sorts before every real kind
    };
    const CompareMIDIMap order;
    for (const Case& c : cases) {
        EXPECT_EQ(order.compare(c.a, c.b), c.expected)
            << std::hex << int(c.a.mStatus) << "/" << int(c.a.mData1) << " vs " << int(c.b.mStatus)
            << "/" << int(c.b.mData1);
        EXPECT_EQ(order(c.a, c.b), c.expected < 0);
        EXPECT_EQ(order.Finish(c.a, c.b), c.expected != 0);
    }
}

namespace {

// Leaves a recognisable pattern where the next call's locals will lie, so that a value read
// from a record nobody wrote shows up as non-zero.
[[gnu::noinline]] void SoilStack()
{
    volatile unsigned char soil[8192];
    for (size_t i = 0; i < sizeof soil; ++i)
        soil[i] = 0xA5;
}

} // namespace

TEST(CAAUMIDIMap, FillInMapTakesRangeAndCurveFromTheUnitAndZeroesForUnknownParameters)
{
    MIDITestInstance instance;
    ASSERT_EQ(instance.OpenStatus(), noErr);
    CheckInitAllMidiTransformers();
    struct Case {
        AudioUnitParameterID parameter;
        UInt32 flags;
        Float32 rangeMin, rangeMax;
        MIDIValueTransformer* curve;
    } cases[] = {
        {kCutoff, 0, 20, 20000, &gAllMidiTransformers->logTransformer},
        // The sub-range replaces the range; the parameter still chooses the curve.
        {kDrive, kAUParameterMIDIMapping_SubRange, -0.5f, 0.25f,
         &gAllMidiTransformers->squareTransformer},
        {99, 0, 0, 0, &gAllMidiTransformers->linearTransformer},
    };
    for (const Case& c : cases) {
        CAAUMIDIMap map(Mapping(0xB0, 7, c.parameter, c.flags, -0.5f, 0.25f));
        SoilStack();
        FillInMap(map, instance.Object());
        EXPECT_EQ(map.mRangeMin, c.rangeMin) << "parameter " << c.parameter;
        EXPECT_EQ(map.mRangeMax, c.rangeMax) << "parameter " << c.parameter;
        EXPECT_EQ(map.mTransformer, c.curve) << "parameter " << c.parameter;
    }
}

TEST(CAAUMIDIMap, PrintWritesOneLineWithTheRecordsFields)
{
    CAAUMIDIMap map(Mapping(
        0xB1, 7, 3, kAUParameterMIDIMapping_AnyChannelFlag | kAUParameterMIDIMapping_SubRange));
    map.mElement = 2;
    CAAUMIDIMap invalid;
    char expected[256];
    snprintf(expected, sizeof expected,
             "CAAUMIDIMap:%p, (0/2), mParamID 3, IsValid:T, Status:0xB1, mData1 7, Flags:0x5\n"
             "CAAUMIDIMap:%p, (0/0), mParamID 0, IsValid:F, Status:0x0, mData1 0, Flags:0x0\n",
             static_cast<void*>(&map), static_cast<void*>(&invalid));
    OutputCapture output(OutputCapture::kStdout);
    map.Print();
    invalid.Print();
    EXPECT_EQ(output.Take(), expected);
}
