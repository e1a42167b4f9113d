#include "UnitInstance.h"

// The stand-in's text of a CoreFoundation string.
#include "CoreFoundation/CFStringText.h"

#include "ComponentList.h"

#include <AudioUnit/MusicDevice.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

std::string StatusText(OSStatus status)
{
    return "status " + std::to_string(status);
}

void Check(OSStatus status, const std::string& what)
{
    if (status != noErr) {
        throw std::runtime_error("the unit refused " + what + " (" + StatusText(status) + ")");
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
        throw std::runtime_error("unit " + DescriptionText(description) + " does not open (" +
                                 StatusText(status) + ")");
    }
}

UnitInstance::~UnitInstance()
{
    if (mInitialized) {
        AudioUnitUninitialize(mUnit);
    }
    AudioComponentInstanceDispose(mUnit);
}

void UnitInstance::SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value)
{
    const OSStatus status = AudioUnitSetParameter(mUnit, id, kAudioUnitScope_Global, 0, value, 0);
    if (status != noErr) {
        const std::string name = ParameterName(id);
        char valueText[32];
        std::snprintf(valueText, sizeof valueText, "%g", double(value));
        Check(status, "parameter " + std::to_string(id) +
                          (name.empty() ? "" : " \"" + name + "\"") + " = " + valueText);
    }
}

std::string UnitInstance::ParameterName(AudioUnitParameterID id) const
{
    AudioUnitParameterInfo info{};
    UInt32 size = sizeof info;
    if (AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id,
                             &info, &size) != noErr) {
        return "";
    }
    std::string name;
    if ((info.flags & kAudioUnitParameterFlag_HasCFNameString) != 0 &&
        info.cfNameString != nullptr) {
        name = CFStringText(info.cfNameString).value_or("");
        if ((info.flags & kAudioUnitParameterFlag_CFNameRelease) != 0) {
            CFRelease(info.cfNameString);
        }
    }
    if (name.empty()) {
        name.assign(info.name, strnlen(info.name, sizeof info.name));
    }
    return name;
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
