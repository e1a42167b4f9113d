#include "AUBaseTestUnit.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using aubase_test::MakeUnit;
using aubase_test::TestUnit;

CAStreamBasicDescription Canonical(int channels)
{
    CAStreamBasicDescription format;
    AUBase::MakeCanonicalFormat(format, channels);
    format.mSampleRate = 44100;
    return format;
}

struct InputRecord {
    int calls = 0;
    UInt32 element = 99;
    UInt32 frames = 0;
    const void* firstBuffer = nullptr;
    AUInputElement* disconnectDuringPull = nullptr;
    OSStatus result = noErr;
};

OSStatus RecordInput(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32 bus,
                     UInt32 frames, AudioBufferList* ioData)
{
    auto* record = static_cast<InputRecord*>(refCon);
    ++record->calls;
    record->element = bus;
    record->frames = frames;
    record->firstBuffer = ioData->mBuffers[0].mData;
    if (record->disconnectDuringPull != nullptr)
        record->disconnectDuringPull->SetInputCallback(nullptr, nullptr);
    return record->result;
}

TEST(AUIOElementFormats, OutputFormatChangeResizesOnlyOnceTheUnitInitializes)
{
    auto unit = MakeUnit();
    AUOutputElement* output = unit->GetOutput(0);
    EXPECT_EQ(output->SetStreamFormat(Canonical(4)), noErr);
    EXPECT_EQ(output->IOBuffer().GetAllocatedStreams(), 0u) << "nothing before initializing";

    ASSERT_EQ(unit->DoInitialize(), noErr);
    EXPECT_EQ(output->IOBuffer().GetAllocatedStreams(), 4u);
    EXPECT_EQ(output->SetStreamFormat(Canonical(6)), noErr);
    EXPECT_EQ(output->IOBuffer().GetAllocatedStreams(), 6u);
    EXPECT_EQ(output->IOBuffer().GetAllocatedBytes(), 6u * 4624);
    EXPECT_EQ(output->PrepareBuffer(1156).mNumberBuffers, 6u);
}

TEST(AUIOElementFormats, BusThatMayNotAllocateRefusesToPrepareItsOwnMemory)
{
    auto unit = MakeUnit();
    AUOutputElement* output = unit->GetOutput(0);
    output->SetWillAllocateBuffer(false);
    ASSERT_EQ(unit->DoInitialize(), noErr);
    EXPECT_EQ(output->IOBuffer().GetAllocatedBytes(), 0u);
    try {
        output->PrepareBuffer(16);
        FAIL() << "a bus without its own memory cannot prepare it";
    } catch (int status) {
        EXPECT_EQ(status, kAudioUnitErr_InvalidPropertyValue);
    }
}

TEST(AUIOElementLayouts, PlainBusHasNoLayoutSupport)
{
    auto unit = MakeUnit();
    AUIOElement* bus = unit->GetOutput(0);
    AudioChannelLayout layout{};
    Boolean writable = false;
    EXPECT_EQ(bus->GetChannelLayoutTags(nullptr), 0u);
    EXPECT_EQ(bus->GetAudioChannelLayout(&layout, writable), 0u);
    EXPECT_EQ(bus->SetAudioChannelLayout(layout), kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(bus->RemoveAudioChannelLayout(), kAudioUnitErr_InvalidPropertyValue);
}

TEST(AUInputElementSources, CallbackInputPullsIntoItsOwnBuffers)
{
    auto unit = MakeUnit(2, 1);
    InputRecord record;
    unit->SetInputCallback(kAudioUnitProperty_SetRenderCallback, 1, RecordInput, &record);
    ASSERT_EQ(unit->DoInitialize(), noErr);
    AUInputElement* input = unit->GetInput(1);
    EXPECT_TRUE(input->IsCallback());
    EXPECT_EQ(input->IOBuffer().GetAllocatedFrames(), 1156u);

    AudioUnitRenderActionFlags flags = 0;
    EXPECT_EQ(input->PullInput(flags, aubase_test::SampleTime(0), 1, 256), noErr);
    EXPECT_EQ(record.calls, 1);
    EXPECT_EQ(record.element, 1u);
    EXPECT_EQ(record.frames, 256u);
    EXPECT_NE(record.firstBuffer, nullptr) << "a callback input renders into memory of its own";
    EXPECT_EQ(input->GetBufferList().mBuffers[0].mDataByteSize, 1024u);

    record.result = -77;
    EXPECT_EQ(input->PullInput(flags, aubase_test::SampleTime(256), 1, 256), -77);
}

TEST(AUInputElementSources, InputThatMayNotAllocateHandsTheCallbackNullBuffers)
{
    auto unit = MakeUnit();
    InputRecord record;
    AUInputElement* input = unit->GetInput(0);
    input->SetWillAllocateBuffer(false);
    unit->SetInputCallback(kAudioUnitProperty_SetRenderCallback, 0, RecordInput, &record);
    ASSERT_EQ(unit->DoInitialize(), noErr);
    AudioUnitRenderActionFlags flags = 0;
    EXPECT_EQ(input->PullInput(flags, aubase_test::SampleTime(0), 0, 64), noErr);
    EXPECT_EQ(record.firstBuffer, nullptr);
}

TEST(AUInputElementSources, NullProcedureDisconnectsAndFreesTheBuffer)
{
    auto unit = MakeUnit();
    InputRecord record;
    unit->SetInputCallback(kAudioUnitProperty_SetRenderCallback, 0, RecordInput, &record);
    ASSERT_EQ(unit->DoInitialize(), noErr);
    AUInputElement* input = unit->GetInput(0);
    ASSERT_GT(input->IOBuffer().GetAllocatedBytes(), 0u);

    unit->SetInputCallback(kAudioUnitProperty_SetRenderCallback, 0, nullptr, nullptr);
    EXPECT_FALSE(input->IsActive());
    EXPECT_EQ(input->IOBuffer().GetAllocatedBytes(), 0u);
    AudioUnitRenderActionFlags flags = 0;
    EXPECT_EQ(input->PullInput(flags, aubase_test::SampleTime(0), 0, 64),
              kAudioUnitErr_NoConnection);
    EXPECT_EQ(record.calls, 0);
}

TEST(AUInputElementSources, SourceDisconnectedDuringThePullReportsNoConnection)
{
    auto unit = MakeUnit();
    InputRecord record;
    AUInputElement* input = unit->GetInput(0);
    record.disconnectDuringPull = input;
    unit->SetInputCallback(kAudioUnitProperty_SetRenderCallback, 0, RecordInput, &record);
    ASSERT_EQ(unit->DoInitialize(), noErr);
    AudioUnitRenderActionFlags flags = 0;
    EXPECT_EQ(input->PullInput(flags, aubase_test::SampleTime(0), 0, 64),
              kAudioUnitErr_NoConnection);
    EXPECT_EQ(record.calls, 1);
}

} // namespace
