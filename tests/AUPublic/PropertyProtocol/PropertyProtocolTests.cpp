// The shared properties of every unit through the host calls: their sizes, checks with their
// diagnostic lines and statuses, values, removal, and the listeners that hear of changes.
#include "HostedTestUnit.h"

#include "CFLeakCheck.h"
#include "CFText.h"
#include "OutputCapture.h"

#include <CoreFoundation/CFNumber.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

using namespace hosted_test;

namespace {

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

// The scopes a shared property lives in (none: any), and the condition its refusal names.
struct Home {
    std::set<AudioUnitScope> scopes;
    const char* condition;
    bool Accepts(AudioUnitScope scope) const { return scopes.empty() || scopes.count(scope) != 0; }
};

const Home kAnyScope{{}, ""};
const Home kGlobal{{kAudioUnitScope_Global}, "inScope == kAudioUnitScope_Global"};
const Home kInputOrGlobal{{kAudioUnitScope_Input, kAudioUnitScope_Global},
                          "inScope == kAudioUnitScope_Input || inScope == kAudioUnitScope_Global"};
const Home kInputOrOutput{
    {kAudioUnitScope_Input, kAudioUnitScope_Output},
    "(inScope == kAudioUnitScope_Input || inScope == kAudioUnitScope_Output)"};

// What the information of one shared property answers for the test unit, asked in a scope the
// property lives in, element 0.
struct InfoRow {
    AudioUnitPropertyID id;
    const Home& home;
    OSStatus status;
    UInt32 size;
    bool writable;
    bool elementChecked;
    AudioUnitScope asked = kAudioUnitScope_Global;
};

constexpr OSStatus kNotOffered = kAudioUnitErr_InvalidProperty;

// The test unit: six global parameters, two channel configurations, writable formats, bus
// counts writable only in the input and output scopes; no tail, presets, value strings,
// layouts or icon.
const InfoRow kInfoRows[] = {
    {kAudioUnitProperty_ClassInfo, kGlobal, noErr, 8, true, true},
    {kAudioUnitProperty_MakeConnection, kInputOrGlobal, noErr, 16, true, true},
    {kAudioUnitProperty_SampleRate, kAnyScope, noErr, 8, true, true},
    {kAudioUnitProperty_ParameterList, kAnyScope, noErr, 4 * kGlobalParameters, false, false},
    {kAudioUnitProperty_ParameterInfo, kAnyScope, noErr, 104, false, false},
    {kAudioUnitProperty_StreamFormat, kAnyScope, noErr, 40, true, true},
    {kAudioUnitProperty_ElementCount, kAnyScope, noErr, 4, false, false},
    {kAudioUnitProperty_Latency, kGlobal, noErr, 8, false, true},
    {kAudioUnitProperty_SupportedNumChannels, kGlobal, noErr, 8, false, true},
    {kAudioUnitProperty_MaximumFramesPerSlice, kGlobal, noErr, 4, true, true},
    {kAudioUnitProperty_ParameterValueStrings, kAnyScope, kNotOffered, 0, false, false},
    {kAudioUnitProperty_AudioChannelLayout, kAnyScope, kNotOffered, 0, false, false,
     kAudioUnitScope_Output},
    {kAudioUnitProperty_TailTime, kGlobal, kNotOffered, 0, false, true},
    {kAudioUnitProperty_LastRenderError, kGlobal, noErr, 4, false, true},
    {kAudioUnitProperty_SetRenderCallback, kInputOrGlobal, noErr, 16, true, true},
    {kAudioUnitProperty_FactoryPresets, kGlobal, kNotOffered, 0, false, true},
    {kAudioUnitProperty_ContextName, kGlobal, noErr, 8, true, true},
    {kAudioUnitProperty_HostCallbacks, kGlobal, noErr, 40, true, true},
    {kAudioUnitProperty_ElementName, kAnyScope, noErr, 8, true, true},
    {kAudioUnitProperty_SupportedChannelLayoutTags, kAnyScope, kNotOffered, 0, false, false,
     kAudioUnitScope_Output},
    {kAudioUnitProperty_ParameterClumpName, kAnyScope, noErr, 16, false, true},
    {kAudioUnitProperty_PresentPreset, kGlobal, noErr, 16, true, true},
    {kAudioUnitProperty_IconLocation, kGlobal, kNotOffered, 0, false, true},
    {kAudioUnitProperty_ShouldAllocateBuffer, kInputOrOutput, noErr, 4, true, true,
     kAudioUnitScope_Input},
    {kAudioUnitProperty_ParameterHistoryInfo, kAnyScope, noErr, 8, false, false},
    {kAudioUnitProperty_NickName, kGlobal, noErr, 8, true, true},
    {kAudioUnitProperty_LastRenderSampleTime, kAnyScope, noErr, 8, false, true},
};

constexpr AudioUnitScope kScopes[] = {kAudioUnitScope_Global, kAudioUnitScope_Input,
                                      kAudioUnitScope_Output, kAudioUnitScope_Group};
constexpr AudioUnitElement kMissingElement = 7;

} // namespace

TEST_F(PropertyTest, InformationFollowsEachPropertysRow)
{
    Object().mChannelEntries = 2;
    OutputCapture errors(OutputCapture::kStderr);
    for (const InfoRow& row : kInfoRows) {
        SCOPED_TRACE(testing::Message() << "property " << row.id);
        UInt32 size = 0;
        Boolean writable = false;
        ASSERT_EQ(Info(row.id, row.asked, 0, size, writable), row.status);
        if (row.status == noErr) {
            EXPECT_EQ(size, row.size);
            EXPECT_EQ(bool(writable), row.writable);
        }
        for (AudioUnitScope scope : kScopes) {
            if (row.home.Accepts(scope))
                continue;
            errors.Take();
            EXPECT_EQ(Info(row.id, scope, 0, size, writable), kAudioUnitErr_InvalidScope);
            EXPECT_TRUE(StartsWith(errors.Take(), RequireLine(row.home.condition, "InvalidScope")))
                << "scope " << scope;
        }
        if (row.status != noErr)
            continue;
        errors.Take();
        EXPECT_EQ(Info(row.id, row.asked, kMissingElement, size, writable),
                  row.elementChecked ? kAudioUnitErr_InvalidElement : OSStatus(noErr));
        EXPECT_EQ(StartsWith(errors.Take(), RequireLine("GetElement(inScope, inElement) != NULL",
                                                        "InvalidElement")),
                  row.elementChecked);
    }

    // Writability that follows the unit, and scopes that do not exist at all.
    UInt32 size = 0;
    Boolean writable = true;
    Object().mStreamFormatWritable = false;
    ASSERT_EQ(Info(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, size, writable),
              noErr);
    EXPECT_FALSE(writable);
    ASSERT_EQ(Info(kAudioUnitProperty_ElementCount, kAudioUnitScope_Input, 0, size, writable),
              noErr);
    EXPECT_TRUE(writable);
    EXPECT_EQ(Info(kAudioUnitProperty_ElementName, 9, 0, size, writable),
              kAudioUnitErr_InvalidScope);
    // An input's format is writable only while it has no connection: the missing input throws.
    EXPECT_EQ(Info(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 5, size, writable),
              kAudioUnitErr_InvalidElement);

    AUChannelInfo channels[2]{};
    ASSERT_EQ(Get(kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0, channels),
              noErr);
    EXPECT_EQ(channels[1].outChannels, 2);
}

TEST_F(PropertyTest, GlobalOnlyPropertiesRefuseTheOtherScopesAndStoreNothing)
{
    Object().mChannelEntries = 2;
    ASSERT_EQ(Set(kAudioUnitProperty_NickName, kAudioUnitScope_Global, 0, CFSTR("Nick")), noErr);
    ASSERT_EQ(Set(kAudioUnitProperty_ContextName, kAudioUnitScope_Global, 0, CFSTR("Context")),
              noErr);
    Object().SetRenderError(-1234);
    // A saved state whose parameter 0 differs from the unit's.
    ASSERT_EQ(AudioUnitSetParameter(Unit(), 0, kAudioUnitScope_Global, 0, 0.25f, 0), noErr);
    CFPropertyListRef state = nullptr;
    ASSERT_EQ(Get(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, state), noErr);
    ASSERT_EQ(AudioUnitSetParameter(Unit(), 0, kAudioUnitScope_Global, 0, 0.75f, 0), noErr);
    HostCallbackInfo callbacks{};
    callbacks.hostUserData = &callbacks;

    auto name = [this](AudioUnitPropertyID id) {
        CFStringRef read = nullptr;
        Get(id, kAudioUnitScope_Global, 0, read);
        const std::string text = TextOf(read);
        if (read != nullptr)
            CFRelease(read);
        return text;
    };
    using Write = std::function<OSStatus(AudioUnitScope)>;
    // Each row: a valid write (none for a property the host cannot write) and what the global
    // scope holds of it.
    const struct {
        AudioUnitPropertyID id;
        Write write;
        std::function<std::string()> stored;
    } rows[] = {
        {kAudioUnitProperty_ClassInfo,
         [&](AudioUnitScope scope) { return Set(kAudioUnitProperty_ClassInfo, scope, 0, state); },
         [&] { return std::to_string(Object().Globals()->GetParameter(0)); }},
        {kAudioUnitProperty_Latency, nullptr, nullptr},
        {kAudioUnitProperty_SupportedNumChannels, nullptr, nullptr},
        // Its write checks no scope.
        {kAudioUnitProperty_MaximumFramesPerSlice, nullptr, nullptr},
        {kAudioUnitProperty_TailTime, nullptr, nullptr},
        {kAudioUnitProperty_LastRenderError, nullptr,
         [&] { return std::to_string(Object().LastRenderError()); }},
        {kAudioUnitProperty_FactoryPresets, nullptr, nullptr},
        {kAudioUnitProperty_ContextName,
         [&](AudioUnitScope scope) {
             return Set(kAudioUnitProperty_ContextName, scope, 0, CFSTR("Other"));
         },
         [&] { return name(kAudioUnitProperty_ContextName); }},
        {kAudioUnitProperty_HostCallbacks,
         [&](AudioUnitScope scope) {
             return Set(kAudioUnitProperty_HostCallbacks, scope, 0, callbacks);
         },
         [&] {
             HostCallbackInfo read{};
             Get(kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, read);
             return std::to_string(reinterpret_cast<uintptr_t>(read.hostUserData));
         }},
        {kAudioUnitProperty_PresentPreset,
         [&](AudioUnitScope scope) {
             return Set(kAudioUnitProperty_PresentPreset, scope, 0, AUPreset{-5, CFSTR("Mine")});
         },
         [&] { return TextOf(Object().CurrentPreset().presetName); }},
        {kAudioUnitProperty_IconLocation, nullptr, nullptr},
        {kAudioUnitProperty_NickName,
         [&](AudioUnitScope scope) {
             return Set(kAudioUnitProperty_NickName, scope, 0, CFSTR("Other"));
         },
         [&] { return name(kAudioUnitProperty_NickName); }},
    };

    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "property " << row.id);
        ASSERT_EQ(AudioUnitAddPropertyListener(Unit(), row.id, &RecordingListener, nullptr), noErr);
        const std::string before = row.stored ? row.stored() : "";
        OutputCapture errors(OutputCapture::kStderr);
        for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
            UInt32 size = 0;
            Boolean writable = false;
            EXPECT_EQ(Info(row.id, scope, 0, size, writable), kAudioUnitErr_InvalidScope);
            Byte value[64] = {};
            size = sizeof(value);
            EXPECT_EQ(AudioUnitGetProperty(Unit(), row.id, scope, 0, value, &size),
                      kAudioUnitErr_InvalidScope);
            if (row.write) {
                EXPECT_EQ(row.write(scope), kAudioUnitErr_InvalidScope);
            }
        }
        EXPECT_EQ(NotificationsFor(row.id), 0u);
        if (row.stored) {
            EXPECT_EQ(row.stored(), before);
        }
    }
    CFRelease(state);
}

namespace {

// One write that its checks refuse: where, how many bytes (all zero), and the status with the
// condition and label of its line ("" for a refusal without one).
struct RefusedWrite {
    const char* what;
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
    UInt32 size;
    OSStatus status;
    const char* condition;
    const char* label;
};

constexpr OSStatus kBadValue = kAudioUnitErr_InvalidPropertyValue;

const RefusedWrite kRefusedWrites[] = {
    {"a state pointer of 4 bytes", kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, 4,
     kBadValue, "inDataSize == sizeof(CFPropertyListRef *)", "InvalidPropertyValue"},
    {"a short connection", kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, 12,
     kBadValue, "inDataSize >= sizeof(AudioUnitConnection)", "InvalidPropertyValue"},
    {"a Float32 sample rate", kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, 4,
     kBadValue, "inDataSize == sizeof(Float64)", "InvalidPropertyValue"},
    {"the sample rate of a missing bus", kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 3,
     8, kAudioUnitErr_InvalidElement, "GetElement(inScope, inElement) != NULL", "InvalidElement"},
    {"a 35-byte format", kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 3, 35, kBadValue,
     "", ""},
    {"a bus count where the count is fixed", kAudioUnitProperty_ElementCount,
     kAudioUnitScope_Global, 0, 4, kAudioUnitErr_PropertyNotWritable, "BusCountWritable(inScope)",
     "NotWritable"},
    {"a bus count of 2 bytes", kAudioUnitProperty_ElementCount, kAudioUnitScope_Global, 0, 2,
     kBadValue, "inDataSize == sizeof(UInt32)", "InvalidPropertyValue"},
    {"a frame count of 8 bytes", kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global,
     0, 8, kBadValue, "inDataSize == sizeof(UInt32)", "InvalidPropertyValue"},
    {"a short external buffer", kAudioUnitProperty_SetExternalBuffer, kAudioUnitScope_Output, 0, 8,
     kBadValue, "inDataSize >= sizeof(AudioUnitExternalBuffer)", "InvalidPropertyValue"},
    {"an external buffer before initialization", kAudioUnitProperty_SetExternalBuffer,
     kAudioUnitScope_Output, 0, 16, kAudioUnitErr_Uninitialized, "IsInitialized()",
     "Uninitialized"},
    {"a layout shorter than its header", kAudioUnitProperty_AudioChannelLayout,
     kAudioUnitScope_Output, 0, 8, kBadValue,
     "inDataSize >= headerSize + layout->mNumberChannelDescriptions * "
     "sizeof(AudioChannelDescription)",
     "InvalidPropertyValue"},
    {"a short render callback", kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, 8,
     kBadValue, "inDataSize >= sizeof(AURenderCallbackStruct)", "InvalidPropertyValue"},
    {"a short context name, size before scope", kAudioUnitProperty_ContextName,
     kAudioUnitScope_Output, 0, 4, kBadValue, "inDataSize == sizeof(CFStringRef)",
     "InvalidPropertyValue"},
    {"a name for a missing element, element before size", kAudioUnitProperty_ElementName,
     kAudioUnitScope_Input, 4, 4, kAudioUnitErr_InvalidElement,
     "GetElement(inScope, inElement) != NULL", "InvalidElement"},
    {"a short element name", kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 0, 4, kBadValue,
     "inDataSize == sizeof(CFStringRef)", "InvalidPropertyValue"},
    {"a short preset, size before scope", kAudioUnitProperty_PresentPreset, kAudioUnitScope_Input,
     0, 8, kBadValue, "inDataSize == sizeof(AUPreset)", "InvalidPropertyValue"},
    {"buffer allocation of the global scope", kAudioUnitProperty_ShouldAllocateBuffer,
     kAudioUnitScope_Global, 0, 2, kAudioUnitErr_InvalidScope,
     "(inScope == kAudioUnitScope_Input || inScope == kAudioUnitScope_Output)", "InvalidScope"},
    {"buffer allocation of a missing bus", kAudioUnitProperty_ShouldAllocateBuffer,
     kAudioUnitScope_Output, 4, 2, kAudioUnitErr_InvalidElement,
     "GetElement(inScope, inElement) != NULL", "InvalidElement"},
    {"a short buffer allocation flag", kAudioUnitProperty_ShouldAllocateBuffer,
     kAudioUnitScope_Output, 0, 2, kBadValue, "inDataSize == sizeof(UInt32)",
     "InvalidPropertyValue"},
    {"a short nickname, scope before size", kAudioUnitProperty_NickName, kAudioUnitScope_Output, 0,
     4, kAudioUnitErr_InvalidScope, "inScope == kAudioUnitScope_Global", "InvalidScope"},
};

} // namespace

TEST_F(PropertyTest, RefusedWritesGiveTheirStatusAndLineInTheirOrder)
{
    OutputCapture errors(OutputCapture::kStderr);
    for (const RefusedWrite& write : kRefusedWrites) {
        const std::vector<Byte> zeros(write.size);
        EXPECT_EQ(AudioUnitSetProperty(Unit(), write.id, write.scope, write.element, zeros.data(),
                                       write.size),
                  write.status)
            << write.what;
        const std::string text = errors.Take();
        const std::string expected =
            *write.condition == '\0' ? "" : RequireLine(write.condition, write.label);
        EXPECT_TRUE(expected.empty() ? text.empty() : StartsWith(text, expected))
            << write.what << ": " << text;
    }
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
}

TEST_F(PropertyTest, ClassInfoAndRenderTimeChecks)
{
    CFPropertyListRef state = nullptr;
    EXPECT_EQ(Set(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, state),
              kAudioUnitErr_InvalidPropertyValue);

    Float64 sampleTime = 0;
    ASSERT_EQ(Get(kAudioUnitProperty_LastRenderSampleTime, kAudioUnitScope_Global, 0, sampleTime),
              noErr);
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

    const AudioUnitConnection disconnect{nullptr, 0, 0};
    EXPECT_EQ(Set(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, disconnect), noErr);
    EXPECT_EQ(Set(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0,
                  AudioUnitConnection{nullptr, 0, 3}),
              kAudioUnitErr_InvalidElement);

    const AURenderCallbackStruct callback{nullptr, nullptr};
    // The scope of the write is not examined: the callback always feeds an input.
    EXPECT_EQ(Set(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Global, 0, callback),
              noErr);

    ASSERT_EQ(sNotifications.size(), 2u);
    EXPECT_EQ(sNotifications[0].id, kAudioUnitProperty_MakeConnection);
    EXPECT_EQ(sNotifications[1].id, kAudioUnitProperty_SetRenderCallback);
    EXPECT_EQ(sNotifications[1].scope, kAudioUnitScope_Input);
}
