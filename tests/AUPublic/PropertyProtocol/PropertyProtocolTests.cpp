// The shared properties of every unit through the host calls: their sizes, checks with their
// diagnostic lines and statuses, values, removal, and the listeners that hear of changes.
#include "HostedTestUnit.h"

#include "CFLeakCheck.h"
#include "OutputCapture.h"

#include <CoreFoundation/CFNumber.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace hosted_test;

namespace {

constexpr AudioUnitPropertyID kLastRenderedSampleTime = 0x6C727374; // 'lrst'

struct Notification {
    void* refCon;
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
};

std::vector<Notification> sNotifications;

void RecordingListener(void* refCon, AudioUnit, AudioUnitPropertyID id, AudioUnitScope scope,
                       AudioUnitElement element)
{
    sNotifications.push_back({refCon, id, scope, element});
}

size_t NotificationsFor(AudioUnitPropertyID id)
{
    size_t count = 0;
    for (const Notification& n : sNotifications)
        count += n.id == id ? 1 : 0;
    return count;
}

// "ca_require: condition label file:" with the line left out.
std::string RequireLine(const std::string& condition, const std::string& label)
{
    return "ca_require: " + condition + " " + label + " AUPublic/AUBase/AUBaseProperties.cpp:";
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.rfind(prefix, 0) == 0;
}

class PropertyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(mInstance.OpenStatus(), noErr);
        sNotifications.clear();
    }

    AudioUnit Unit() const { return mInstance.Unit(); }
    HostedTestUnit& Object() const { return mInstance.Object(); }

    template <class T>
    OSStatus Set(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                 const T& value, UInt32 size = sizeof(T))
    {
        return AudioUnitSetProperty(Unit(), id, scope, element, &value, size);
    }
    template <class T>
    OSStatus Get(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, T& value)
    {
        UInt32 size = sizeof(T);
        return AudioUnitGetProperty(Unit(), id, scope, element, &value, &size);
    }
    OSStatus Info(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                  UInt32& size, Boolean& writable)
    {
        return AudioUnitGetPropertyInfo(Unit(), id, scope, element, &size, &writable);
    }

    HostedInstance mInstance;
};

} // namespace

TEST_F(PropertyTest, InformationChecksScopeThenElementWithTheirLines)
{
    UInt32 size = 0;
    Boolean writable = false;
    OutputCapture errors(OutputCapture::kStderr);
    EXPECT_EQ(Info(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Input, 0, size, writable),
              kAudioUnitErr_InvalidScope);
    EXPECT_TRUE(StartsWith(errors.Take(),
                           RequireLine("inScope == kAudioUnitScope_Global", "InvalidScope")));

    EXPECT_EQ(Info(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 5, size, writable),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(Info(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 5, size, writable),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(Info(kAudioUnitProperty_ElementName, kAudioUnitScope_Group, 3, size, writable),
              kAudioUnitErr_InvalidElement);
    EXPECT_TRUE(StartsWith(
        errors.Take(), RequireLine("GetElement(inScope, inElement) != NULL", "InvalidElement")));

    EXPECT_EQ(Info(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Output, 0, size, writable),
              kAudioUnitErr_InvalidScope);
    EXPECT_TRUE(StartsWith(
        errors.Take(),
        RequireLine("inScope == kAudioUnitScope_Input || inScope == kAudioUnitScope_Global",
                    "InvalidScope")));
    EXPECT_EQ(
        Info(kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Global, 0, size, writable),
        kAudioUnitErr_InvalidScope);
    EXPECT_TRUE(StartsWith(
        errors.Take(),
        RequireLine("(inScope == kAudioUnitScope_Input || inScope == kAudioUnitScope_Output)",
                    "InvalidScope")));

    // A scope that names no scope at all fails in the element look-up.
    EXPECT_EQ(Info(kAudioUnitProperty_ElementName, 9, 0, size, writable),
              kAudioUnitErr_InvalidScope);
}

TEST_F(PropertyTest, InformationReportsSizesAndWritability)
{
    UInt32 size = 0;
    Boolean writable = true;
    ASSERT_EQ(Info(kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, size, writable),
              noErr);
    EXPECT_EQ(size, 4 * kGlobalParameters);
    EXPECT_FALSE(writable);

    ASSERT_EQ(Info(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, size, writable),
              noErr);
    EXPECT_EQ(size, 40u);
    EXPECT_TRUE(writable);
    Object().mStreamFormatWritable = false;
    ASSERT_EQ(Info(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, size, writable),
              noErr);
    EXPECT_EQ(size, 8u);
    EXPECT_FALSE(writable);

    EXPECT_EQ(
        Info(kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0, size, writable),
        kAudioUnitErr_InvalidProperty);
    Object().mChannelEntries = 2;
    ASSERT_EQ(
        Info(kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0, size, writable),
        noErr);
    EXPECT_EQ(size, 8u);
    AUChannelInfo channels[2]{};
    ASSERT_EQ(Get(kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0, channels),
              noErr);
    EXPECT_EQ(channels[1].outChannels, 2);

    EXPECT_EQ(Info(kAudioUnitProperty_TailTime, kAudioUnitScope_Global, 0, size, writable),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(Info(kAudioUnitProperty_IconLocation, kAudioUnitScope_Global, 0, size, writable),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(Info(kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0, size, writable),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(Info(kAudioUnitProperty_SupportedChannelLayoutTags, kAudioUnitScope_Output, 0, size,
                   writable),
              kAudioUnitErr_InvalidProperty);
    // No layout and no tags: the property is not offered.
    EXPECT_EQ(
        Info(kAudioUnitProperty_AudioChannelLayout, kAudioUnitScope_Output, 0, size, writable),
        kAudioUnitErr_InvalidProperty);
}

TEST_F(PropertyTest, LastRenderErrorIsReadOnce)
{
    Object().SetRenderError(-1234);
    OSStatus error = 0;
    ASSERT_EQ(Get(kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0, error), noErr);
    EXPECT_EQ(error, -1234);
    ASSERT_EQ(Get(kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0, error), noErr);
    EXPECT_EQ(error, noErr);
}

TEST_F(PropertyTest, StreamFormatWritesAreValidatedComparedAndNotified)
{
    ASSERT_EQ(AudioUnitAddPropertyListener(Unit(), kAudioUnitProperty_StreamFormat,
                                           &RecordingListener, nullptr),
              noErr);
    AudioStreamBasicDescription current{};
    ASSERT_EQ(Get(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, current), noErr);

    EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, current), noErr);
    EXPECT_EQ(Object().mFormatChanges, 0);
    EXPECT_EQ(NotificationsFor(kAudioUnitProperty_StreamFormat), 0u);

    OutputCapture errors(OutputCapture::kStderr);
    EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, current, 35),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(errors.Take(), "");

    // Only the first 36 bytes are taken; the reserved field stays 0.
    AudioStreamBasicDescription mono = current;
    mono.mChannelsPerFrame = 1;
    mono.mReserved = 7;
    EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, mono), noErr);
    AudioStreamBasicDescription stored{};
    ASSERT_EQ(Get(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, stored), noErr);
    EXPECT_EQ(stored.mChannelsPerFrame, 1u);
    EXPECT_EQ(stored.mReserved, 0u);
    EXPECT_EQ(Object().mFormatChanges, 1);
    ASSERT_EQ(sNotifications.size(), 1u);
    EXPECT_EQ(sNotifications[0].scope, kAudioUnitScope_Output);

    AudioStreamBasicDescription integer = current;
    integer.mFormatFlags = 0;
    EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, integer),
              kAudioUnitErr_FormatNotSupported);
    EXPECT_TRUE(StartsWith(
        errors.Take(), RequireLine("ValidFormat(inScope, inElement, newDesc)", "InvalidFormat")));

    Object().mStreamFormatWritable = false;
    EXPECT_EQ(Set(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, Float64(48000)),
              kAudioUnitErr_PropertyNotWritable);
    EXPECT_TRUE(StartsWith(
        errors.Take(), RequireLine("IsStreamFormatWritable(inScope, inElement)", "NotWritable")));
    Object().mStreamFormatWritable = true;
    EXPECT_EQ(Set(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, Float64(48000)), noErr);
    Float64 rate = 0;
    ASSERT_EQ(Get(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, rate), noErr);
    EXPECT_EQ(rate, 48000.0);
    EXPECT_EQ(Set(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, Float32(48000)),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_TRUE(StartsWith(errors.Take(),
                           RequireLine("inDataSize == sizeof(Float64)", "InvalidPropertyValue")));
}

TEST_F(PropertyTest, StateDependentWritesAreRefusedWithTheirStatuses)
{
    ASSERT_EQ(AudioUnitInitialize(Unit()), noErr);
    OutputCapture errors(OutputCapture::kStderr);
    EXPECT_EQ(Set(kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Output, 0, UInt32(0)),
              kAudioUnitErr_Initialized);
    EXPECT_TRUE(StartsWith(errors.Take(), RequireLine("!IsInitialized()", "Initialized")));
    EXPECT_EQ(Set(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, UInt32(256)),
              kAudioUnitErr_Initialized);
    UInt32 frames = 0;
    ASSERT_EQ(Get(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, frames),
              noErr);
    EXPECT_EQ(frames, AUBase::kDefaultMaxFramesPerSlice);

    // Lent memory must suit vector loads.
    alignas(16) static Byte memory[1 << 16];
    EXPECT_EQ(Set(kAudioUnitProperty_SetExternalBuffer, kAudioUnitScope_Output, 0,
                  AudioUnitExternalBuffer{memory + 4, 4096}),
              kAudio_ParamError);
    EXPECT_EQ(Set(kAudioUnitProperty_SetExternalBuffer, kAudioUnitScope_Output, 0,
                  AudioUnitExternalBuffer{memory, sizeof(memory)}),
              noErr);

    ASSERT_EQ(AudioUnitUninitialize(Unit()), noErr);
    EXPECT_EQ(Set(kAudioUnitProperty_SetExternalBuffer, kAudioUnitScope_Output, 0,
                  AudioUnitExternalBuffer{memory, sizeof(memory)}),
              kAudioUnitErr_Uninitialized);
    EXPECT_TRUE(StartsWith(errors.Take(), RequireLine("IsInitialized()", "Uninitialized")));
    EXPECT_EQ(Set(kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Output, 0, UInt32(0)),
              noErr);
    UInt32 allocates = 1;
    ASSERT_EQ(Get(kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Output, 0, allocates),
              noErr);
    EXPECT_EQ(allocates, 0u);
    EXPECT_EQ(Set(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, UInt32(256)),
              noErr);
    ASSERT_EQ(Get(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, frames),
              noErr);
    EXPECT_EQ(frames, 256u);
}

TEST_F(PropertyTest, PresentPresetNeedsANameForAUserPreset)
{
    ASSERT_EQ(AudioUnitAddPropertyListener(Unit(), kAudioUnitProperty_PresentPreset,
                                           &RecordingListener, nullptr),
              noErr);
    EXPECT_EQ(
        Set(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, AUPreset{-1, nullptr}),
        kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(Set(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0,
                  AUPreset{3, CFSTR("Factory")}),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(Object().mFactoryPresetCalls, 1);
    EXPECT_EQ(NotificationsFor(kAudioUnitProperty_PresentPreset), 0u);

    EXPECT_EQ(Set(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0,
                  AUPreset{-5, CFSTR("Mine")}),
              noErr);
    EXPECT_EQ(NotificationsFor(kAudioUnitProperty_PresentPreset), 1u);
    AUPreset current{};
    ASSERT_EQ(Get(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, current), noErr);
    EXPECT_EQ(current.presetNumber, -5);
    EXPECT_TRUE(CFEqual(current.presetName, CFSTR("Mine")));
    CFRelease(current.presetName);

    // Something that is not a string is not taken as a name.
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &current.presetNumber);
    EXPECT_EQ(Set(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0,
                  AUPreset{-1, reinterpret_cast<CFStringRef>(number)}),
              kAudioUnitErr_InvalidPropertyValue);
    CFRelease(number);
}

TEST_F(PropertyTest, HostCallbacksNotifyOnlyWhenTheyChange)
{
    ASSERT_EQ(AudioUnitAddPropertyListener(Unit(), kAudioUnitProperty_HostCallbacks,
                                           &RecordingListener, nullptr),
              noErr);
    HostCallbackInfo callbacks{};
    callbacks.hostUserData = &callbacks;
    EXPECT_EQ(Set(kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, callbacks), noErr);
    EXPECT_EQ(Set(kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, callbacks), noErr);
    EXPECT_EQ(NotificationsFor(kAudioUnitProperty_HostCallbacks), 1u);

    // A shorter table clears the rest.
    HostCallbackInfo read{};
    std::memset(&read, 0xFF, sizeof(read));
    EXPECT_EQ(Set(kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, read, 8), noErr);
    ASSERT_EQ(Get(kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, read), noErr);
    EXPECT_EQ(read.beatAndTempoProc, nullptr);
    EXPECT_EQ(NotificationsFor(kAudioUnitProperty_HostCallbacks), 2u);

    EXPECT_EQ(AudioUnitSetProperty(Unit(), kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global,
                                   0, nullptr, 0),
              noErr);
    EXPECT_EQ(AudioUnitSetProperty(Unit(), kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global,
                                   0, nullptr, 0),
              noErr);
    EXPECT_EQ(NotificationsFor(kAudioUnitProperty_HostCallbacks), 3u);
    ASSERT_EQ(Get(kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, read), noErr);
    EXPECT_EQ(read.hostUserData, nullptr);
}

TEST_F(PropertyTest, AShorterHostCallbackTableThatClearsTheRestIsAChange)
{
    HostCallbackInfo callbacks{};
    callbacks.hostUserData = &callbacks;
    std::memset(&callbacks.beatAndTempoProc, 0x11, sizeof(callbacks.beatAndTempoProc));
    ASSERT_EQ(Set(kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, callbacks), noErr);
    ASSERT_EQ(AudioUnitAddPropertyListener(Unit(), kAudioUnitProperty_HostCallbacks,
                                           &RecordingListener, nullptr),
              noErr);
    // The same user data alone: the procedure behind it is gone.
    EXPECT_EQ(Set(kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, callbacks,
                  sizeof(callbacks.hostUserData)),
              noErr);
    HostCallbackInfo read{};
    ASSERT_EQ(Get(kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, read), noErr);
    EXPECT_EQ(read.beatAndTempoProc, nullptr);
    EXPECT_EQ(NotificationsFor(kAudioUnitProperty_HostCallbacks), 1u);
}

TEST_F(PropertyTest, NamesAreRetainedHandedOutRetainedAndRemoved)
{
    CFStringRef nick = CFStringCreateWithCString(nullptr, "Lead", kCFStringEncodingUTF8);
    ASSERT_EQ(Set(kAudioUnitProperty_NickName, kAudioUnitScope_Global, 0, nick), noErr);
    CFRelease(nick); // the unit keeps its own reference
    CFStringRef read = nullptr;
    ASSERT_EQ(Get(kAudioUnitProperty_NickName, kAudioUnitScope_Global, 0, read), noErr);
    EXPECT_TRUE(CFEqual(read, CFSTR("Lead")));
    CFRelease(read);

    EXPECT_EQ(AudioUnitSetProperty(Unit(), kAudioUnitProperty_NickName, kAudioUnitScope_Output, 0,
                                   nullptr, 0),
              kAudioUnitErr_InvalidScope);
    ASSERT_EQ(Get(kAudioUnitProperty_NickName, kAudioUnitScope_Global, 0, read), noErr);
    EXPECT_NE(read, nullptr) << "a refused removal keeps the nickname";
    CFRelease(read);

    OutputCapture errors(OutputCapture::kStderr);
    EXPECT_EQ(Set(kAudioUnitProperty_ContextName, kAudioUnitScope_Global, 0, CFSTR("Track 1"), 4),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_TRUE(StartsWith(
        errors.Take(), RequireLine("inDataSize == sizeof(CFStringRef)", "InvalidPropertyValue")));
    ASSERT_EQ(Set(kAudioUnitProperty_ContextName, kAudioUnitScope_Global, 0, CFSTR("Track 1")),
              noErr);
    ASSERT_EQ(Get(kAudioUnitProperty_ContextName, kAudioUnitScope_Global, 0, read), noErr);
    EXPECT_TRUE(CFEqual(read, CFSTR("Track 1")));
    CFRelease(read);
    EXPECT_EQ(AudioUnitSetProperty(Unit(), kAudioUnitProperty_ContextName, kAudioUnitScope_Output,
                                   0, nullptr, 0),
              noErr); // no scope check on removal
    EXPECT_EQ(Get(kAudioUnitProperty_ContextName, kAudioUnitScope_Global, 0, read),
              kAudioUnitErr_InvalidPropertyValue);

    EXPECT_EQ(Set(kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 0, CFSTR("Sidechain")),
              noErr);
    ASSERT_EQ(Get(kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 0, read), noErr);
    EXPECT_TRUE(CFEqual(read, CFSTR("Sidechain")));
    CFRelease(read);
    EXPECT_EQ(Get(kAudioUnitProperty_ElementName, kAudioUnitScope_Output, 0, read),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(Set(kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 4, CFSTR("x")),
              kAudioUnitErr_InvalidElement);
    EXPECT_TRUE(StartsWith(
        errors.Take(), RequireLine("GetElement(inScope, inElement) != NULL", "InvalidElement")));
}

TEST_F(PropertyTest, PlainRemoveOfAListenerRemovesEveryRegistrationOfItsProcedure)
{
    int first = 0, second = 0;
    ASSERT_EQ(AudioUnitAddPropertyListener(Unit(), kAudioUnitProperty_StreamFormat,
                                           &RecordingListener, &first),
              noErr);
    ASSERT_EQ(AudioUnitAddPropertyListener(Unit(), kAudioUnitProperty_StreamFormat,
                                           &RecordingListener, &second),
              noErr);
    const Float64 rates[] = {22050, 32000, 48000};
    ASSERT_EQ(Set(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, rates[0]), noErr);
    ASSERT_EQ(sNotifications.size(), 2u);
    EXPECT_EQ(sNotifications[0].refCon, &first);
    EXPECT_EQ(sNotifications[1].refCon, &second);

    ASSERT_EQ(AudioUnitRemovePropertyListenerWithUserData(Unit(), kAudioUnitProperty_StreamFormat,
                                                          &RecordingListener, &first),
              noErr);
    ASSERT_EQ(Set(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, rates[1]), noErr);
    ASSERT_EQ(sNotifications.size(), 3u);
    EXPECT_EQ(sNotifications[2].refCon, &second);

    ASSERT_EQ(AudioUnitAddPropertyListener(Unit(), kAudioUnitProperty_StreamFormat,
                                           &RecordingListener, &first),
              noErr);
    ASSERT_EQ(AudioUnitRemovePropertyListener(Unit(), kAudioUnitProperty_StreamFormat,
                                              &RecordingListener),
              noErr);
    ASSERT_EQ(Set(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, rates[2]), noErr);
    EXPECT_EQ(sNotifications.size(), 3u);
}

TEST_F(PropertyTest, AListenerWithoutAProcedureIsRefused)
{
    ASSERT_EQ(AudioUnitAddPropertyListener(Unit(), kAudioUnitProperty_NickName, nullptr, nullptr),
              kAudio_ParamError);
    ASSERT_EQ(AudioUnitAddPropertyListener(Unit(), kAudioUnitProperty_NickName, &RecordingListener,
                                           nullptr),
              noErr);
    EXPECT_EQ(Set(kAudioUnitProperty_NickName, kAudioUnitScope_Global, 0, CFSTR("Bass")), noErr);
    EXPECT_EQ(NotificationsFor(kAudioUnitProperty_NickName), 1u);
}

TEST_F(PropertyTest, BusCountAndLayoutWritesCheckTheirSizesSafely)
{
    OutputCapture errors(OutputCapture::kStderr);
    EXPECT_EQ(Set(kAudioUnitProperty_ElementCount, kAudioUnitScope_Global, 0, UInt32(2)),
              kAudioUnitErr_PropertyNotWritable);
    EXPECT_TRUE(StartsWith(errors.Take(), RequireLine("BusCountWritable(inScope)", "NotWritable")));
    ASSERT_EQ(AudioUnitAddPropertyListener(Unit(), kAudioUnitProperty_ElementCount,
                                           &RecordingListener, nullptr),
              noErr);
    EXPECT_EQ(Set(kAudioUnitProperty_ElementCount, kAudioUnitScope_Input, 0, UInt32(3)), noErr);
    UInt32 count = 0;
    ASSERT_EQ(Get(kAudioUnitProperty_ElementCount, kAudioUnitScope_Input, 0, count), noErr);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(NotificationsFor(kAudioUnitProperty_ElementCount), 1u);

    // A header claiming more descriptions than were sent is refused before anything reads
    // them, however large the claim.
    const std::string layoutLine =
        RequireLine("inDataSize >= headerSize + layout->mNumberChannelDescriptions * "
                    "sizeof(AudioChannelDescription)",
                    "InvalidPropertyValue");
    AudioChannelLayout layout{};
    layout.mNumberChannelDescriptions = 0xFFFFFFFF;
    EXPECT_EQ(Set(kAudioUnitProperty_AudioChannelLayout, kAudioUnitScope_Output, 0, layout),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_TRUE(StartsWith(errors.Take(), layoutLine));
    EXPECT_EQ(Set(kAudioUnitProperty_AudioChannelLayout, kAudioUnitScope_Output, 0, layout, 8),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_TRUE(StartsWith(errors.Take(), layoutLine));
}

TEST_F(PropertyTest, ClassInfoAndRenderTimeChecks)
{
    OutputCapture errors(OutputCapture::kStderr);
    CFPropertyListRef state = nullptr;
    EXPECT_EQ(Set(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, state, 4),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_TRUE(StartsWith(errors.Take(), RequireLine("inDataSize == sizeof(CFPropertyListRef *)",
                                                      "InvalidPropertyValue")));
    EXPECT_EQ(Set(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, state),
              kAudioUnitErr_InvalidPropertyValue);

    Float64 sampleTime = 0;
    ASSERT_EQ(Get(kLastRenderedSampleTime, kAudioUnitScope_Global, 0, sampleTime), noErr);
    EXPECT_EQ(sampleTime, -1.0);
    Float64 latency = 1;
    ASSERT_EQ(Get(kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, latency), noErr);
    EXPECT_EQ(latency, 0.0);
}

TEST_F(PropertyTest, ConnectionsAndInputCallbacksReachTheInputAndItsListeners)
{
    for (AudioUnitPropertyID id :
         {kAudioUnitProperty_MakeConnection, kAudioUnitProperty_SetRenderCallback})
        ASSERT_EQ(AudioUnitAddPropertyListener(Unit(), id, &RecordingListener, nullptr), noErr);

    OutputCapture errors(OutputCapture::kStderr);
    const AudioUnitConnection disconnect{nullptr, 0, 0};
    EXPECT_EQ(Set(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, disconnect, 12),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_TRUE(StartsWith(errors.Take(), RequireLine("inDataSize >= sizeof(AudioUnitConnection)",
                                                      "InvalidPropertyValue")));
    EXPECT_EQ(Set(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, disconnect), noErr);
    EXPECT_EQ(Set(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0,
                  AudioUnitConnection{nullptr, 0, 3}),
              kAudioUnitErr_InvalidElement);

    const AURenderCallbackStruct callback{nullptr, nullptr};
    EXPECT_EQ(Set(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, callback, 8),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_TRUE(
        StartsWith(errors.Take(), RequireLine("inDataSize >= sizeof(AURenderCallbackStruct)",
                                              "InvalidPropertyValue")));
    // The scope of the write is not examined: the callback always feeds an input.
    EXPECT_EQ(Set(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Global, 0, callback),
              noErr);

    ASSERT_EQ(sNotifications.size(), 2u);
    EXPECT_EQ(sNotifications[0].id, kAudioUnitProperty_MakeConnection);
    EXPECT_EQ(sNotifications[1].id, kAudioUnitProperty_SetRenderCallback);
    EXPECT_EQ(sNotifications[1].scope, kAudioUnitScope_Input);
}
