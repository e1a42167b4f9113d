#include "UnitUnderTest.h"

#include "ValidationContext.h"

#include <AudioUnit/MusicDevice.h>

#include <cmath>
#include <cstddef>
#include <cstring>

namespace {

constexpr UInt32 kMostChannels = 64;

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

UnitUnderTest::UnitUnderTest(AudioComponent component) : mHosted(component)
{
    const OSStatus status = mHosted.OpenStatus();
    if (status != noErr || mHosted.Unit() == nullptr)
        throw CheckAbort("the component host cannot make an instance (status " +
                        std::to_string(status) + ")");
}

void UnitUnderTest::Prepare(Float64 sampleRate, UInt32 maxFrames)
{
    auto require = [](OSStatus status, const std::string& call) {
        if (status != noErr)
            throw CheckAbort(call + " failed with status " + std::to_string(status));
    };
    require(mHosted.SetProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, &sampleRate,
                                sizeof sampleRate),
            "setting the output's sample rate to " + std::to_string(long(sampleRate)));
    require(mHosted.SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global,
                                &maxFrames, sizeof maxFrames),
            "setting the maximum frames per slice to " + std::to_string(maxFrames));
    require(Initialize(), "initialize");
    require(Reset(), "reset");

    MakeBuffers(maxFrames);
}

void UnitUnderTest::MakeBuffers(UInt32 maxFrames)
{
    AudioStreamBasicDescription format{};
    UInt32 size = sizeof format;
    const OSStatus status = AudioUnitGetProperty(Unit(), kAudioUnitProperty_StreamFormat,
                                                 kAudioUnitScope_Output, 0, &format, &size);
    if (status != noErr)
        throw CheckAbort("reading the output's stream format failed with status " +
                        std::to_string(status));
    if (format.mChannelsPerFrame == 0 || format.mChannelsPerFrame > kMostChannels)
        throw CheckAbort("the output has " + std::to_string(format.mChannelsPerFrame) + " channels");
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
    return mHosted.Reset(kAudioUnitScope_Global);
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
    const OSStatus status = AudioUnitRender(Unit(), &flags, &timeStamp, 0, frames, list);
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
    return mHosted.MIDI(status, data1, data2, offset);
}

OSStatus UnitUnderTest::SetParameter(const ParameterAddress& address, Float32 value) const
{
    return mHosted.SetParameter(address.mID, value, address.mScope);
}

OSStatus UnitUnderTest::GetParameter(const ParameterAddress& address, Float32& value) const
{
    return mHosted.GetParameter(address.mID, value, address.mScope);
}

std::vector<ParameterAddress> UnitUnderTest::Parameters() const
{
    std::vector<ParameterAddress> parameters;
    std::vector<AudioUnitParameterID> ids;
    for (AudioUnitScope scope = kAudioUnitScope_Global; scope <= kAudioUnitScope_Part; ++scope) {
        mHosted.ParameterList(scope, ids);
        for (const AudioUnitParameterID id : ids)
            parameters.push_back({scope, id});
    }
    return parameters;
}

OSStatus UnitUnderTest::ParameterInfo(const ParameterAddress& address, AudioUnitParameterInfo& info,
                                      std::string* name) const
{
    std::string text;
    const OSStatus status = mHosted.ParameterInfo(address.mID, info, address.mScope, &text);
    if (name != nullptr)
        *name = text;
    return status;
}

std::vector<std::string> UnitUnderTest::ValueStrings(const ParameterAddress& address) const
{
    std::vector<std::string> strings;
    mHosted.ValueStrings(address.mID, strings, address.mScope);
    return strings;
}

CFHolder UnitUnderTest::CopyState() const
{
    CFPropertyListRef state = nullptr;
    const OSStatus status = mHosted.CopyClassInfo(state);
    if (status != noErr || state == nullptr)
        throw CheckAbort("the saved state cannot be read (status " + std::to_string(status) + ")");
    return CFHolder(state);
}

std::vector<UInt8> UnitUnderTest::SavedState() const
{
    return SerializedBytes(CopyState().get());
}

OSStatus UnitUnderTest::RestoreState(CFPropertyListRef state) const
{
    return mHosted.RestoreClassInfo(state);
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
