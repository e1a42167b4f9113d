#include "AUBaseTestUnit.h"
#include "CFText.h"
#include "OutputCapture.h"
#include "ThrownStatus.h"

#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFNumber.h>

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using aubase_test::MakeUnit;
using aubase_test::TestUnit;

std::vector<UInt8> Bytes(CFDataRef data)
{
    const UInt8* begin = CFDataGetBytePtr(data);
    return std::vector<UInt8>(begin, begin + CFDataGetLength(data));
}

TEST(AUScopeLookups, MissingElementsAndScopesThrowTheirStatuses)
{
    auto unit = MakeUnit(1, 1);
    EXPECT_EQ(unit->GetElement(kAudioUnitScope_Output, 5), nullptr);
    EXPECT_EQ(ThrownStatus([&] { unit->SafeGetElement(kAudioUnitScope_Output, 5); }),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(ThrownStatus([&] { unit->GetIOElement(kAudioUnitScope_Output, 5); }),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(ThrownStatus([&] { unit->GetIOElement(kAudioUnitScope_Global, 0); }),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(ThrownStatus([&] { unit->GetScope(7); }), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(ThrownStatus([&] { unit->GetElement(4, 0); }), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(ThrownStatus([&] { unit->GetInput(1); }), kAudioUnitErr_InvalidElement);
    EXPECT_EQ(ThrownStatus([&] { unit->GetOutput(1); }), kAudioUnitErr_InvalidElement);
    EXPECT_EQ(unit->GetScope(kAudioUnitScope_Group).GetScope(), 3u);
}

class ExtendedScopeUnit : public TestUnit {
public:
    void CreateExtendedElements() override { mParts.Initialize(this, kAudioUnitScope_Part, 2); }
    AUScope* GetScopeExtended(AudioUnitScope scope) override
    {
        return scope == kAudioUnitScope_Part ? &mParts : nullptr;
    }
    AUScope mParts;
};

TEST(AUScopeLookups, ExtendedScopesComeFromTheUnit)
{
    ExtendedScopeUnit unit;
    unit.PostConstructor();
    EXPECT_EQ(&unit.GetScope(kAudioUnitScope_Part), &unit.mParts);
    EXPECT_NE(unit.GetElement(kAudioUnitScope_Part, 1), nullptr);
    EXPECT_EQ(ThrownStatus([&] { unit.GetScope(5); }), kAudioUnitErr_InvalidScope);
}

TEST(AUElementStorage, IndexedParametersHoldExactlyTheirIds)
{
    auto unit = MakeUnit();
    AUElement* globals = unit->Globals();
    globals->SetParameter(2, 0.5f); // map storage first: indexed storage starts afresh
    globals->UseIndexedParameters(5);
    EXPECT_EQ(globals->GetNumberOfParameters(), 5u);
    std::vector<AudioUnitParameterID> ids(5);
    globals->GetParameterList(ids.data());
    EXPECT_EQ(ids, (std::vector<AudioUnitParameterID>{0, 1, 2, 3, 4}));
    EXPECT_EQ(globals->GetParameter(4), 0.0f);
    globals->SetParameter(4, 0.75f);
    EXPECT_EQ(globals->GetParameter(4), 0.75f);
    EXPECT_TRUE(globals->HasParameterID(4));
    EXPECT_FALSE(globals->HasParameterID(5));
    EXPECT_EQ(ThrownStatus([&] { globals->SetParameter(5, 1.0f); }),
              kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(ThrownStatus([&] { globals->GetParameter(5); }), kAudioUnitErr_InvalidParameter);

    globals->UseIndexedParameters(6); // growing keeps the values already set
    EXPECT_EQ(globals->GetParameter(4), 0.75f);
    EXPECT_EQ(globals->GetParameter(5), 0.0f);
}

TEST(AUElementStorage, MapParametersAreCreatedOnlyWhileUninitializedUnlessAllowed)
{
    auto unit = MakeUnit();
    AUElement* globals = unit->Globals();
    globals->SetParameter(42, 1.0f);
    EXPECT_EQ(globals->GetParameter(42), 1.0f);

    ASSERT_EQ(unit->DoInitialize(), noErr);
    OutputCapture capture(OutputCapture::kStderr);
    globals->SetParameter(43, 1.0f);
    EXPECT_EQ(capture.Take(), std::string("WARNING: ") + unit->GetLoggingString() +
                                  " SetParameter for undefined param ID 43 while initialized. "
                                  "Ignoring..\n");
    EXPECT_EQ(ThrownStatus([&] { globals->GetParameter(43); }), kAudioUnitErr_InvalidParameter);

    AudioUnitParameterEvent event{};
    event.eventType = kParameterEvent_Immediate;
    event.eventValues.immediate.value = 2.0f;
    globals->SetScheduledEvent(44, event, 0, 64);
    EXPECT_EQ(capture.Take(), std::string("WARNING: ") + unit->GetLoggingString() +
                                  " SetScheduledEvent for undefined param ID 44 while "
                                  "initialized. Ignoring..\n");

    globals->SetParameter(43, 1.0f, true);
    EXPECT_EQ(globals->GetParameter(43), 1.0f);
    globals->SetParameter(42, 3.0f); // existing ids are written without complaint
    EXPECT_EQ(globals->GetParameter(42), 3.0f);
    EXPECT_EQ(capture.Take(), "");
}

TEST(AUElementStorage, MapParameterListIsInIncreasingIdOrder)
{
    auto unit = MakeUnit();
    AUElement* globals = unit->Globals();
    for (AudioUnitParameterID id : {9u, 3u, 7u, 0u})
        globals->SetParameter(id, 1.0f);
    std::vector<AudioUnitParameterID> ids(globals->GetNumberOfParameters());
    globals->GetParameterList(ids.data());
    EXPECT_EQ(ids, (std::vector<AudioUnitParameterID>{0, 3, 7, 9}));
}

TEST(AUElementStorage, ScopeParameterListIsThatOfTheFirstFullestElement)
{
    auto unit = MakeUnit(0, 0, 3);
    AUScope& groups = unit->Groups();
    groups.GetElement(0)->SetParameter(1, 0);
    groups.GetElement(0)->SetParameter(2, 0);
    for (AudioUnitParameterID id = 10; id < 15; ++id)
        groups.GetElement(1)->SetParameter(id, 0);
    for (AudioUnitParameterID id = 20; id < 25; ++id)
        groups.GetElement(2)->SetParameter(id, 0);
    UInt32 count = 0;
    ASSERT_EQ(unit->GetParameterList(kAudioUnitScope_Group, nullptr, count), noErr);
    EXPECT_EQ(count, 5u);
    std::vector<AudioUnitParameterID> ids(count);
    unit->GetParameterList(kAudioUnitScope_Group, ids.data(), count);
    EXPECT_EQ(ids, (std::vector<AudioUnitParameterID>{10, 11, 12, 13, 14}));

    unit->GetParameterList(kAudioUnitScope_Input, nullptr, count);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(ThrownStatus([&] { unit->GetParameterList(8, nullptr, count); }),
              kAudioUnitErr_InvalidScope);
}

TEST(AUElementStorage, UnitParameterCallsFindTheElement)
{
    auto unit = MakeUnit();
    unit->Globals()->UseIndexedParameters(2);
    EXPECT_EQ(unit->SetParameter(1, kAudioUnitScope_Global, 0, 0.5f, 0), noErr);
    Float32 value = 0;
    EXPECT_EQ(unit->AUBase::GetParameter(1, kAudioUnitScope_Global, 0, value), noErr);
    EXPECT_EQ(value, 0.5f);
    EXPECT_EQ(
        ThrownStatus([&] { unit->AUBase::GetParameter(1, kAudioUnitScope_Global, 1, value); }),
        kAudioUnitErr_InvalidElement);
    EXPECT_EQ(
        ThrownStatus([&] { unit->AUBase::GetParameter(2, kAudioUnitScope_Global, 0, value); }),
        kAudioUnitErr_InvalidParameter);
}

TEST(ParameterMapEventRamps, RampThatBeganBeforeTheSliceStartsPartWay)
{
    AudioUnitParameterEvent ramp{};
    ramp.eventType = kParameterEvent_Ramped;
    ramp.eventValues.ramp = {0, 100, 0.0f, 1.0f};
    // The slice starts 20 frames after the ramp began.
    ParameterMapEvent event(ramp, 20, 50);
    EXPECT_EQ(event.GetStartBufferOffset(), -20);
    Float32 start, end, delta;
    event.GetRampSliceStartEnd(start, end, delta);
    EXPECT_FLOAT_EQ(delta, 0.01f);
    EXPECT_FLOAT_EQ(start, 0.2f);
    EXPECT_FLOAT_EQ(end, 0.7f);

    AudioUnitParameterEvent immediate{};
    immediate.eventType = kParameterEvent_Immediate;
    immediate.eventValues.immediate = {10, 0.3f};
    ParameterMapEvent held(immediate, 10, 64);
    EXPECT_EQ(held.GetDurationInFrames(), 64u);
    held.GetRampSliceStartEnd(start, end, delta);
    EXPECT_EQ(delta, 0.0f);
    EXPECT_EQ(start, 0.3f);
    EXPECT_EQ(end, 0.3f);
}

TEST(ParameterMapEventRamps, FarNegativeRampStartStaysNegativeForALaterSlice)
{
    AudioUnitParameterEvent ramp{};
    ramp.eventType = kParameterEvent_Ramped;
    ramp.eventValues.ramp = {std::numeric_limits<SInt32>::min() + 10, 0xFFFFFFFFu, 0.0f, 1.0f};
    ParameterMapEvent event(ramp, 100, 64);
    EXPECT_EQ(event.GetStartBufferOffset(), std::numeric_limits<SInt32>::min())
        << "the ramp began long before the slice, not after it";
}

TEST(ParameterMapEventRamps, RampOfNoLengthStandsAtItsEndValueInsteadOfDividingByZero)
{
    AudioUnitParameterEvent ramp{};
    ramp.eventType = kParameterEvent_Ramped;
    ramp.eventValues.ramp = {0, 0, 0.0f, 1.0f};
    ParameterMapEvent event(ramp, 0, 64);
    Float32 start, end, delta;
    event.GetRampSliceStartEnd(start, end, delta);
    EXPECT_EQ(delta, 0.0f);
    EXPECT_EQ(start, 1.0f);
    EXPECT_EQ(end, 1.0f);
}

TEST(AUElementState, ParameterBlocksAreBigEndianByteForByte)
{
    auto unit = MakeUnit(0, 0, 3);
    unit->Globals()->SetParameter(0, 0.5f);
    CFMutableDataRef data = CFDataCreateMutable(nullptr, 0);
    unit->Globals()->SaveState(data);
    EXPECT_EQ(Bytes(data), (std::vector<UInt8>{0, 0, 0, 1, 0, 0, 0, 0, 0x3F, 0, 0, 0}));

    CFDataSetLength(data, 0);
    unit->Groups().SaveState(data);
    EXPECT_TRUE(Bytes(data).empty()) << "elements without parameters write nothing";

    unit->Groups().GetElement(1)->SetParameter(7, -2.0f);
    unit->Groups().SaveState(data);
    EXPECT_EQ(Bytes(data),
              (std::vector<UInt8>{0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 7, 0xC0, 0, 0, 0}));
    CFRelease(data);
}

TEST(AUElementState, RestoreSetsKnownElementsAndSkipsMissingOnesExactly)
{
    auto unit = MakeUnit(0, 0, 2);
    // Blocks for group element 5 (missing, 2 parameters) then group element 1.
    const std::vector<UInt8> state = {0, 0, 0, 5, 0,    0, 0, 2, 0, 0, 0, 1, 0x3F, 0x80, 0, 0,
                                      0, 0, 0, 2, 0x40, 0, 0, 0, // end of skipped block
                                      0, 0, 0, 1, 0,    0, 0, 1, 0, 0, 0, 9, 0x3F, 0,    0, 0};
    const UInt8* position = unit->Groups().RestoreState(state.data());
    EXPECT_EQ(position - state.data(), 24);
    position = unit->Groups().RestoreState(position);
    EXPECT_EQ(position - state.data(), static_cast<long>(state.size()));
    EXPECT_EQ(unit->Groups().GetElement(1)->GetParameter(9), 0.5f);
    EXPECT_EQ(unit->Groups().GetElement(0)->GetNumberOfParameters(), 0u);
}

TEST(AUElementState, RestoreBeyondAnIndexedElementThrows)
{
    auto unit = MakeUnit();
    unit->Globals()->UseIndexedParameters(2);
    const std::vector<UInt8> block = {0, 0, 0, 1, 0, 0, 0, 2, 0x3F, 0, 0, 0};
    EXPECT_EQ(ThrownStatus([&] { unit->Globals()->RestoreState(block.data()); }),
              kAudioUnitErr_InvalidParameter);
}

TEST(AUElementNames, NamedElementsAreSavedUnderTheirScopeAndRestoredByKey)
{
    auto unit = MakeUnit(0, 0, 3);
    AUScope& groups = unit->Groups();
    EXPECT_FALSE(groups.HasElementWithName());
    groups.GetElement(0)->SetName(CFSTR("zero"));
    groups.GetElement(2)->SetName(CFSTR("two"));
    EXPECT_TRUE(groups.HasElementWithName());

    CFMutableDictionaryRef names = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    unit->Inputs().AddElementNamesToDict(names);
    EXPECT_EQ(CFDictionaryGetCount(names), 0);
    groups.AddElementNamesToDict(names);
    ASSERT_EQ(CFDictionaryGetCount(names), 1);
    auto scopeDict = static_cast<CFDictionaryRef>(CFDictionaryGetValue(names, CFSTR("3")));
    ASSERT_NE(scopeDict, nullptr);
    EXPECT_EQ(CFDictionaryGetCount(scopeDict), 2);
    EXPECT_EQ(TextOf(static_cast<CFStringRef>(CFDictionaryGetValue(scopeDict, CFSTR("0")))),
              "zero");
    EXPECT_EQ(TextOf(static_cast<CFStringRef>(CFDictionaryGetValue(scopeDict, CFSTR("2")))), "two");
    CFRelease(names);

    auto other = MakeUnit(0, 0, 2);
    CFMutableDictionaryRef restore = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(restore, CFSTR("1"), CFSTR("one"));
    CFDictionarySetValue(restore, CFSTR("x"), CFSTR("ex"));
    CFDictionarySetValue(restore, CFSTR("99"), CFSTR("far"));
    CFDictionarySetValue(restore, CFSTR("0"), kCFBooleanTrue); // not a name: ignored
    CFDictionaryRef restoreRef = restore;
    other->Groups().RestoreElementNames(restoreRef);
    EXPECT_FALSE(other->Groups().GetElement(0)->HasName());
    ASSERT_TRUE(other->Groups().GetElement(1)->HasName());
    EXPECT_EQ(TextOf(other->Groups().GetElement(1)->GetName()), "one");
    CFRelease(restore);
}

TEST(AUElementNames, SettingTheNameAnElementSolelyOwnsKeepsItAlive)
{
    auto unit = MakeUnit(0, 0, 1);
    AUElement* element = unit->Groups().GetElement(0);
    CFStringRef name = CFStringCreateWithCString(nullptr, "only owner", kCFStringEncodingUTF8);
    element->SetName(name);
    CFRelease(name); // the element now holds the only reference
    element->SetName(element->GetName());
    ASSERT_TRUE(element->HasName());
    EXPECT_EQ(CFGetRetainCount(element->GetName()), 1);
    EXPECT_EQ(TextOf(element->GetName()), "only owner");
}

} // namespace
