#include "Units/UnitInstance.h"

#include "CommandLine/StatusText.h"
#include "Units/ComponentList.h"

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

std::string ValueText(AudioUnitParameterValue value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(value));
    return text;
}

AudioComponent FindComponent(const AudioComponentDescription& description)
{
    const AudioComponent component = AudioComponentFindNext(nullptr, &description);
    if (component == nullptr) {
        throw std::runtime_error("unit " + DescriptionText(description) +
                                 " not found (auhost list shows the units found)");
    }
    return component;
}

} // namespace

UnitInstance::UnitInstance(const AudioComponentDescription& description)
    : mHosted(FindComponent(description))
{
    if (mHosted.OpenStatus() != noErr) {
        throw std::runtime_error("unit " + DescriptionText(description) +
                                 " does not open: " + StatusReason(mHosted.OpenStatus()));
    }
}

UnitInstance::~UnitInstance()
{
    if (mInitialized) {
        mHosted.Uninitialize();
    }
}

void UnitInstance::SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value)
{
    const OSStatus status = mHosted.SetParameter(id, value);
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
    if (mHosted.GetParameter(id, value) != noErr) {
        return std::nullopt;
    }
    return value;
}

std::vector<AudioUnitParameterID> UnitInstance::ParameterIDs() const
{
    std::vector<AudioUnitParameterID> ids;
    mHosted.ParameterList(kAudioUnitScope_Global, ids);
    return ids;
}

std::optional<ParameterDescription> UnitInstance::DescribeParameter(AudioUnitParameterID id) const
{
    AudioUnitParameterInfo info{};
    ParameterDescription description;
    if (mHosted.ParameterInfo(id, info, kAudioUnitScope_Global, &description.mName) != noErr) {
        return std::nullopt;
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
    Check(mHosted.CopyClassInfo(state), "reading its state");
    return state;
}

void UnitInstance::RestoreClassInfo(CFPropertyListRef state)
{
    Check(mHosted.RestoreClassInfo(state), "the preset");
}

void UnitInstance::SetPresentPreset(CFStringRef name)
{
    const AUPreset preset{-1, name};
    Check(mHosted.SetProperty(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, &preset,
                              sizeof preset),
          "the preset's name");
}

void UnitInstance::Configure(Float64 sampleRate, UInt32 maxFrames)
{
    Check(mHosted.SetProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, &sampleRate,
                              sizeof sampleRate),
          "the sample rate " + std::to_string(UInt32(sampleRate)));
    Check(mHosted.SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global,
                              &maxFrames, sizeof maxFrames),
          std::to_string(maxFrames) + " frames per render call");
    mHosted.SetMaximumFrames(maxFrames);
}

void UnitInstance::Initialize()
{
    Check(mHosted.Initialize(), "to initialize");
    mInitialized = true;
}

void UnitInstance::Reset()
{
    Check(mHosted.Reset(kAudioUnitScope_Output), "a reset");
}

OSStatus UnitInstance::MIDIEvent(Byte status, Byte data1, Byte data2, UInt32 offsetFrames)
{
    return mHosted.MIDI(status, data1, data2, offsetFrames);
}

OSStatus UnitInstance::SysEx(const Byte* bytes, UInt32 length)
{
    return mHosted.SysEx(bytes, length);
}

OSStatus UnitInstance::Render(Float64 sampleTime, UInt32 frames)
{
    return mHosted.Render(frames, sampleTime);
}
