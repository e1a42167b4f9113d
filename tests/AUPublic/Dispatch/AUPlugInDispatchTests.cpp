// The selector lookups and the method adapters, driven through the platform's host calls on
// open instances of a test unit.
#include "HostedTestUnit.h"

#include "CFLeakCheck.h"
#include "OutputCapture.h"

#include <AudioUnit/AudioOutputUnit.h>
#include <AudioUnit/MusicDevice.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

using namespace hosted_test;

namespace {

std::set<int> AnsweredSelectors(AudioComponentMethod (*lookup)(SInt16))
{
    std::set<int> answered;
    for (int selector = -0x8000; selector <= 0x7FFF; ++selector)
        if (lookup(static_cast<SInt16>(selector)) != nullptr)
            answered.insert(selector);
    return answered;
}

const std::set<int> kBaseSelectors{1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 14, 15, 16, 17, 18};

std::set<int> Union(std::set<int> a, const std::set<int>& b)
{
    a.insert(b.begin(), b.end());
    return a;
}

// The message line of an argument check, without the line number.
std::string DebugStringPrefix(const std::string& message)
{
    return "ca_debug_string: " + message + " AUPublic/AUBase/AUPlugInDispatch.cpp:";
}

// The two non-interleaved buffers a host renders a stereo bus into: a list of one buffer
// followed by the second, as the list's variable length wants it.
struct StereoBuffers {
    explicit StereoBuffers(UInt32 frames) : left(frames), right(frames)
    {
        list.mNumberBuffers = 2;
        list.mBuffers[0] = {1, UInt32(frames * sizeof(Float32)), left.data()};
        second = {1, UInt32(frames * sizeof(Float32)), right.data()};
    }
    std::vector<Float32> left, right;
    AudioBufferList list{};
    AudioBuffer second{};
};

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(mInstance.OpenStatus(), noErr); }
    AudioUnit Unit() const { return mInstance.Unit(); }
    HostedTestUnit& Object() const { return mInstance.Object(); }

    HostedInstance mInstance{kMusicComponent};
};

} // namespace

TEST(Lookup, EachKindOfUnitAnswersExactlyItsSelectors)
{
    EXPECT_EQ(AnsweredSelectors(&AUBaseLookup::Lookup), kBaseSelectors);
    EXPECT_EQ(AnsweredSelectors(&MIDI_Lookup), (std::set<int>{0x101, 0x102}));
    EXPECT_EQ(AnsweredSelectors(&AUMIDILookup::Lookup), Union(kBaseSelectors, {0x101, 0x102}));
    EXPECT_EQ(AnsweredSelectors(&AUOutputLookup::Lookup), Union(kBaseSelectors, {0x201, 0x202}));
    EXPECT_EQ(AnsweredSelectors(&AUComplexOutputLookup::Lookup),
              Union(kBaseSelectors, {0x13, 0x201, 0x202}));
    EXPECT_EQ(AnsweredSelectors(&AUBaseProcessLookup::Lookup), Union(kBaseSelectors, {0x14}));
    EXPECT_EQ(AnsweredSelectors(&AUBaseProcessMultipleLookup::Lookup),
              Union(kBaseSelectors, {0x15}));
    EXPECT_EQ(AnsweredSelectors(&AUBaseProcessAndMultipleLookup::Lookup),
              Union(kBaseSelectors, {0x14, 0x15}));
    EXPECT_EQ(AnsweredSelectors(&AUMIDIProcessLookup::Lookup),
              Union(kBaseSelectors, {0x14, 0x101, 0x102}));
    EXPECT_EQ(AnsweredSelectors(&AUMusicLookup::Lookup),
              Union(kBaseSelectors, {0x101, 0x102, 0x103, 0x104, 0x105, 0x106}));
    EXPECT_EQ(AnsweredSelectors(&AUAuxBaseLookup::Lookup), (std::set<int>{3, 4, 5, 6, 7}));
}

TEST(Lookup, EveryKindHandsOutTheSameAdapterForASelector)
{
    for (SInt16 selector : {3, 4, 5, 6, 7})
        EXPECT_EQ(AUAuxBaseLookup::Lookup(selector), AUBaseLookup::Lookup(selector));
    EXPECT_EQ(AUMusicLookup::Lookup(0x101), MIDI_Lookup(0x101));
    EXPECT_EQ(AUComplexOutputLookup::Lookup(0x201), AUOutputLookup::Lookup(0x201));
}

TEST_F(DispatchTest, MusicDeviceCallsReachTheUnitsOwnAnswers)
{
    MusicDeviceNoteParams params{2, 60, 100, {}};
    NoteInstanceID note = 0;
    EXPECT_EQ(MusicDeviceMIDIEvent(Unit(), 0x90, 60, 100, 0), kAudio_UnimplementedError);
    EXPECT_EQ(Object().mMIDIEvents, 1);
    EXPECT_EQ(MusicDeviceSysEx(Unit(), nullptr, 0), kAudio_UnimplementedError);
    EXPECT_EQ(MusicDevicePrepareInstrument(Unit(), 1), kAudio_UnimplementedError);
    EXPECT_EQ(MusicDeviceReleaseInstrument(Unit(), 1), kAudio_UnimplementedError);
    EXPECT_EQ(MusicDeviceStartNote(Unit(), 1, 0, &note, 0, &params), kAudio_UnimplementedError);
    EXPECT_EQ(MusicDeviceStopNote(Unit(), 0, 1, 0), kAudio_UnimplementedError);

    // The argument checks come first: the unit is not asked.
    EXPECT_EQ(MusicDeviceStartNote(Unit(), 1, 0, &note, 0, nullptr), kAudio_ParamError);
    EXPECT_EQ(MusicDeviceStartNote(Unit(), 1, 0, nullptr, 0, &params), kAudio_ParamError);

    HostedInstance baseUnit(kBaseComponent);
    EXPECT_EQ(MusicDeviceMIDIEvent(baseUnit.Unit(), 0x90, 60, 100, 0), kAudio_UnimplementedError);
    EXPECT_EQ(baseUnit.Object().mMIDIEvents, 0) << "a base unit has no MIDI adapter";
}

TEST_F(DispatchTest, GetPropertyWithoutDataReportsTheSizeOrZero)
{
    UInt32 size = 99;
    EXPECT_EQ(AudioUnitGetProperty(Unit(), kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output,
                                   0, nullptr, &size),
              noErr);
    EXPECT_EQ(size, sizeof(AudioStreamBasicDescription));

    size = 99;
    OutputCapture errors(OutputCapture::kStderr);
    EXPECT_EQ(AudioUnitGetProperty(Unit(), kAudioUnitProperty_ClassInfo, kAudioUnitScope_Input, 0,
                                   nullptr, &size),
              kAudioUnitErr_InvalidScope);
    EXPECT_EQ(size, 0u);
    EXPECT_NE(errors.Take().find("ca_require: inScope == kAudioUnitScope_Global InvalidScope"),
              std::string::npos);
}

TEST_F(DispatchTest, GetPropertyRefusesMissingOrEmptySizes)
{
    CAStreamBasicDescription format;
    OutputCapture errors(OutputCapture::kStderr);
    EXPECT_EQ(AudioUnitGetProperty(Unit(), kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output,
                                   0, &format, nullptr),
              kAudio_ParamError);
    EXPECT_EQ(errors.Take().rfind(DebugStringPrefix("AudioUnitGetProperty: null size pointer"), 0),
              0u);

    UInt32 size = 0;
    EXPECT_EQ(AudioUnitGetProperty(Unit(), kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output,
                                   0, &format, &size),
              kAudio_ParamError);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(errors.Take().rfind(
                  DebugStringPrefix("AudioUnitGetProperty: *ioDataSize == 0 on entry"), 0),
              0u);
}

TEST_F(DispatchTest, GetPropertyIntoASmallBufferTruncatesWithoutWritingPastIt)
{
    AudioStreamBasicDescription actual{};
    UInt32 size = sizeof(actual);
    ASSERT_EQ(AudioUnitGetProperty(Unit(), kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output,
                                   0, &actual, &size),
              noErr);
    EXPECT_EQ(size, sizeof(actual));

    std::vector<UInt8> buffer(sizeof(actual), 0xAB);
    size = 16;
    EXPECT_EQ(AudioUnitGetProperty(Unit(), kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output,
                                   0, buffer.data(), &size),
              noErr);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(std::memcmp(buffer.data(), &actual, 16), 0);
    for (size_t i = 16; i < buffer.size(); ++i)
        ASSERT_EQ(buffer[i], 0xAB) << "byte " << i << " lies past the client's size";

    // A larger buffer is told the actual size.
    std::vector<UInt8> large(64);
    size = 64;
    EXPECT_EQ(AudioUnitGetProperty(Unit(), kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output,
                                   0, large.data(), &size),
              noErr);
    EXPECT_EQ(size, sizeof(actual));
}

TEST_F(DispatchTest, GetPropertyThatFailsAfterItsInformationSetsTheSizeToZero)
{
    CFStringRef name = nullptr;
    UInt32 size = sizeof(name);
    EXPECT_EQ(AudioUnitGetProperty(Unit(), kAudioUnitProperty_ContextName, kAudioUnitScope_Global,
                                   0, &name, &size),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(size, 0u);
}

TEST_F(DispatchTest, SizesLeftByACallThatThrowsClaimNothing)
{
    // The group element exists, so the information succeeds; its format does not.
    Float64 rate = 0;
    UInt32 size = sizeof(rate);
    EXPECT_EQ(AudioUnitGetProperty(Unit(), kAudioUnitProperty_SampleRate, kAudioUnitScope_Group, 0,
                                   &rate, &size),
              kAudioUnitErr_InvalidScope);
    EXPECT_EQ(size, 0u);

    // A scope that does not exist throws from the information itself.
    size = 99;
    EXPECT_EQ(AudioUnitGetProperty(Unit(), kAudioUnitProperty_ElementName, 9, 0, nullptr, &size),
              kAudioUnitErr_InvalidScope);
    EXPECT_EQ(size, 0u);
    size = 99;
    Boolean writable = true;
    EXPECT_EQ(
        AudioUnitGetPropertyInfo(Unit(), kAudioUnitProperty_ElementName, 9, 0, &size, &writable),
        kAudioUnitErr_InvalidScope);
    EXPECT_EQ(size, 0u);
    EXPECT_FALSE(writable);
}

TEST_F(DispatchTest, GetPropertyInfoStoresOnlyThroughTheGivenPointers)
{
    UInt32 size = 99;
    Boolean writable = true;
    EXPECT_EQ(AudioUnitGetPropertyInfo(Unit(), kAudioUnitProperty_Latency, kAudioUnitScope_Global,
                                       0, &size, nullptr),
              noErr);
    EXPECT_EQ(size, sizeof(Float64));
    EXPECT_EQ(AudioUnitGetPropertyInfo(Unit(), kAudioUnitProperty_MaximumFramesPerSlice,
                                       kAudioUnitScope_Global, 0, nullptr, &writable),
              noErr);
    EXPECT_TRUE(writable);
    EXPECT_EQ(AudioUnitGetPropertyInfo(Unit(), 12345, kAudioUnitScope_Global, 0, nullptr, nullptr),
              kAudioUnitErr_InvalidProperty);

    // A failed information call still stores what it has: nothing.
    size = 99;
    writable = true;
    EXPECT_EQ(AudioUnitGetPropertyInfo(Unit(), 12345, kAudioUnitScope_Global, 0, &size, &writable),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(size, 0u);
    EXPECT_FALSE(writable);
}

TEST_F(DispatchTest, SetPropertyWithoutDataRemovesOrIsRefused)
{
    CFStringRef nick = CFSTR("Lead");
    ASSERT_EQ(AudioUnitSetProperty(Unit(), kAudioUnitProperty_NickName, kAudioUnitScope_Global, 0,
                                   &nick, sizeof(nick)),
              noErr);
    ASSERT_EQ(AudioUnitSetProperty(Unit(), kAudioUnitProperty_NickName, kAudioUnitScope_Global, 0,
                                   nullptr, 0),
              noErr);
    CFStringRef read = CFSTR("not read");
    UInt32 size = sizeof(read);
    EXPECT_EQ(AudioUnitGetProperty(Unit(), kAudioUnitProperty_NickName, kAudioUnitScope_Global, 0,
                                   &read, &size),
              noErr);
    EXPECT_EQ(read, nullptr);

    // An id the base does not serve is removed by the unit's hook.
    EXPECT_EQ(AudioUnitSetProperty(Unit(), 12345, kAudioUnitScope_Global, 0, nullptr, 0),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(Object().mRemoveHookCalls, 1);

    OutputCapture errors(OutputCapture::kStderr);
    EXPECT_EQ(AudioUnitSetProperty(Unit(), kAudioUnitProperty_NickName, kAudioUnitScope_Global, 0,
                                   nullptr, 4),
              kAudio_ParamError);
    EXPECT_EQ(errors.Take().rfind(DebugStringPrefix("AudioUnitSetProperty: inData == NULL"), 0),
              0u);
    EXPECT_EQ(AudioUnitSetProperty(Unit(), kAudioUnitProperty_NickName, kAudioUnitScope_Global, 0,
                                   &nick, 0),
              kAudio_ParamError);
    EXPECT_EQ(errors.Take().rfind(DebugStringPrefix("AudioUnitSetProperty: inDataSize == 0"), 0),
              0u);
    EXPECT_EQ(Object().mRemoveHookCalls, 1);
}

TEST_F(DispatchTest, ParameterReadNeedsAPlaceForTheValue)
{
    ASSERT_EQ(AudioUnitSetParameter(Unit(), 2, kAudioUnitScope_Global, 0, 0.75f, 0), noErr);
    Float32 value = 0;
    EXPECT_EQ(AudioUnitGetParameter(Unit(), 2, kAudioUnitScope_Global, 0, &value), noErr);
    EXPECT_EQ(value, 0.75f);
    EXPECT_EQ(AudioUnitGetParameter(Unit(), 2, kAudioUnitScope_Global, 0, nullptr),
              kAudio_ParamError);
    // A thrown look-up failure becomes the status.
    EXPECT_EQ(AudioUnitGetParameter(Unit(), 2, 9, 0, &value), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(AudioUnitGetParameter(Unit(), 99, kAudioUnitScope_Global, 0, &value),
              kAudioUnitErr_InvalidParameter);
}

TEST_F(DispatchTest, RenderChecksItsPointersAndSuppliesMissingFlags)
{
    ASSERT_EQ(AudioUnitInitialize(Unit()), noErr);
    constexpr UInt32 kFrames = 64;
    StereoBuffers buffers(kFrames);
    AudioTimeStamp time{};
    time.mSampleTime = 512;
    time.mFlags = kAudioTimeStampSampleTimeValid;

    auto lastRenderedSampleTime = [&] {
        Float64 sampleTime = 0;
        UInt32 size = sizeof(sampleTime);
        EXPECT_EQ(AudioUnitGetProperty(Unit(), kAudioUnitProperty_LastRenderSampleTime,
                                       kAudioUnitScope_Global, 0, &sampleTime, &size),
                  noErr);
        return sampleTime;
    };

    EXPECT_EQ(AudioUnitRender(Unit(), nullptr, &time, 0, kFrames, nullptr), kAudio_ParamError);
    EXPECT_EQ(AudioUnitRender(Unit(), nullptr, nullptr, 0, kFrames, &buffers.list),
              kAudio_ParamError);
    EXPECT_EQ(lastRenderedSampleTime(), -1.0) << "a refused render renders nothing";
    EXPECT_EQ(AudioUnitRender(Unit(), nullptr, &time, 0, kFrames, &buffers.list), noErr);
    EXPECT_EQ(lastRenderedSampleTime(), 512.0);
}

TEST_F(DispatchTest, ExceptionsBecomeTheConventionsStatusesAndReleaseTheMutex)
{
    CountingMutex mutex;
    Object().SetMutex(&mutex);
    const UInt32 value = 0;
    UInt32 size = 0;
    const struct {
        HostedTestUnit::ThrowKind kind;
        OSStatus status;
    } cases[] = {{HostedTestUnit::ThrowKind::kStatus, kAudioUnitErr_InvalidElement},
                 {HostedTestUnit::ThrowKind::kBadAlloc, kAudio_MemFullError},
                 {HostedTestUnit::ThrowKind::kOther, -1}};
    for (const auto& c : cases) {
        Object().mThrowKind = c.kind;
        EXPECT_EQ(AudioUnitSetProperty(Unit(), kThrowingProperty, kAudioUnitScope_Global, 0, &value,
                                       sizeof(value)),
                  c.status);
        EXPECT_EQ(AudioUnitGetPropertyInfo(Unit(), kThrowingProperty, kAudioUnitScope_Global, 0,
                                           &size, nullptr),
                  c.status);
        EXPECT_FALSE(mutex.mHeld);
    }
    EXPECT_EQ(mutex.mLocks, 6);
    EXPECT_EQ(mutex.mUnlocks, 6);
    Object().SetMutex(nullptr);
}

namespace {

struct HostCall {
    const char* name;
    bool holdsMutex;
    std::function<void(AudioUnit)> call;
};

OSStatus NoOpNotify(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                    AudioBufferList*)
{
    return noErr;
}

void NoOpListener(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {}

} // namespace

TEST_F(DispatchTest, OnlyCallsOffTheRenderPathHoldTheMutex)
{
    CountingMutex mutex;
    Object().SetMutex(&mutex);
    UInt32 size = 0;
    Float32 value = 0;
    MusicDeviceNoteParams params{2, 60, 100, {}};
    NoteInstanceID note = 0;
    AudioUnitParameterEvent event{};
    event.eventType = kParameterEvent_Immediate;
    const HostCall calls[] = {
        {"Initialize", true, [](AudioUnit u) { AudioUnitInitialize(u); }},
        {"Uninitialize", true, [](AudioUnit u) { AudioUnitUninitialize(u); }},
        {"GetPropertyInfo", true,
         [&](AudioUnit u) { AudioUnitGetPropertyInfo(u, 14, 0, 0, &size, nullptr); }},
        {"GetProperty", true,
         [&](AudioUnit u) {
             UInt32 frames = 0, frameSize = 4;
             AudioUnitGetProperty(u, 14, 0, 0, &frames, &frameSize);
         }},
        {"SetProperty", true,
         [&](AudioUnit u) {
             UInt32 frames = 512;
             AudioUnitSetProperty(u, 14, 0, 0, &frames, 4);
         }},
        {"GetParameter", true, [&](AudioUnit u) { AudioUnitGetParameter(u, 0, 0, 0, &value); }},
        {"Reset", true, [](AudioUnit u) { AudioUnitReset(u, 0, 0); }},
        {"AddPropertyListener", true,
         [](AudioUnit u) { AudioUnitAddPropertyListener(u, 8, &NoOpListener, nullptr); }},
        {"RemovePropertyListener", true,
         [](AudioUnit u) { AudioUnitRemovePropertyListener(u, 8, &NoOpListener); }},
        {"RemovePropertyListenerWithUserData", true,
         [](AudioUnit u) {
             AudioUnitRemovePropertyListenerWithUserData(u, 8, &NoOpListener, nullptr);
         }},
        {"AddRenderNotify", true,
         [](AudioUnit u) { AudioUnitAddRenderNotify(u, &NoOpNotify, nullptr); }},
        {"RemoveRenderNotify", true,
         [](AudioUnit u) { AudioUnitRemoveRenderNotify(u, &NoOpNotify, nullptr); }},
        {"SetParameter", false, [](AudioUnit u) { AudioUnitSetParameter(u, 0, 0, 0, 1.0f, 0); }},
        {"ScheduleParameters", false,
         [&](AudioUnit u) { AudioUnitScheduleParameters(u, &event, 1); }},
        {"Render", false,
         [](AudioUnit u) {
             AudioTimeStamp time{};
             AudioUnitRender(u, nullptr, &time, 0, 0, nullptr);
         }},
        {"MIDIEvent", false, [](AudioUnit u) { MusicDeviceMIDIEvent(u, 0x90, 1, 2, 0); }},
        {"SysEx", false, [](AudioUnit u) { MusicDeviceSysEx(u, nullptr, 0); }},
        {"PrepareInstrument", false, [](AudioUnit u) { MusicDevicePrepareInstrument(u, 0); }},
        {"ReleaseInstrument", false, [](AudioUnit u) { MusicDeviceReleaseInstrument(u, 0); }},
        {"StartNote", false,
         [&](AudioUnit u) { MusicDeviceStartNote(u, 0, 0, &note, 0, &params); }},
        {"StopNote", false, [](AudioUnit u) { MusicDeviceStopNote(u, 0, 0, 0); }},
    };
    for (const HostCall& call : calls) {
        const int locksBefore = mutex.mLocks;
        call.call(Unit());
        EXPECT_EQ(mutex.mLocks - locksBefore, call.holdsMutex ? 1 : 0) << call.name;
        EXPECT_FALSE(mutex.mHeld) << call.name;
    }
    EXPECT_EQ(mutex.mLocks, mutex.mUnlocks);
    Object().SetMutex(nullptr);
}

TEST(CAMutexLocker, TakesAndReleasesOnlyWhatItTook)
{
    class RecursiveTake : public CountingMutex {
    public:
        bool Lock() override
        {
            ++mLocks;
            return false; // already held by this thread
        }
    };
    CountingMutex mutex;
    {
        CAMutex::Locker locker(&mutex);
        EXPECT_TRUE(mutex.mHeld);
    }
    EXPECT_EQ(mutex.mUnlocks, 1);
    RecursiveTake recursive;
    {
        CAMutex::Locker locker(&recursive);
    }
    EXPECT_EQ(recursive.mLocks, 1);
    EXPECT_EQ(recursive.mUnlocks, 0);
    CAMutex::Locker nothing(nullptr);
}

namespace {

constexpr AudioComponentDescription kProcessUnitDesc{FourCC("aufx"), FourCC("Pprc"), FourCC("Plnk"),
                                                     0, 0};
constexpr AudioComponentDescription kOutputUnitDesc{FourCC("auou"), FourCC("Pout"), FourCC("Plnk"),
                                                    0, 0};
const AudioComponent kProcessComponent =
    RegisterOnce(kProcessUnitDesc, CFSTR("Plenko: Process Test"),
                 &APFactory<AUBaseProcessAndMultipleLookup, HostedTestUnit>::Factory);
const AudioComponent kOutputComponent =
    RegisterOnce(kOutputUnitDesc, CFSTR("Plenko: Output Test"),
                 &APFactory<AUComplexOutputLookup, HostedTestUnit>::Factory);

} // namespace

TEST(ProcessAdapters, CheckTheirPointersUnlessTheHostVouchesForTheBuffers)
{
    HostedInstance instance(kProcessComponent);
    ASSERT_EQ(instance.OpenStatus(), noErr);
    ASSERT_EQ(AudioUnitInitialize(instance.Unit()), noErr);
    constexpr UInt32 kFrames = 32;
    StereoBuffers buffers(kFrames);
    AudioTimeStamp time{};
    time.mSampleTime = 64;
    AudioUnitRenderActionFlags flags = 0;
    AudioUnitRenderActionFlags vouched = kAudioUnitRenderAction_DoNotCheckRenderArgs;

    // The unit's processing hook is the base's: reaching it answers -4.
    EXPECT_EQ(AudioUnitProcess(instance.Unit(), &flags, &time, kFrames, &buffers.list),
              kAudio_UnimplementedError);
    EXPECT_EQ(AudioUnitProcess(instance.Unit(), nullptr, &time, kFrames, nullptr),
              kAudio_ParamError);
    EXPECT_EQ(AudioUnitProcess(instance.Unit(), &flags, nullptr, kFrames, &buffers.list),
              kAudio_ParamError);
    // What the adapter itself must read is checked even when the host vouches.
    EXPECT_EQ(AudioUnitProcess(instance.Unit(), &vouched, nullptr, kFrames, &buffers.list),
              kAudio_ParamError);

    const AudioBufferList* inputs[] = {&buffers.list};
    AudioBufferList* outputs[] = {&buffers.list};
    time.mSampleTime = 128;
    EXPECT_EQ(
        AudioUnitProcessMultiple(instance.Unit(), &flags, &time, kFrames, 1, inputs, 1, outputs),
        kAudio_UnimplementedError);
    EXPECT_EQ(
        AudioUnitProcessMultiple(instance.Unit(), nullptr, &time, kFrames, 1, nullptr, 1, outputs),
        kAudio_ParamError);
    time.mSampleTime = 192;
    EXPECT_EQ(
        AudioUnitProcessMultiple(instance.Unit(), &vouched, &time, kFrames, 0, nullptr, 0, nullptr),
        kAudio_UnimplementedError);
}

TEST(OutputAdapters, StartStopAndComplexRenderReachTheUnit)
{
    HostedInstance instance(kOutputComponent);
    ASSERT_EQ(instance.OpenStatus(), noErr);
    AudioBufferList list{};
    AudioTimeStamp time{};
    UInt32 packets = 0;
    EXPECT_EQ(AudioOutputUnitStart(instance.Unit()), kAudio_UnimplementedError);
    EXPECT_EQ(AudioOutputUnitStop(instance.Unit()), kAudio_UnimplementedError);
    EXPECT_EQ(AudioUnitComplexRender(instance.Unit(), nullptr, &time, 0, 1, &packets, nullptr,
                                     nullptr, nullptr, nullptr),
              kAudio_ParamError);
    EXPECT_EQ(AudioUnitComplexRender(instance.Unit(), nullptr, &time, 0, 1, &packets, nullptr,
                                     &list, nullptr, nullptr),
              kAudio_UnimplementedError);
    EXPECT_EQ(MusicDeviceMIDIEvent(instance.Unit(), 0x90, 1, 2, 0), kAudio_UnimplementedError);
    EXPECT_EQ(instance.Object().mMIDIEvents, 0);
}
