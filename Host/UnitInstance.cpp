#include "UnitInstance.h"

// The stand-in's text of a CoreFoundation string.
#include "CoreFoundation/CFStringText.h"

#include "ComponentList.h"
#include "StatusText.h"

#include <AudioUnit/MusicDevice.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

void Check(OSStatus status, const std::string& what)
{
    if (status != noErr) {
        throw std::runtime_error("the unit refused " + what + ": " + StatusReason(status));
    }
}

} // namespace

UnitInstance::UnitInstance(const AudioComponentDescription& description)
{
    const AudioComponent component = AudioComponentFindNext(nullptr, &description);
    if (component == nullptr) {
        throw std::runtime_error("unit " + DescriptionText(description) +
                                 " not found (auhost list shows the units found)");
    }
    const OSStatus status = AudioComponentInstanceNew(component, &mUnit);
    if (status != noErr) {
        mUnit = nullptr;
        throw std::runtime_error("unit " + DescriptionText(description) +
                                 " does not open: " + StatusReason(status));
    }
}

UnitInstance::~UnitInstance()
{
    if (mInitialized) {
        AudioUnitUninitialize(mUnit);
    }
    AudioComponentInstanceDispose(mUnit);
}

namespace {

std::string ValueText(AudioUnitParameterValue value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(value));
    return text;
}

} // namespace

void UnitInstance::SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value)
{
    const OSStatus status = AudioUnitSetParameter(mUnit, id, kAudioUnitScope_Global, 0, value, 0);
    if (status != noErr) {
        const auto description = DescribeParameter(id);
        const std::string name = description ? description->mName : "";
        Check(status, "parameter " + std::to_string(id) +
                          (name.empty() ? "" : " \"" + name + "\"") + " = " + ValueText(value));
    }
}

std::optional<AudioUnitParameterValue> UnitInstance::ParameterValue(AudioUnitParameterID id) const
{
    AudioUnitParameterValue value = 0;
    if (AudioUnitGetParameter(mUnit, id, kAudioUnitScope_Global, 0, &value) != noErr) {
        return std::nullopt;
    }
    return value;
}

std::vector<AudioUnitParameterID> UnitInstance::ParameterIDs() const
{
    UInt32 size = 0;
    Boolean writable = false;
    if (AudioUnitGetPropertyInfo(mUnit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0,
                                 &size, &writable) != noErr) {
        return {};
    }
    std::vector<AudioUnitParameterID> ids(size / sizeof(AudioUnitParameterID));
    if (!ids.empty() &&
        AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0,
                             ids.data(), &size) != noErr) {
        return {};
    }
    ids.resize(size / sizeof(AudioUnitParameterID));
    return ids;
}

std::optional<ParameterDescription> UnitInstance::DescribeParameter(AudioUnitParameterID id) const
{
    AudioUnitParameterInfo info{};
    UInt32 size = sizeof info;
    if (AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id,
                             &info, &size) != noErr) {
        return std::nullopt;
    }
    ParameterDescription description;
    if ((info.flags & kAudioUnitParameterFlag_HasCFNameString) != 0 &&
        info.cfNameString != nullptr) {
        description.mName = CFStringText(info.cfNameString).value_or("");
        if ((info.flags & kAudioUnitParameterFlag_CFNameRelease) != 0) {
            CFRelease(info.cfNameString);
        }
    }
    if (description.mName.empty()) {
        description.mName.assign(info.name, strnlen(info.name, sizeof info.name));
    }
    description.mMinValue = info.minValue;
    description.mMaxValue = info.maxValue;
    return description;
}

void UnitInstance::CheckParameterValue(AudioUnitParameterID id, AudioUnitParameterValue value) const
{
    const auto description = DescribeParameter(id);
    if (!description) {
        std::string known;
        for (const AudioUnitParameterID each : ParameterIDs()) {
            const auto other = DescribeParameter(each);
            known += (known.empty() ? "" : ", ") + std::to_string(each) +
                     (other && !other->mName.empty() ? " \"" + other->mName + "\"" : "");
        }
        throw std::runtime_error("the unit has no parameter " + std::to_string(id) +
                                 (known.empty() ? "" : " (its parameters are " + known + ")"));
    }
    if (!(value >= description->mMinValue && value <= description->mMaxValue)) {
        throw std::runtime_error(
            "parameter " + std::to_string(id) +
            (description->mName.empty() ? "" : " \"" + description->mName + "\"") + " takes " +
            ValueText(description->mMinValue) + " to " + ValueText(description->mMaxValue) +
            ", not " + ValueText(value));
    }
}

CFPropertyListRef UnitInstance::CopyClassInfo() const
{
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    Check(AudioUnitGetProperty(mUnit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                               &state, &size),
          "reading its state");
    return state;
}

void UnitInstance::RestoreClassInfo(CFPropertyListRef state)
{
    Check(AudioUnitSetProperty(mUnit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                               &state, sizeof state),
          "the preset");
}

void UnitInstance::SetPresentPreset(CFStringRef name)
{
    const AUPreset preset{-1, name};
    Check(AudioUnitSetProperty(mUnit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0,
                               &preset, sizeof preset),
          "the preset's name");
}

void UnitInstance::Configure(Float64 sampleRate, UInt32 maxFrames)
{
    Check(AudioUnitSetProperty(mUnit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0,
                               &sampleRate, sizeof sampleRate),
          "the sample rate " + std::to_string(UInt32(sampleRate)));
    Check(AudioUnitSetProperty(mUnit, kAudioUnitProperty_MaximumFramesPerSlice,
                               kAudioUnitScope_Global, 0, &maxFrames, sizeof maxFrames),
          std::to_string(maxFrames) + " frames per render call");
    mOutput.Allocate(maxFrames);
}

void UnitInstance::Initialize()
{
    Check(AudioUnitInitialize(mUnit), "to initialize");
    mInitialized = true;
}

void UnitInstance::Reset()
{
    Check(AudioUnitReset(mUnit, kAudioUnitScope_Output, 0), "a reset");
}

OSStatus UnitInstance::MIDIEvent(Byte status, Byte data1, Byte data2, UInt32 offsetFrames)
{
    return MusicDeviceMIDIEvent(mUnit, status, data1, data2, offsetFrames);
}

OSStatus UnitInstance::SysEx(const Byte* bytes, UInt32 length)
{
    return MusicDeviceSysEx(mUnit, bytes, length);
}

OSStatus UnitInstance::Render(Float64 sampleTime, UInt32 frames)
{
    return mOutput.Render(mUnit, sampleTime, frames);
}
