#include "AUBaseTestUnit.h"
#include "OutputCapture.h"
#include "ThrownStatus.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using aubase_test::SampleTime;
using aubase_test::TestBuffers;
using aubase_test::TestUnit;
using ::testing::HasSubstr;

constexpr UInt32 kFrames = 512;

std::unique_ptr<TestUnit> MakeInitializedUnit(UInt32 inputs = 1, UInt32 outputs = 1)
{
    auto unit = aubase_test::MakeUnit(inputs, outputs);
    EXPECT_EQ(unit->DoInitialize(), noErr);
    return unit;
}

// What a render the unit refuses for its arguments writes on standard error.
std::string RefusalText(TestUnit& unit, Float64 sampleTime, UInt32 frames, AudioBufferList& list)
{
    AudioUnitRenderActionFlags flags = 0;
    OutputCapture capture(OutputCapture::kStderr);
    EXPECT_EQ(unit.DoRender(flags, SampleTime(sampleTime), 0, frames, list), kAudio_ParamError);
    return capture.Take();
}

int CountOf(const std::string& text, const std::string& piece)
{
    int count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++count;
    return count;
}

struct ErrorListener {
    int calls = 0;
    static void Called(void* refCon, AudioUnit, AudioUnitPropertyID, AudioUnitScope,
                       AudioUnitElement)
    {
        ++static_cast<ErrorListener*>(refCon)->calls;
    }
};

// Records every notification call: which one, and the flags it saw.
struct NotificationLog {
    struct Call {
        int tag;
        AudioUnitRenderActionFlags flags;
    };
    std::vector<Call> calls;
};

struct Tagged {
    NotificationLog* log;
    int tag;
};

OSStatus Notify(void* refCon, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp*,
                UInt32, UInt32, AudioBufferList*)
{
    auto* tagged = static_cast<Tagged*>(refCon);
    tagged->log->calls.push_back({tagged->tag, *ioActionFlags});
    *ioActionFlags |= 0x40000; // seen by the rest of the pass, never by the host or the render
    return -1;                 // ignored
}

std::vector<int> Tags(const NotificationLog& log)
{
    std::vector<int> tags;
    for (const auto& call : log.calls)
        tags.push_back(call.tag);
    return tags;
}

TEST(RenderChecks, UninitializedUnitIsRefusedReportedAndRecorded)
{
    TestUnit unit;
    unit.PostConstructor();
    ErrorListener listener;
    unit.AddPropertyListener(kAudioUnitProperty_LastRenderError, ErrorListener::Called, &listener);
    TestBuffers buffers(kFrames);
    AudioUnitRenderActionFlags flags = 0;
    OutputCapture capture(OutputCapture::kStderr);
    EXPECT_EQ(unit.DoRender(flags, SampleTime(0), 0, kFrames, buffers.List()),
              kAudioUnitErr_Uninitialized);
    const std::string text = capture.Take();
    const std::string require =
        "ca_require: IsInitialized() Uninitialized AUPublic/AUBase/AUBase.cpp:";
    const std::string from =
        std::string("from ") + unit.GetLoggingString() + ", render err: -10867\n";
    EXPECT_EQ(text.rfind(require, 0), 0u) << text;
    EXPECT_EQ(CountOf(text, "\n"), 2) << text;
    EXPECT_EQ(text.substr(text.size() - std::min(text.size(), from.size())), from) << text;
    EXPECT_EQ(unit.LastRenderError(), kAudioUnitErr_Uninitialized);
    EXPECT_EQ(listener.calls, 1);
    EXPECT_EQ(unit.mRenderCalls, 0);
}

TEST(RenderChecks, TooManyFramesIsReportedAtMostOnceASecond)
{
    auto unit = MakeInitializedUnit();
    TestBuffers buffers(1157);
    AudioUnitRenderActionFlags flags = 0;
    std::string text;
    for (int attempt = 0; attempt < 5; ++attempt) {
        // Start in a second of our own, so no earlier report counts against this one.
        const time_t before = time(nullptr);
        while (time(nullptr) == before)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const time_t start = time(nullptr);
        OutputCapture capture(OutputCapture::kStderr);
        EXPECT_EQ(unit->DoRender(flags, SampleTime(0), 0, 1157, buffers.List()),
                  kAudioUnitErr_TooManyFramesToProcess);
        EXPECT_EQ(unit->DoRender(flags, SampleTime(1157), 0, 1157, buffers.List()),
                  kAudioUnitErr_TooManyFramesToProcess);
        text = capture.Take();
        if (time(nullptr) == start)
            break;
    }
    EXPECT_EQ(CountOf(text, "inFramesToProcess=1157, mMaxFramesPerSlice=1156; TooManyFrames\n"), 1)
        << text;
    EXPECT_EQ(CountOf(text, "AUPublic/AUBase/AUBase.cpp:"), 1) << text;
    EXPECT_EQ(CountOf(text, ", render err: -10874\n"), 2) << text;
}

TEST(RenderChecks, TheMaximumFrameCountRendersAndOneMoreIsRefused)
{
    auto unit = MakeInitializedUnit();
    const UInt32 maximum = unit->GetMaxFramesPerSlice();
    TestBuffers buffers(maximum + 1);
    const struct {
        UInt32 frames;
        OSStatus status;
        int renders;
    } cases[] = {{maximum, noErr, 1}, {maximum + 1, kAudioUnitErr_TooManyFramesToProcess, 1}};
    OutputCapture capture(OutputCapture::kStderr);
    Float64 sampleTime = 0;
    for (const auto& c : cases) {
        AudioUnitRenderActionFlags flags = 0;
        EXPECT_EQ(unit->DoRender(flags, SampleTime(sampleTime), 0, c.frames, buffers.List()),
                  c.status)
            << c.frames << " frames";
        EXPECT_EQ(unit->mRenderCalls, c.renders) << c.frames << " frames";
        sampleTime += c.frames;
    }
}

TEST(RenderChecks, BufferCountMustMatchTheBusStreams)
{
    auto unit = MakeInitializedUnit();
    TestBuffers mono(kFrames, 1);
    const std::string text = RefusalText(*unit, 0, kFrames, mono.List());
    EXPECT_THAT(text, HasSubstr("ioData.mNumberBuffers=1, output->GetStreamFormat()."
                                "NumberChannelStreams()=2; kAudio_ParamError\n"));
    EXPECT_THAT(text, HasSubstr("render err: -50\n"));
}

TEST(RenderChecks, MissingOutputBusIsAnInvalidElement)
{
    auto unit = MakeInitializedUnit();
    TestBuffers buffers(kFrames);
    AudioUnitRenderActionFlags flags = 0;
    OutputCapture capture(OutputCapture::kStderr);
    EXPECT_EQ(unit->DoRender(flags, SampleTime(0), 1, kFrames, buffers.List()),
              kAudioUnitErr_InvalidElement);
    EXPECT_NE(capture.Take().find("render err: -10877\n"), std::string::npos);
    EXPECT_EQ(unit->LastRenderError(), kAudioUnitErr_InvalidElement);
}

TEST(RenderChecks, LargerBuffersAreTrimmedAndSmallerOnesNamed)
{
    auto unit = MakeInitializedUnit();
    TestBuffers large(1024);
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(unit->DoRender(flags, SampleTime(0), 0, kFrames, large.List()), noErr);
    EXPECT_EQ(large.List().mBuffers[0].mDataByteSize, 2048u);
    EXPECT_EQ(large.List().mBuffers[1].mDataByteSize, 2048u);
    EXPECT_EQ(large.Samples(1)[511], Float32(511 + 1000 + 1));
    EXPECT_EQ(large.Samples(1)[512], 0.0f) << "nothing beyond the slice is written";

    TestBuffers small(kFrames);
    small.List().mBuffers[1].mDataByteSize = 2000;
    const std::string text = RefusalText(*unit, 512, kFrames, small.List());
    EXPECT_THAT(text, HasSubstr("512 frames, 4 bytes/frame, expected 2048-byte buffer; "
                                "ioData.mBuffers[1].mDataByteSize=2000; kAudio_ParamError\n"));
    EXPECT_EQ(unit->mRenderCalls, 1);
}

TEST(RenderChecks, BufferSizeCheckDoesNotWrapAroundForAHugeSlice)
{
    auto unit = std::make_unique<TestUnit>();
    unit->PostConstructor();
    unit->GetOutput(0)->SetWillAllocateBuffer(false); // the host supplies the memory
    constexpr UInt32 kHugeSlice = 0x40000000;         // 4 bytes a frame: 2^32 bytes
    unit->SetMaxFramesPerSlice(kHugeSlice);
    ASSERT_EQ(unit->DoInitialize(), noErr);
    TestBuffers small(kFrames);
    const std::string text = RefusalText(*unit, 0, kHugeSlice, small.List());
    EXPECT_THAT(text,
                HasSubstr("1073741824 frames, 4 bytes/frame, expected 4294967296-byte buffer; "
                          "ioData.mBuffers[0].mDataByteSize=2048; kAudio_ParamError\n"));
    EXPECT_EQ(unit->mRenderCalls, 0);
}

TEST(RenderBuffers, NullDataPointersReceiveTheUnitsOwnBuffers)
{
    auto unit = MakeInitializedUnit();
    TestBuffers caller(kFrames, 2, false);
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(unit->DoRender(flags, SampleTime(0), 0, kFrames, caller.List()), noErr);
    const AudioBufferList& ours = unit->GetOutput(0)->GetBufferList();
    for (UInt32 i = 0; i < 2; ++i) {
        EXPECT_EQ(caller.List().mBuffers[i].mData, ours.mBuffers[i].mData);
        EXPECT_EQ(caller.List().mBuffers[i].mDataByteSize, 2048u);
    }
    EXPECT_EQ(static_cast<Float32*>(caller.List().mBuffers[1].mData)[3], Float32(3 + 1000 + 1));

    // The same sample time again renders nothing and hands back the same buffers.
    TestBuffers again(kFrames, 2, false);
    ASSERT_EQ(unit->DoRender(flags, SampleTime(0), 0, kFrames, again.List()), noErr);
    EXPECT_EQ(unit->mRenderCalls, 1);
    EXPECT_EQ(again.List().mBuffers[0].mData, caller.List().mBuffers[0].mData);
    EXPECT_EQ(static_cast<Float32*>(again.List().mBuffers[1].mData)[3], Float32(3 + 1000 + 1));
}

TEST(RenderBuffers, SameSampleTimeLeavesTheCallersOwnBuffersAsTheyWere)
{
    auto unit = MakeInitializedUnit();
    TestBuffers first(kFrames);
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(unit->DoRender(flags, SampleTime(64), 0, kFrames, first.List()), noErr);
    TestBuffers second(1024);
    second.Samples(0)[0] = -5.0f;
    ASSERT_EQ(unit->DoRender(flags, SampleTime(64), 0, kFrames, second.List()), noErr);
    EXPECT_EQ(unit->mRenderCalls, 1);
    EXPECT_EQ(second.Samples(0)[0], -5.0f);
    EXPECT_EQ(second.List().mBuffers[0].mDataByteSize, 2048u);
    EXPECT_EQ(unit->CurrentRenderTime().mSampleTime, 64.0);
}

TEST(RenderBuffers, TheSliceRenderedKeepsItsWholeTimeStampAndARepeatKeepsTheFirst)
{
    // Every field distinct, so that one left out or read from the wrong place shows.
    AudioTimeStamp stamp{128.0,
                         0x1122334455667788,
                         1.5,
                         0x99AABBCCDDEEFF00,
                         {1, 80, 0x12345678, kSMPTETimeType30, kSMPTETimeValid, 1, 2, 3, 4},
                         kAudioTimeStampSampleTimeValid | kAudioTimeStampHostTimeValid,
                         0x5A5A5A5A};
    auto unit = MakeInitializedUnit();
    TestBuffers buffers(kFrames);
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(unit->DoRender(flags, stamp, 0, kFrames, buffers.List()), noErr);
    EXPECT_EQ(std::memcmp(&unit->CurrentRenderTime(), &stamp, sizeof stamp), 0);

    AudioTimeStamp repeat = SampleTime(128.0);
    ASSERT_EQ(unit->DoRender(flags, repeat, 0, kFrames, buffers.List()), noErr);
    EXPECT_EQ(std::memcmp(&unit->CurrentRenderTime(), &stamp, sizeof stamp), 0);
}

TEST(RenderBuffers, UnitWithSeveralOutputsRendersIntoItsOwnBuffersAndCopiesOut)
{
    auto unit = MakeInitializedUnit(1, 2);
    TestBuffers caller(kFrames);
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(unit->DoRender(flags, SampleTime(0), 0, kFrames, caller.List()), noErr);
    EXPECT_EQ(caller.Samples(1)[7], Float32(7 + 1000 + 1)) << "the rendered audio was copied";
    EXPECT_EQ(caller.List().mBuffers[0].mData, caller.Samples(0)) << "the caller keeps its memory";
    // The unit's own pointers were only good for that call.
    EXPECT_THROW(unit->GetOutput(0)->GetBufferList(), int);
}

TEST(RenderBuffers, CallersBuffersGetTheAudioWhereverTheUnitWroteItAndAreForgottenAfterTheCall)
{
    const struct {
        const char* name;
        bool intoOwnBuffers;
        OSStatus result;
        Float32 expectedSample; // sample 7 of the second buffer
    } cases[] = {
        {"in place", false, noErr, 7 + 1000 + 1},
        {"into the unit's own buffers", true, noErr, 7 + 1000 + 1},
        {"into its own buffers, then failing", true, -33, 0},
    };
    for (const auto& c : cases) {
        auto unit = MakeInitializedUnit();
        unit->mRenderIntoOwnBuffers = c.intoOwnBuffers;
        unit->mRenderResult = c.result;
        TestBuffers caller(kFrames);
        AudioUnitRenderActionFlags flags = 0;
        EXPECT_EQ(unit->DoRender(flags, SampleTime(0), 0, kFrames, caller.List()), c.result)
            << c.name;
        EXPECT_EQ(caller.Samples(1)[7], c.expectedSample) << c.name;
        EXPECT_EQ(caller.List().mNumberBuffers, 2u) << c.name;
        for (UInt32 i = 0; i < 2; ++i) {
            EXPECT_EQ(caller.List().mBuffers[i].mData, caller.Samples(i)) << c.name;
            EXPECT_EQ(caller.List().mBuffers[i].mDataByteSize, kFrames * sizeof(Float32)) << c.name;
        }
        EXPECT_EQ(ThrownStatus([&] { unit->GetOutput(0)->GetBufferList(); }), -1)
            << c.name << ": the caller's buffers are not kept";
    }
}

TEST(RenderBuffers, ErrorFromRenderCopiesNothing)
{
    auto unit = MakeInitializedUnit();
    unit->mRenderResult = -33;
    TestBuffers caller(kFrames);
    AudioUnitRenderActionFlags flags = 0;
    OutputCapture capture(OutputCapture::kStderr);
    EXPECT_EQ(unit->DoRender(flags, SampleTime(0), 0, kFrames, caller.List()), -33);
    EXPECT_EQ(capture.Take(), "") << "an error of Render itself is passed on without a line";
    EXPECT_EQ(caller.Samples(0)[1], 0.0f);
    EXPECT_EQ(unit->LastRenderError(), noErr) << "not recorded while nobody registered";
}

TEST(RenderBuffers, ExceptionFromRenderOrProcessTakesTheErrorExitWithItsStatusOrMinusOne)
{
    // Only a thrown status is kept: memory running out is no status of the render cycle's.
    const struct {
        ThrowKind kind;
        OSStatus status;
    } throws[] = {{ThrowKind::kStatus, -44}, {ThrowKind::kBadAlloc, -1}, {ThrowKind::kOther, -1}};
    for (const auto& thrown : throws) {
        for (const char* call : {"render", "process"}) {
            auto unit = MakeInitializedUnit();
            unit->mRenderThrows = thrown.kind;
            unit->mRenderThrownStatus = -44;
            TestBuffers caller(kFrames);
            AudioUnitRenderActionFlags flags = 0;
            OutputCapture capture(OutputCapture::kStderr);
            const OSStatus status =
                std::string(call) == "render"
                    ? unit->DoRender(flags, SampleTime(0), 0, kFrames, caller.List())
                    : unit->DoProcess(flags, SampleTime(0), kFrames, caller.List());
            EXPECT_EQ(status, thrown.status) << call;
            EXPECT_EQ(capture.Take(), std::string("from ") + unit->GetLoggingString() + ", " +
                                          call + " err: " + std::to_string(thrown.status) + "\n");
            EXPECT_EQ(unit->LastRenderError(), thrown.status) << call;
        }
    }
}

TEST(RenderNotifications, NullProcedureIsRefusedAndTouchesNothing)
{
    auto unit = MakeInitializedUnit();
    EXPECT_EQ(unit->SetRenderNotification(nullptr, nullptr), kAudio_ParamError);
    // Untouched, a render error is still not recorded.
    unit->mRenderResult = -33;
    TestBuffers caller(kFrames);
    AudioUnitRenderActionFlags flags = 0;
    EXPECT_EQ(unit->DoRender(flags, SampleTime(0), 0, kFrames, caller.List()), -33);
    EXPECT_EQ(unit->LastRenderError(), noErr);
}

TEST(RenderNotifications, CalledInOrderOfAddingOncePerPassWithTheirFlags)
{
    auto unit = MakeInitializedUnit();
    NotificationLog log;
    Tagged a{&log, 1}, b{&log, 2};
    EXPECT_EQ(unit->SetRenderNotification(Notify, &a), noErr);
    EXPECT_EQ(unit->SetRenderNotification(Notify, &b), noErr);
    EXPECT_EQ(unit->SetRenderNotification(Notify, &a), noErr); // a duplicate
    TestBuffers caller(kFrames);
    AudioUnitRenderActionFlags flags = kAudioUnitRenderAction_OutputIsSilence;
    ASSERT_EQ(unit->DoRender(flags, SampleTime(0), 0, kFrames, caller.List()), noErr);
    EXPECT_EQ(Tags(log), (std::vector<int>{1, 2, 1, 2}));
    const AudioUnitRenderActionFlags pre =
        kAudioUnitRenderAction_OutputIsSilence | kAudioUnitRenderAction_PreRender;
    const AudioUnitRenderActionFlags post =
        kAudioUnitRenderAction_OutputIsSilence | kAudioUnitRenderAction_PostRender;
    EXPECT_EQ(log.calls[0].flags, pre);
    EXPECT_EQ(log.calls[1].flags, pre | 0x40000) << "a pass shares one flags word";
    EXPECT_EQ(log.calls[2].flags, post);
    EXPECT_EQ(flags, kAudioUnitRenderAction_OutputIsSilence);
    EXPECT_EQ(unit->mRenderFlagsSeen, kAudioUnitRenderAction_OutputIsSilence);

    log.calls.clear();
    unit->RemoveRenderNotification(Notify, &b);
    unit->SetRenderNotification(Notify, &b);
    unit->RemoveRenderNotification(Notify, &b); // removing what is not there does nothing
    unit->SetRenderNotification(Notify, &b);
    ASSERT_EQ(unit->DoRender(flags, SampleTime(512), 0, kFrames, caller.List()), noErr);
    EXPECT_EQ(Tags(log), (std::vector<int>{1, 2, 1, 2}));
    log.calls.clear();
    unit->RemoveRenderNotification(Notify, &a);
    unit->SetRenderNotification(Notify, &a);
    ASSERT_EQ(unit->DoRender(flags, SampleTime(1024), 0, kFrames, caller.List()), noErr);
    EXPECT_EQ(Tags(log), (std::vector<int>{2, 1, 2, 1})) << "re-added entries come last";
}

TEST(RenderNotifications, FailedRenderMarksThePostRenderPassAndIsRecordedOnce)
{
    auto unit = MakeInitializedUnit();
    NotificationLog log;
    Tagged a{&log, 1};
    unit->SetRenderNotification(Notify, &a);
    ErrorListener listener;
    unit->AddPropertyListener(kAudioUnitProperty_LastRenderError, ErrorListener::Called, &listener);
    unit->mRenderResult = -33;
    TestBuffers caller(kFrames);
    AudioUnitRenderActionFlags flags = 0;
    EXPECT_EQ(unit->DoRender(flags, SampleTime(0), 0, kFrames, caller.List()), -33);
    ASSERT_EQ(log.calls.size(), 2u);
    EXPECT_EQ(log.calls[1].flags,
              kAudioUnitRenderAction_PostRender | kAudioUnitRenderAction_PostRenderError);
    EXPECT_EQ(unit->LastRenderError(), -33);

    unit->mRenderResult = -34;
    EXPECT_EQ(unit->DoRender(flags, SampleTime(512), 0, kFrames, caller.List()), -34);
    EXPECT_EQ(unit->LastRenderError(), -33) << "only the first error is kept";
    EXPECT_EQ(listener.calls, 1);

    EXPECT_EQ(unit->TakeLastRenderError(), -33);
    EXPECT_EQ(unit->TakeLastRenderError(), noErr);
    EXPECT_EQ(unit->DoRender(flags, SampleTime(1024), 0, kFrames, caller.List()), -34);
    EXPECT_EQ(unit->LastRenderError(), -34);
    EXPECT_EQ(listener.calls, 2);
}

TEST(RenderThread, RenderCallsRecordTheirThreadOnlyWhenWanted)
{
    auto unit = MakeInitializedUnit();
    TestBuffers caller(kFrames);
    AudioUnitRenderActionFlags flags = 0;
    unit->DoRender(flags, SampleTime(0), 0, kFrames, caller.List());
    EXPECT_FALSE(unit->InRenderThread());
    unit->SetWantsRenderThreadID(true);
    unit->DoRender(flags, SampleTime(512), 0, kFrames, caller.List());
    EXPECT_TRUE(unit->InRenderThread());
    bool otherThreadSees = true;
    std::thread([&] { otherThreadSees = unit->InRenderThread(); }).join();
    EXPECT_FALSE(otherThreadSees);
    unit->SetWantsRenderThreadID(false);
    EXPECT_FALSE(unit->InRenderThread());
}

TEST(RenderControlRegister, DenormalsAreFlushedDuringTheCallAndTheRegisterRestoredOnEveryPath)
{
    const int flushBits =
        CAFlushDenormalsScope::kFlushToZero | CAFlushDenormalsScope::kDenormalsAreZero;
    const int before = GETCSR();
    ASSERT_EQ(before & flushBits, 0) << "the test thread starts without flushing";

    auto unit = MakeInitializedUnit();
    TestBuffers caller(kFrames);
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(unit->DoRender(flags, SampleTime(0), 0, kFrames, caller.List()), noErr);
    EXPECT_EQ(unit->mControlRegisterSeen & flushBits, flushBits);
    EXPECT_EQ(GETCSR(), before);

    OutputCapture capture(OutputCapture::kStderr);
    unit->mRenderResult = -33;
    EXPECT_EQ(unit->DoRender(flags, SampleTime(512), 0, kFrames, caller.List()), -33);
    EXPECT_EQ(GETCSR(), before);
    unit->mRenderThrows = ThrowKind::kStatus;
    unit->mRenderThrownStatus = -44;
    EXPECT_EQ(unit->DoRender(flags, SampleTime(1024), 0, kFrames, caller.List()), -44);
    EXPECT_EQ(GETCSR(), before);
    EXPECT_EQ(unit->DoRender(flags, SampleTime(0), 0, 5000, caller.List()),
              kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(GETCSR(), before);
    EXPECT_EQ(unit->DoProcess(flags, SampleTime(0), 5000, caller.List()),
              kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(GETCSR(), before);
    EXPECT_EQ(unit->DoProcessMultiple(flags, SampleTime(0), 5000, 0, nullptr, 0, nullptr),
              kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(GETCSR(), before);
}

TEST(ScheduledParameters, ImmediateEventsApplyAtOnceAndRampsNeedAUnitThatSchedules)
{
    auto unit = MakeInitializedUnit();
    unit->Globals()->UseIndexedParameters(2);
    AudioUnitParameterEvent events[2] = {};
    events[0].scope = kAudioUnitScope_Global;
    events[0].parameter = 1;
    events[0].eventType = kParameterEvent_Immediate;
    events[0].eventValues.immediate = {100, 0.5f};
    events[1].scope = kAudioUnitScope_Global;
    events[1].parameter = 0;
    events[1].eventType = kParameterEvent_Ramped;
    events[1].eventValues.ramp = {0, 64, 0.0f, 1.0f};
    EXPECT_EQ(unit->ScheduleParameter(events, 2), noErr);
    EXPECT_EQ(unit->Globals()->GetParameter(1), 0.5f);
    EXPECT_EQ(unit->mLastParameterOffset, 100u);
    EXPECT_EQ(unit->Globals()->GetParameter(0), 0.0f);
    EXPECT_TRUE(unit->GetParamEventList().empty());

    // A unit that schedules reserves its room when it initializes.
    unit->DoCleanup();
    unit->mCanSchedule = true;
    ASSERT_EQ(unit->DoInitialize(), noErr);
    EXPECT_EQ(unit->ScheduleParameter(events, 2), noErr);
    EXPECT_EQ(unit->GetParamEventList().size(), 2u);

    // A failed render keeps them; a successful one drops them, keeping the room.
    OutputCapture capture(OutputCapture::kStderr);
    TestBuffers mono(kFrames, 1);
    AudioUnitRenderActionFlags flags = 0;
    EXPECT_EQ(unit->DoRender(flags, SampleTime(0), 0, kFrames, mono.List()), kAudio_ParamError);
    EXPECT_EQ(unit->GetParamEventList().size(), 2u);
    TestBuffers caller(kFrames);
    const size_t capacity = unit->GetParamEventList().capacity();
    EXPECT_EQ(unit->DoRender(flags, SampleTime(0), 0, kFrames, caller.List()), noErr);
    EXPECT_TRUE(unit->GetParamEventList().empty());
    EXPECT_EQ(unit->GetParamEventList().capacity(), capacity);
}

AudioUnitParameterEvent Immediate(AudioUnitParameterID id, UInt32 offset, Float32 value)
{
    AudioUnitParameterEvent event{};
    event.scope = kAudioUnitScope_Global;
    event.parameter = id;
    event.eventType = kParameterEvent_Immediate;
    event.eventValues.immediate = {offset, value};
    return event;
}

AudioUnitParameterEvent Ramp(AudioUnitParameterID id, SInt32 offset, UInt32 duration, Float32 start,
                             Float32 end)
{
    AudioUnitParameterEvent event{};
    event.scope = kAudioUnitScope_Global;
    event.parameter = id;
    event.eventType = kParameterEvent_Ramped;
    event.eventValues.ramp = {offset, duration, start, end};
    return event;
}

TEST(ScheduledParameters, EventsBeyondTheReservedRoomAreRefusedInsteadOfGrowingTheList)
{
    auto unit = std::make_unique<TestUnit>();
    unit->PostConstructor();
    unit->mCanSchedule = true;
    ASSERT_EQ(unit->DoInitialize(), noErr);
    unit->Globals()->UseIndexedParameters(1);
    const size_t room = unit->GetParamEventList().capacity();
    ASSERT_GE(room, 24u);
    std::vector<AudioUnitParameterEvent> events(room + 6, Immediate(0, 0, 0.5f));
    events.back().eventValues.immediate.value = 0.75f;
    EXPECT_EQ(unit->ScheduleParameter(events.data(), UInt32(events.size())), kAudio_MemFullError);
    EXPECT_EQ(unit->GetParamEventList().size(), room);
    EXPECT_EQ(unit->GetParamEventList().capacity(), room) << "the render thread must not allocate";
    EXPECT_EQ(unit->Globals()->GetParameter(0), 0.75f) << "immediate events still take effect";
}

TEST(ScheduledParameters, ImmediateEventsCutTheCallAtTheirOffsets)
{
    auto unit = MakeInitializedUnit();
    unit->Globals()->UseIndexedParameters(2);
    // Given out of order: slicing sorts by offset.
    AUBase::ParameterEventList events = {Immediate(1, 256, 0.75f), Immediate(0, 0, 0.25f)};
    EXPECT_EQ(unit->ProcessForScheduledParams(events, 512, nullptr), noErr);
    ASSERT_EQ(unit->mSlices.size(), 2u);
    EXPECT_EQ(unit->mSlices[0].start, 0u);
    EXPECT_EQ(unit->mSlices[0].frames, 256u);
    EXPECT_EQ(unit->mSlices[0].value0, 0.25f);
    EXPECT_EQ(unit->mSlices[0].value1, 0.0f) << "the event at 256 is not yet applied";
    EXPECT_EQ(unit->mSlices[1].start, 256u);
    EXPECT_EQ(unit->mSlices[1].frames, 256u);
    EXPECT_EQ(unit->mSlices[1].value0, 0.25f) << "the event at 0 still applies";
    EXPECT_EQ(unit->mSlices[1].value1, 0.75f);
}

TEST(ScheduledParameters, RampCutsWhereItStartsAndEnds)
{
    auto unit = MakeInitializedUnit();
    unit->Globals()->UseIndexedParameters(2);
    AUBase::ParameterEventList events = {Ramp(1, 100, 200, 0.0f, 1.0f)};
    EXPECT_EQ(unit->ProcessForScheduledParams(events, 512, nullptr), noErr);
    ASSERT_EQ(unit->mSlices.size(), 3u);
    EXPECT_EQ(unit->mSlices[0].start, 0u);
    EXPECT_EQ(unit->mSlices[0].frames, 100u);
    EXPECT_EQ(unit->mSlices[0].value1, 0.0f);
    EXPECT_EQ(unit->mSlices[1].start, 100u);
    EXPECT_EQ(unit->mSlices[1].frames, 200u);
    EXPECT_EQ(unit->mSlices[1].value1, 0.0f);
    EXPECT_EQ(unit->mSlices[2].start, 300u);
    EXPECT_EQ(unit->mSlices[2].frames, 212u);

    Float32 start, end, delta;
    unit->Globals()->GetRampSliceStartEnd(1, start, end, delta);
    EXPECT_FLOAT_EQ(end, 1.0f) << "the ramp was applied to the slice it covers only";
}

TEST(ScheduledParameters, SliceErrorStopsTheLoopAndNoFramesMeansNoSlice)
{
    auto unit = MakeInitializedUnit();
    unit->Globals()->UseIndexedParameters(2);
    AUBase::ParameterEventList events = {Immediate(0, 128, 1.0f), Immediate(0, 256, 2.0f)};
    unit->mFailAtSlice = 2;
    EXPECT_EQ(unit->ProcessForScheduledParams(events, 512, nullptr), -123);
    EXPECT_EQ(unit->mSlices.size(), 2u);

    unit->mSlices.clear();
    EXPECT_EQ(unit->ProcessForScheduledParams(events, 0, nullptr), noErr);
    EXPECT_TRUE(unit->mSlices.empty());

    // Events for elements that do not exist are skipped; a scope that does not exist throws.
    AUBase::ParameterEventList missing = {Immediate(0, 0, 1.0f)};
    missing[0].element = 3;
    EXPECT_EQ(unit->ProcessForScheduledParams(missing, 64, nullptr), noErr);
    missing[0].scope = 9;
    EXPECT_THROW(unit->ProcessForScheduledParams(missing, 64, nullptr), int);
}

TEST(ProcessCalls, UncheckedProcessRunsEvenOnAnUninitializedUnit)
{
    TestUnit unit;
    unit.PostConstructor();
    TestBuffers buffers(64);
    AudioUnitRenderActionFlags flags = kAudioUnitRenderAction_DoNotCheckRenderArgs;
    EXPECT_EQ(unit.DoProcess(flags, SampleTime(0), 64, buffers.List()), noErr);
    EXPECT_EQ(unit.mProcessCalls, 1);

    flags = 0;
    OutputCapture capture(OutputCapture::kStderr);
    EXPECT_EQ(unit.DoProcess(flags, SampleTime(64), 64, buffers.List()),
              kAudioUnitErr_Uninitialized);
    const std::string text = capture.Take();
    EXPECT_THAT(text, HasSubstr("ca_require: IsInitialized() Uninitialized "));
    EXPECT_THAT(text, HasSubstr(", process err: -10867\n"));
}

TEST(ProcessCalls, ProcessChecksTheInputBusAndTrimsBuffers)
{
    auto unit = MakeInitializedUnit();
    AudioUnitRenderActionFlags flags = 0;
    OutputCapture capture(OutputCapture::kStderr);
    TestBuffers mono(64, 1);
    EXPECT_EQ(unit->DoProcess(flags, SampleTime(0), 64, mono.List()), kAudio_ParamError);
    EXPECT_NE(capture.Take().find("ioData.mNumberBuffers=1, input->GetStreamFormat()."
                                  "NumberChannelStreams()=2; kAudio_ParamError\n"),
              std::string::npos);
    EXPECT_EQ(unit->DoProcess(flags, SampleTime(0), 1157, mono.List()),
              kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_NE(capture.Take().find("ca_require: inFramesToProcess <= mMaxFramesPerSlice "
                                  "TooManyFrames "),
              std::string::npos);

    TestBuffers stereo(128);
    EXPECT_EQ(unit->DoProcess(flags, SampleTime(0), 64, stereo.List()), noErr);
    EXPECT_EQ(stereo.List().mBuffers[1].mDataByteSize, 256u);
    EXPECT_EQ(unit->mLastProcessFrames, 64u);
    EXPECT_EQ(unit->DoProcess(flags, SampleTime(0), 64, stereo.List()), noErr);
    EXPECT_EQ(unit->mProcessCalls, 1) << "once per sample time";
}

TEST(ProcessCalls, ProcessMultipleChecksEveryListAgainstItsBus)
{
    auto unit = MakeInitializedUnit();
    AudioUnitRenderActionFlags flags = 0;
    OutputCapture capture(OutputCapture::kStderr);

    TestBuffers input(64), output(128), mono(64, 1), nullInput(64, 2, false);
    const AudioBufferList* inputs[1] = {&mono.List()};
    AudioBufferList* outputs[1] = {&output.List()};
    EXPECT_EQ(unit->DoProcessMultiple(flags, SampleTime(0), 64, 1, inputs, 1, outputs),
              kAudio_ParamError);
    std::string text = capture.Take();
    EXPECT_THAT(
        text, HasSubstr("inInputBufferLists[0]->mNumberBuffers=1, "
                        "input->GetStreamFormat().NumberChannelStreams()=2; kAudio_ParamError\n"));
    EXPECT_THAT(text, HasSubstr(", processmultiple err: -50\n"));

    inputs[0] = &nullInput.List();
    EXPECT_EQ(unit->DoProcessMultiple(flags, SampleTime(0), 64, 1, inputs, 1, outputs),
              kAudio_ParamError);
    text = capture.Take();
    EXPECT_EQ(text.find("expected"), std::string::npos) << "a null input has no line of its own";

    TestBuffers shortInput(32);
    inputs[0] = &shortInput.List();
    EXPECT_EQ(unit->DoProcessMultiple(flags, SampleTime(0), 64, 1, inputs, 1, outputs),
              kAudio_ParamError);
    EXPECT_NE(capture.Take().find("64 frames, 4 bytes/frame, expected 256-byte buffer; "
                                  "inInputBufferLists[0].mBuffers[0].mDataByteSize=128; "
                                  "kAudio_ParamError\n"),
              std::string::npos);

    inputs[0] = &input.List();
    EXPECT_EQ(unit->DoProcessMultiple(flags, SampleTime(0), 64, 1, inputs, 1, outputs),
              kAudio_UnimplementedError)
        << "the base class processes nothing";
    EXPECT_EQ(output.List().mBuffers[0].mDataByteSize, 256u) << "outputs are trimmed";
    EXPECT_EQ(input.List().mBuffers[0].mDataByteSize, 256u);
}

} // namespace
