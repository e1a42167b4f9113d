#include "AUBaseTestUnit.h"
#include "CAMutex.h"
#include "CFText.h"
#include "FormatExpectations.h"
#include "OutputCapture.h"
#include "SourceTestComponent.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using aubase_test::MakeUnit;
using aubase_test::SourceTestComponent;
using aubase_test::TestUnit;

struct Notification {
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
    bool operator==(const Notification& other) const
    {
        return id == other.id && scope == other.scope && element == other.element;
    }
};

void RecordNotification(void* refCon, AudioUnit, AudioUnitPropertyID id, AudioUnitScope scope,
                        AudioUnitElement element)
{
    static_cast<std::vector<Notification>*>(refCon)->push_back({id, scope, element});
}

TEST(AUBaseLifecycle, NewUnitHasTheDocumentedDefaults)
{
    TestUnit unit(1, 1);
    EXPECT_EQ(unit.GetMaxFramesPerSlice(), 1156u);
    EXPECT_EQ(unit.AudioUnitAPIVersion(), 2);
    EXPECT_EQ(unit.CurrentPreset().presetNumber, -1);
    EXPECT_EQ(TextOf(unit.CurrentPreset().presetName), "Untitled");
    EXPECT_EQ(unit.CurrentRenderTime().mSampleTime, -1.0);
    EXPECT_FALSE(unit.IsInitialized());
    EXPECT_NE(AUBase::sVectorUnitType.load(), -1);

    // Before the elements are created only the global element exists.
    EXPECT_EQ(unit.GlobalScope().GetNumberOfElements(), 1u);
    EXPECT_EQ(unit.Inputs().GetNumberOfElements(), 0u);
    EXPECT_EQ(unit.Outputs().GetNumberOfElements(), 0u);
    unit.PostConstructor();
    unit.PostConstructor(); // runs once only
    EXPECT_EQ(unit.Inputs().GetNumberOfElements(), 1u);
    EXPECT_EQ(unit.Outputs().GetNumberOfElements(), 1u);
}

class BusGlobalUnit : public TestUnit {
public:
    AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement element) override
    {
        // Would make every element a bus, the global one included.
        if (scope == kAudioUnitScope_Global)
            return new AUOutputElement(this);
        return TestUnit::CreateElement(scope, element);
    }
};

TEST(AUBaseLifecycle, GlobalElementIsAlwaysAPlainElement)
{
    BusGlobalUnit unit;
    unit.PostConstructor();
    ASSERT_NE(unit.Globals(), nullptr);
    EXPECT_EQ(unit.Globals()->AsIOElement(), nullptr);
    try {
        unit.GetIOElement(kAudioUnitScope_Global, 0);
        FAIL() << "the global element is not a bus";
    } catch (int status) {
        EXPECT_EQ(status, kAudioUnitErr_InvalidElement);
    }
}

TEST(AUBaseLifecycle, InitializeAllocatesOnceAndCleanupFreesAndResets)
{
    auto unit = MakeUnit();
    EXPECT_EQ(unit->GetOutput(0)->IOBuffer().GetAllocatedBytes(), 0u);
    ASSERT_EQ(unit->DoInitialize(), noErr);
    EXPECT_TRUE(unit->IsInitialized());
    EXPECT_TRUE(unit->HasBegunInitializing());
    EXPECT_EQ(unit->GetOutput(0)->IOBuffer().GetAllocatedFrames(), 1156u);
    // An input without a source needs no memory: only its header is made.
    EXPECT_EQ(unit->GetInput(0)->IOBuffer().GetAllocatedBytes(), 0u);

    EXPECT_EQ(unit->DoInitialize(), noErr);
    EXPECT_EQ(unit->mInitializeCalls, 1) << "a second initialize must not initialize again";

    unit->DoCleanup();
    EXPECT_FALSE(unit->IsInitialized());
    EXPECT_FALSE(unit->HasBegunInitializing());
    EXPECT_EQ(unit->mCleanupCalls, 1);
    EXPECT_EQ(unit->GetOutput(0)->IOBuffer().GetAllocatedBytes(), 0u);

    ASSERT_EQ(unit->DoInitialize(), noErr);
    EXPECT_EQ(unit->mInitializeCalls, 2) << "a cleaned-up unit initializes again";
}

TEST(AUBaseLifecycle, FailedInitializeLeavesNothingAllocated)
{
    auto unit = MakeUnit();
    unit->mInitializeResult = -42;
    EXPECT_EQ(unit->DoInitialize(), -42);
    EXPECT_FALSE(unit->IsInitialized());
    EXPECT_FALSE(unit->HasBegunInitializing());
    EXPECT_EQ(unit->GetOutput(0)->IOBuffer().GetAllocatedBytes(), 0u);
}

TEST(AUBaseLifecycle, CleanupOfANeverInitializedUnitStillResetsTheRenderTime)
{
    auto unit = MakeUnit();
    unit->NeedsToRender(aubase_test::SampleTime(512));
    ASSERT_EQ(unit->CurrentRenderTime().mSampleTime, 512.0);
    unit->DoCleanup();
    EXPECT_EQ(unit->mCleanupCalls, 0);
    EXPECT_EQ(unit->CurrentRenderTime().mSampleTime, -1.0);
}

TEST(AUBaseLifecycle, ResetAndPreDestructorReturnTheUnitToItsFirstState)
{
    auto unit = MakeUnit();
    ASSERT_EQ(unit->DoInitialize(), noErr);
    unit->NeedsToRender(aubase_test::SampleTime(1024));
    EXPECT_EQ(unit->Reset(kAudioUnitScope_Global, 0), noErr);
    EXPECT_EQ(unit->CurrentRenderTime().mSampleTime, -1.0);

    // Closing an initialized unit cleans it up while its subclass still exists.
    unit->PreDestructor();
    EXPECT_EQ(unit->mCleanupCalls, 1);
    EXPECT_FALSE(unit->IsInitialized());
    EXPECT_EQ(unit->GetOutput(0)->IOBuffer().GetAllocatedBytes(), 0u);
}

class MutexUnit : public TestUnit {
public:
    struct CountingMutex : CAMutex {
        bool Lock() override
        {
            ++mHeld;
            return true;
        }
        void Unlock() override { --mHeld; }
        int mHeld = 0;
    };

    MutexUnit() { SetMutex(&mMutex); }
    void Cleanup() override
    {
        mHeldDuringCleanup = mMutex.mHeld > 0;
        TestUnit::Cleanup();
    }

    CountingMutex mMutex;
    bool mHeldDuringCleanup = false;
};

TEST(AUBaseLifecycle, PreDestructorCleansUpHoldingTheUnitsMutex)
{
    MutexUnit unit;
    unit.PostConstructor();
    ASSERT_EQ(unit.DoInitialize(), noErr);
    unit.PreDestructor();
    EXPECT_EQ(unit.mCleanupCalls, 1);
    EXPECT_TRUE(unit.mHeldDuringCleanup);
    EXPECT_EQ(unit.mMutex.mHeld, 0) << "released again";
}

TEST(AUBaseLifecycle, SchedulingUnitsReserveRoomForEventsAtInitialize)
{
    auto unit = MakeUnit();
    unit->mCanSchedule = true;
    ASSERT_EQ(unit->DoInitialize(), noErr);
    EXPECT_GE(unit->GetParamEventList().capacity(), 24u);
}

TEST(AUBaseLifecycle, MaxFramesPerSliceResizesBuffersOnlyOnceTheyExistAndAlwaysNotifies)
{
    auto unit = MakeUnit();
    std::vector<Notification> notifications;
    unit->AddPropertyListener(kAudioUnitProperty_MaximumFramesPerSlice, RecordNotification,
                              &notifications);
    unit->SetMaxFramesPerSlice(512);
    EXPECT_EQ(unit->GetOutput(0)->IOBuffer().GetAllocatedBytes(), 0u);
    EXPECT_EQ(unit->CanSetMaxFrames(), noErr);

    ASSERT_EQ(unit->DoInitialize(), noErr);
    EXPECT_EQ(unit->GetOutput(0)->IOBuffer().GetAllocatedFrames(), 512u);
    EXPECT_EQ(unit->CanSetMaxFrames(), kAudioUnitErr_Initialized);
    unit->SetMaxFramesPerSlice(1024);
    EXPECT_EQ(unit->GetOutput(0)->IOBuffer().GetAllocatedFrames(), 1024u);
    EXPECT_EQ(unit->GetOutput(0)->IOBuffer().GetAllocatedBytes(), 2u * 1024 * 4);
    EXPECT_EQ(notifications,
              (std::vector<Notification>{{kAudioUnitProperty_MaximumFramesPerSlice, 0, 0},
                                         {kAudioUnitProperty_MaximumFramesPerSlice, 0, 0}}));
}

TEST(AUBaseLifecycle, BusCountChangesOnlyWhileUninitialized)
{
    auto unit = MakeUnit(1, 1);
    EXPECT_EQ(unit->SetBusCount(kAudioUnitScope_Output, 3), noErr);
    EXPECT_EQ(unit->Outputs().GetNumberOfElements(), 3u);
    EXPECT_NE(unit->GetOutput(2), nullptr);
    EXPECT_EQ(unit->SetBusCount(kAudioUnitScope_Output, 2), noErr);
    EXPECT_EQ(unit->Outputs().GetNumberOfElements(), 2u);
    try {
        unit->SetBusCount(9, 1);
        FAIL() << "a scope that does not exist";
    } catch (int status) {
        EXPECT_EQ(status, kAudioUnitErr_InvalidScope);
    }

    ASSERT_EQ(unit->DoInitialize(), noErr);
    EXPECT_EQ(unit->SetBusCount(kAudioUnitScope_Output, 4), kAudioUnitErr_Initialized);
    EXPECT_EQ(unit->Outputs().GetNumberOfElements(), 2u);
}

TEST(AUBaseLifecycle, TheGlobalScopeKeepsExactlyOneElement)
{
    auto unit = MakeUnit();
    EXPECT_NO_THROW(unit->SetNumberOfElements(kAudioUnitScope_Global, 1));
    EXPECT_EQ(unit->GlobalScope().GetNumberOfElements(), 1u);
    try {
        unit->SetNumberOfElements(kAudioUnitScope_Global, 2);
        FAIL() << "the global scope cannot grow";
    } catch (int status) {
        EXPECT_EQ(status, kAudioUnitErr_InvalidScope);
    }
    unit->SetNumberOfElements(kAudioUnitScope_Group, 2);
    EXPECT_EQ(unit->Groups().GetNumberOfElements(), 2u);
    EXPECT_EQ(unit->Groups().GetElement(1)->AsIOElement(), nullptr);
}

TEST(AUBaseLifecycle, CreateElementMakesTheElementClassOfEachScope)
{
    auto unit = MakeUnit();
    std::unique_ptr<AUElement> input(unit->CreateElement(kAudioUnitScope_Input, 0));
    std::unique_ptr<AUElement> output(unit->CreateElement(kAudioUnitScope_Output, 0));
    std::unique_ptr<AUElement> part(unit->CreateElement(kAudioUnitScope_Part, 0));
    EXPECT_NE(dynamic_cast<AUInputElement*>(input.get()), nullptr);
    EXPECT_NE(dynamic_cast<AUOutputElement*>(output.get()), nullptr);
    EXPECT_EQ(part->AsIOElement(), nullptr);
    EXPECT_EQ(part->GetAudioUnit(), unit.get());
    EXPECT_THROW(unit->CreateElement(5, 0), int);
}

TEST(AUBaseFormats, GetStreamFormatPicksTheBusOfTheScope)
{
    auto unit = MakeUnit(1, 1);
    EXPECT_EQ(&unit->GetStreamFormat(kAudioUnitScope_Global, 7),
              &unit->GetOutput(0)->GetStreamFormat());
    EXPECT_EQ(&unit->GetStreamFormat(kAudioUnitScope_Input, 0),
              &unit->GetInput(0)->GetStreamFormat());
    const CAStreamBasicDescription& format = unit->GetStreamFormat(kAudioUnitScope_Output, 0);
    EXPECT_EQ(format.mSampleRate, 44100.0);
    EXPECT_EQ(format.mFormatFlags, 0x29u);
    EXPECT_EQ(format.mChannelsPerFrame, 2u);
    EXPECT_EQ(format.mReserved, 0u);

    auto statusOf = [&](AudioUnitScope scope, AudioUnitElement element) {
        try {
            unit->GetStreamFormat(scope, element);
        } catch (int status) {
            return status;
        }
        return 0;
    };
    EXPECT_EQ(statusOf(kAudioUnitScope_Group, 0), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(statusOf(kAudioUnitScope_Output, 1), kAudioUnitErr_InvalidElement);
}

TEST(AUBaseFormats, ChangeStreamFormatStoresResizesAndNotifiesEvenWithoutChange)
{
    auto unit = MakeUnit();
    ASSERT_EQ(unit->DoInitialize(), noErr);
    std::vector<Notification> notifications;
    unit->AddPropertyListener(kAudioUnitProperty_StreamFormat, RecordNotification, &notifications);
    CAStreamBasicDescription mono;
    AUBase::MakeCanonicalFormat(mono, 4);
    mono.mSampleRate = 48000;
    const CAStreamBasicDescription previous = unit->GetStreamFormat(kAudioUnitScope_Output, 0);
    EXPECT_EQ(unit->ChangeStreamFormat(kAudioUnitScope_Global, 3, previous, mono), noErr);
    EXPECT_EQ(unit->GetOutput(0)->GetStreamFormat().mChannelsPerFrame, 4u);
    EXPECT_EQ(unit->GetOutput(0)->IOBuffer().GetAllocatedStreams(), 4u);
    EXPECT_EQ(unit->ChangeStreamFormat(kAudioUnitScope_Global, 3, mono, mono), noErr);
    EXPECT_EQ(notifications, (std::vector<Notification>{{kAudioUnitProperty_StreamFormat, 0, 3},
                                                        {kAudioUnitProperty_StreamFormat, 0, 3}}));
}

TEST(AUBaseFormats, CanonicalFormatTests)
{
    CAStreamBasicDescription d;
    AUBase::MakeCanonicalFormat(d, 2);
    ExpectFormat(d, {0.0, kAudioFormatLinearPCM, 0x29u, 4u, 1u, 4u, 2u, 32u, 0u});
    EXPECT_TRUE(AUBase::FormatIsCanonical(d));
    d.mSampleRate = 44100;
    EXPECT_TRUE(AUBase::FormatIsCanonical(d));

    CAStreamBasicDescription interleaved(44100, kAudioFormatLinearPCM, 8, 1, 8, 2, 32,
                                         kAudioFormatFlagsNativeFloatPacked);
    EXPECT_FALSE(AUBase::FormatIsCanonical(interleaved));
    CAStreamBasicDescription int16(44100, kAudioFormatLinearPCM, 2, 1, 2, 1, 16,
                                   kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked);
    EXPECT_FALSE(AUBase::FormatIsCanonical(int16));
    CAStreamBasicDescription bigEndian = d;
    bigEndian.mFormatFlags |= kAudioFormatFlagIsBigEndian;
    EXPECT_FALSE(AUBase::FormatIsCanonical(bigEndian));

    CAStreamBasicDescription mono(44100, kAudioFormatLinearPCM, 4, 1, 4, 1, 32,
                                  kAudioFormatFlagsNativeFloatPacked);
    EXPECT_TRUE(AUBase::FormatIsCanonical(mono));
    mono.mFormatFlags |= kAudioFormatFlagIsNonInterleaved;
    EXPECT_TRUE(AUBase::FormatIsCanonical(mono));
}

TEST(AUBaseLayouts, SetLayoutChecksTheChannelCountBeforeAskingForTags)
{
    auto unit = MakeUnit();
    AudioChannelLayout layout{};
    layout.mChannelLayoutTag = kAudioChannelLayoutTag_Mono;
    EXPECT_EQ(unit->SetAudioChannelLayout(kAudioUnitScope_Output, 0, &layout),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(unit->mLayoutTagQueries, 0);

    layout.mChannelLayoutTag = kAudioChannelLayoutTag_Stereo;
    EXPECT_EQ(unit->SetAudioChannelLayout(kAudioUnitScope_Output, 0, &layout),
              kAudioUnitErr_InvalidProperty);

    unit->mLayoutTags = {kAudioChannelLayoutTag_StereoHeadphones};
    EXPECT_EQ(unit->SetAudioChannelLayout(kAudioUnitScope_Output, 0, &layout),
              kAudioUnitErr_InvalidPropertyValue);
    // A supported tag (or one that accepts any description) reaches the bus, which has no
    // layout support of its own.
    unit->mLayoutTags = {kAudioChannelLayoutTag_StereoHeadphones,
                         kAudioChannelLayoutTag_UseChannelDescriptions};
    EXPECT_EQ(unit->SetAudioChannelLayout(kAudioUnitScope_Output, 0, &layout),
              kAudioUnitErr_InvalidProperty);

    EXPECT_EQ(unit->RemoveAudioChannelLayout(kAudioUnitScope_Output, 0), noErr);
    Boolean writable = true;
    EXPECT_EQ(unit->GetAudioChannelLayout(kAudioUnitScope_Input, 0, nullptr, writable), 0u);
    unit->mLayoutTags.clear();
    EXPECT_THROW(unit->GetChannelLayoutTags(kAudioUnitScope_Output, 4, nullptr), int);
}

OSStatus SilentInput(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                     AudioBufferList*)
{
    return noErr;
}

TEST(AUBaseConnections, InputCallbackReachesTheInputAndNotifiesWithTheGivenProperty)
{
    auto unit = MakeUnit();
    std::vector<Notification> notifications;
    unit->AddPropertyListener(kAudioUnitProperty_SetRenderCallback, RecordNotification,
                              &notifications);
    EXPECT_EQ(unit->SetInputCallback(kAudioUnitProperty_SetRenderCallback, 0, SilentInput, nullptr),
              noErr);
    EXPECT_TRUE(unit->GetInput(0)->IsCallback());
    EXPECT_EQ(notifications,
              (std::vector<Notification>{{kAudioUnitProperty_SetRenderCallback, 1, 0}}));
    EXPECT_THROW(
        unit->SetInputCallback(kAudioUnitProperty_SetRenderCallback, 1, SilentInput, nullptr), int);
}

TEST(AUBaseConnections, NullSourceDisconnectsAndStillNotifies)
{
    auto unit = MakeUnit();
    std::vector<Notification> notifications;
    unit->AddPropertyListener(kAudioUnitProperty_MakeConnection, RecordNotification,
                              &notifications);
    unit->SetInputCallback(kAudioUnitProperty_SetRenderCallback, 0, SilentInput, nullptr);
    AudioUnitConnection connection{nullptr, 0, 0};
    EXPECT_EQ(unit->SetConnection(connection), noErr);
    EXPECT_FALSE(unit->GetInput(0)->IsActive());
    EXPECT_EQ(notifications,
              (std::vector<Notification>{{kAudioUnitProperty_MakeConnection, 1, 0}}));
}

TEST(AUBaseConnections, MissingDestinationInputThrowsBeforeAskingTheSource)
{
    auto unit = MakeUnit();
    // A source handle that must never be used: the element check comes first.
    auto* bogusSource = reinterpret_cast<AudioUnit>(uintptr_t(0x10));
    AudioUnitConnection connection{bogusSource, 0, 3};
    try {
        unit->SetConnection(connection);
        FAIL() << "input 3 does not exist";
    } catch (int status) {
        EXPECT_EQ(status, kAudioUnitErr_InvalidElement);
    }
}

class AUBaseSourceConnection : public ::testing::Test {
protected:
    void SetUp() override
    {
        CAStreamBasicDescription mono;
        AUBase::MakeCanonicalFormat(mono, 1);
        mono.mSampleRate = 48000;
        SourceTestComponent::sFormat = mono;
        SourceTestComponent::sGetPropertyResult = noErr;
        unit->AddPropertyListener(kAudioUnitProperty_MakeConnection, RecordNotification,
                                  &notifications);
        unit->AddPropertyListener(kAudioUnitProperty_StreamFormat, RecordNotification,
                                  &notifications);
    }

    std::unique_ptr<TestUnit> unit = MakeUnit();
    SourceTestComponent source;
    std::vector<Notification> notifications;
};

TEST_F(AUBaseSourceConnection, InputTakesTheSourcesOutputFormatThenConnects)
{
    ASSERT_NE(source.Unit(), nullptr);
    AudioUnitConnection connection{source.Unit(), 0, 0};
    EXPECT_EQ(unit->SetConnection(connection), noErr);
    EXPECT_TRUE(unit->GetInput(0)->HasConnection());
    EXPECT_EQ(unit->GetInput(0)->GetStreamFormat().mChannelsPerFrame, 1u);
    EXPECT_EQ(unit->GetInput(0)->GetStreamFormat().mSampleRate, 48000.0);
    EXPECT_EQ(notifications,
              (std::vector<Notification>{{kAudioUnitProperty_StreamFormat, 1, 0},
                                         {kAudioUnitProperty_MakeConnection, 1, 0}}));
}

TEST_F(AUBaseSourceConnection, UnreadableSourceFormatIsReportedAndPassedOn)
{
    SourceTestComponent::sGetPropertyResult = kAudioUnitErr_InvalidElement;
    AudioUnitConnection connection{source.Unit(), 5, 0};
    OutputCapture capture(OutputCapture::kStderr);
    EXPECT_EQ(unit->SetConnection(connection), kAudioUnitErr_InvalidElement);
    const std::string text = capture.Take();
    EXPECT_EQ(text.rfind("ca_require_noerr: [err = AudioUnitGetProperty( "
                         "inConnection.sourceAudioUnit, kAudioUnitProperty_StreamFormat, "
                         "kAudioUnitScope_Output, inConnection.sourceOutputNumber, &sourceDesc, "
                         "&size), -10877] (goto errexit;) ",
                         0),
              0u)
        << text;
    EXPECT_FALSE(unit->GetInput(0)->IsActive());
    EXPECT_TRUE(notifications.empty());
}

TEST_F(AUBaseSourceConnection, FormatTheInputRefusesIsReportedTwiceAndPassedOn)
{
    CAStreamBasicDescription int16(44100, kAudioFormatLinearPCM, 2, 1, 2, 1, 16,
                                   kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked);
    SourceTestComponent::sFormat = int16;
    AudioUnitConnection connection{source.Unit(), 0, 0};
    OutputCapture capture(OutputCapture::kStderr);
    EXPECT_EQ(unit->SetConnection(connection), kAudioUnitErr_FormatNotSupported);
    const std::string text = capture.Take();
    EXPECT_NE(text.find("ca_require: ValidFormat(inScope, inElement, newDesc) InvalidFormat "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("ca_require_noerr: [err = DispatchSetProperty "
                        "(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, "
                        "inConnection.destInputNumber, &sourceDesc, "
                        "sizeof(CAStreamBasicDescription)), -10868] (goto errexit;) "),
              std::string::npos)
        << text;
    EXPECT_EQ(unit->GetInput(0)->GetStreamFormat().mChannelsPerFrame, 2u);
    EXPECT_FALSE(unit->GetInput(0)->IsActive());
}

TEST_F(AUBaseSourceConnection, ConnectedInputPullsTheSourcesAudio)
{
    AudioUnitConnection connection{source.Unit(), 0, 0};
    ASSERT_EQ(unit->SetConnection(connection), noErr);
    ASSERT_EQ(unit->DoInitialize(), noErr);
    AudioUnitRenderActionFlags flags = 0;
    const int callsBefore = SourceTestComponent::sRenderCalls;
    ASSERT_EQ(unit->GetInput(0)->PullInput(flags, aubase_test::SampleTime(0), 0, 64), noErr);
    EXPECT_EQ(SourceTestComponent::sRenderCalls, callsBefore + 1);
    const AudioBufferList& pulled = unit->GetInput(0)->GetBufferList();
    ASSERT_EQ(pulled.mNumberBuffers, 1u);
    ASSERT_NE(pulled.mBuffers[0].mData, nullptr) << "the source supplies its own memory";
    EXPECT_EQ(static_cast<const Float32*>(pulled.mBuffers[0].mData)[63],
              SourceTestComponent::kSourceSample);
}

TEST(AUBaseLogging, LoggingStringNamesTheInstanceAndItsCodes)
{
    auto unit = MakeUnit();
    char expected[64];
    snprintf(expected, sizeof(expected), "AU (%p): 0x00000000 0x00000000 0x00000000",
             static_cast<void*>(nullptr));
    EXPECT_STREQ(unit->GetLoggingString(), expected)
        << "a unit without a component describes itself with zero codes";
}

} // namespace
