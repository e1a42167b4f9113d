#include "UnitUnderTest.h"

#include "ValidationContext.h"

#include <AudioUnit/MusicDevice.h>

#include <cmath>
#include <cstddef>
#include <cstring>

namespace {

constexpr UInt32 kMostChannels = 64;

std::string TextOf(CFStringRef text)
{
    if (text == nullptr)
        return "";
    char buffer[512];
    if (!CFStringGetCString(text, buffer, sizeof buffer, kCFStringEncodingUTF8))
        return "";
    return buffer;
}

} // namespace

std::string ParameterAddress::Text() const
{
    return "parameter " + std::to_string(mID) + " (" + ScopeName(mScope) + ")";
}

const char* ScopeName(AudioUnitScope scope)
{
    static const char* const kNames[] = {"global", "input", "output", "group", "part"};
    return scope < sizeof kNames / sizeof kNames[0] ? kNames[scope] : "unknown scope";
}

UnitUnderTest::UnitUnderTest(AudioComponent component)
{
    const OSStatus status = AudioComponentInstanceNew(component, &mUnit);
    if (status != noErr || mUnit == nullptr)
        throw TestAbort("the component host cannot make an instance (status " +
                        std::to_string(status) + ")");
}

UnitUnderTest::~UnitUnderTest()
{
    AudioComponentInstanceDispose(mUnit);
}

void UnitUnderTest::Prepare(Float64 sampleRate, UInt32 maxFrames)
{
    auto require = [](OSStatus status, const std::string& call) {
        if (status != noErr)
            throw TestAbort(call + " failed with status " + std::to_string(status));
    };
    require(AudioUnitSetProperty(mUnit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0,
                                 &sampleRate, sizeof sampleRate),
            "setting the output's sample rate to " + std::to_string(long(sampleRate)));
    require(AudioUnitSetProperty(mUnit, kAudioUnitProperty_MaximumFramesPerSlice,
                                 kAudioUnitScope_Global, 0, &maxFrames, sizeof maxFrames),
            "setting the maximum frames per slice to " + std::to_string(maxFrames));
    require(Initialize(), "initialize");
    require(Reset(), "reset");

    MakeBuffers(maxFrames);
}

void UnitUnderTest::MakeBuffers(UInt32 maxFrames)
{
    AudioStreamBasicDescription format{};
    UInt32 size = sizeof format;
    const OSStatus status = AudioUnitGetProperty(mUnit, kAudioUnitProperty_StreamFormat,
                                                 kAudioUnitScope_Output, 0, &format, &size);
    if (status != noErr)
        throw TestAbort("reading the output's stream format failed with status " +
                        std::to_string(status));
    if (format.mChannelsPerFrame == 0 || format.mChannelsPerFrame > kMostChannels)
        throw TestAbort("the output has " + std::to_string(format.mChannelsPerFrame) + " channels");
    mChannels = format.mChannelsPerFrame;
    mInterleaved = (format.mFormatFlags & kAudioFormatFlagIsNonInterleaved) == 0;
    // One frame more than the maximum: the call that asks for too many frames gets room for them.
    const size_t frames = size_t(maxFrames) + 1;
    mBuffers.assign(mInterleaved ? 1 : mChannels,
                    std::vector<Float32>(mInterleaved ? frames * mChannels : frames));
}

OSStatus UnitUnderTest::Reset()
{
    mSampleTime = 0;
    return AudioUnitReset(mUnit, kAudioUnitScope_Global, 0);
}

OSStatus UnitUnderTest::Render(UInt32 frames)
{
    // A host may call render before it prepares the unit, which must then refuse.
    if (mBuffers.empty())
        MakeBuffers(kLargestSlice);
    const UInt32 samplesPerBuffer = mInterleaved ? frames * mChannels : frames;
    mBufferList.resize(offsetof(AudioBufferList, mBuffers) + mBuffers.size() * sizeof(AudioBuffer));
    auto* list = reinterpret_cast<AudioBufferList*>(mBufferList.data());
    list->mNumberBuffers = UInt32(mBuffers.size());
    for (size_t b = 0; b < mBuffers.size(); ++b) {
        list->mBuffers[b].mNumberChannels = mInterleaved ? mChannels : 1;
        list->mBuffers[b].mDataByteSize = UInt32(samplesPerBuffer * sizeof(Float32));
        list->mBuffers[b].mData = mBuffers[b].data();
    }
    AudioTimeStamp timeStamp{};
    timeStamp.mSampleTime = mSampleTime;
    timeStamp.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    const OSStatus status = AudioUnitRender(mUnit, &flags, &timeStamp, 0, frames, list);
    if (status == noErr) {
        mSampleTime += frames;
        mLastFrames = frames;
    }
    return status;
}

std::string UnitUnderTest::OutputProblem(bool expectSilence) const
{
    const auto* list = reinterpret_cast<const AudioBufferList*>(mBufferList.data());
    for (UInt32 b = 0; list != nullptr && b < list->mNumberBuffers; ++b) {
        const auto* samples = static_cast<const Float32*>(list->mBuffers[b].mData);
        const UInt32 count = list->mBuffers[b].mDataByteSize / sizeof(Float32);
        for (UInt32 n = 0; n < count && samples != nullptr; ++n) {
            const Float32 sample = samples[n];
            const char* problem = std::isnan(sample)                        ? "NaN"
                                  : std::isinf(sample)                      ? "an infinity"
                                  : std::fpclassify(sample) == FP_SUBNORMAL ? "a denormal"
                                  : expectSilence && sample != 0.0f         ? "sound"
                                                                            : nullptr;
            if (problem != nullptr)
                return std::string(problem) + " (" + std::to_string(sample) + ") in buffer " +
                       std::to_string(b) + " at sample " + std::to_string(n);
        }
    }
    return "";
}

OSStatus UnitUnderTest::MIDI(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset) const
{
    return MusicDeviceMIDIEvent(mUnit, status, data1, data2, offset);
}

OSStatus UnitUnderTest::SetParameter(const ParameterAddress& address, Float32 value) const
{
    return AudioUnitSetParameter(mUnit, address.mID, address.mScope, 0, value, 0);
}

OSStatus UnitUnderTest::GetParameter(const ParameterAddress& address, Float32& value) const
{
    return AudioUnitGetParameter(mUnit, address.mID, address.mScope, 0, &value);
}

std::vector<ParameterAddress> UnitUnderTest::Parameters() const
{
    std::vector<ParameterAddress> parameters;
    for (AudioUnitScope scope = kAudioUnitScope_Global; scope <= kAudioUnitScope_Part; ++scope) {
        UInt32 size = 0;
        Boolean writable = false;
        if (AudioUnitGetPropertyInfo(mUnit, kAudioUnitProperty_ParameterList, scope, 0, &size,
                                     &writable) != noErr ||
            size == 0)
            continue;
        std::vector<AudioUnitParameterID> ids(size / sizeof(AudioUnitParameterID));
        if (AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterList, scope, 0, ids.data(),
                                 &size) != noErr)
            continue;
        ids.resize(size / sizeof(AudioUnitParameterID));
        for (const AudioUnitParameterID id : ids)
            parameters.push_back({scope, id});
    }
    return parameters;
}

OSStatus UnitUnderTest::ParameterInfo(const ParameterAddress& address, AudioUnitParameterInfo& info,
                                      std::string* name) const
{
    info = AudioUnitParameterInfo{};
    UInt32 size = sizeof info;
    const OSStatus status = AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterInfo,
                                                 address.mScope, address.mID, &info, &size);
    if (status != noErr)
        return status;
    const bool hasCFName = (info.flags & kAudioUnitParameterFlag_HasCFNameString) != 0;
    if (name != nullptr)
        *name = hasCFName ? TextOf(info.cfNameString)
                          : std::string(info.name, strnlen(info.name, sizeof info.name));
    if (hasCFName && (info.flags & kAudioUnitParameterFlag_CFNameRelease) != 0 &&
        info.cfNameString != nullptr)
        CFRelease(info.cfNameString);
    info.cfNameString = nullptr;
    return status;
}

std::vector<std::string> UnitUnderTest::ValueStrings(const ParameterAddress& address) const
{
    CFArrayRef array = nullptr;
    UInt32 size = sizeof array;
    std::vector<std::string> strings;
    if (AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterValueStrings, address.mScope,
                             address.mID, &array, &size) != noErr ||
        array == nullptr)
        return strings;
    CFHolder owned(array);
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
        const void* value = CFArrayGetValueAtIndex(array, i);
        strings.push_back(CFGetTypeID(value) == CFStringGetTypeID()
                              ? TextOf(static_cast<CFStringRef>(value))
                              : std::string());
    }
    return strings;
}

CFHolder UnitUnderTest::CopyState() const
{
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    const OSStatus status = AudioUnitGetProperty(mUnit, kAudioUnitProperty_ClassInfo,
                                                 kAudioUnitScope_Global, 0, &state, &size);
    if (status != noErr || state == nullptr)
        throw TestAbort("the saved state cannot be read (status " + std::to_string(status) + ")");
    return CFHolder(state);
}

std::vector<UInt8> UnitUnderTest::SavedState() const
{
    return SerializedBytes(CopyState().get());
}

OSStatus UnitUnderTest::RestoreState(CFPropertyListRef state) const
{
    return AudioUnitSetProperty(mUnit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                &state, sizeof state);
}

std::vector<UInt8> SerializedBytes(CFPropertyListRef list)
{
    CFHolder data(
        CFPropertyListCreateData(nullptr, list, kCFPropertyListXMLFormat_v1_0, 0, nullptr));
    if (data == nullptr)
        return {};
    const auto* bytes = CFDataGetBytePtr(static_cast<CFDataRef>(data.get()));
    return std::vector<UInt8>(bytes, bytes + CFDataGetLength(static_cast<CFDataRef>(data.get())));
}
