#include "HostedUnit.h"

#include <AudioUnit/MusicDevice.h>
#include <CoreAudio/HostTime.h>
#include <CoreFoundation/CFString.h>

#include <cmath>
#include <cstdlib>

HostedUnit::HostedUnit(const std::string& bundleFolder,
                       const AudioComponentDescription& description, bool initialize)
{
    setenv("AUDIO_COMPONENT_PATH", bundleFolder.c_str(), 1);
    AudioComponentRescanBundles();
    const AudioComponent component = AudioComponentFindNext(nullptr, &description);
    if (component == nullptr) {
        mOpenStatus = kAudio_ParamError;
        return;
    }
    mOpenStatus = AudioComponentInstanceNew(component, &mUnit);
    if (mOpenStatus == noErr && initialize)
        mOpenStatus = AudioUnitInitialize(mUnit);
    mOutput.Allocate(kMaxFrames);
}

HostedUnit::~HostedUnit()
{
    Dispose();
}

void HostedUnit::Dispose()
{
    if (mUnit != nullptr)
        AudioComponentInstanceDispose(mUnit);
    mUnit = nullptr;
}

OSStatus HostedUnit::Render(UInt32 frames, Float64 sampleTime)
{
    mNextSampleTime = sampleTime + frames;
    return mOutput.Render(mUnit, sampleTime, frames);
}

OSStatus HostedUnit::Render(UInt32 frames)
{
    return Render(frames, mNextSampleTime);
}

OSStatus HostedUnit::RenderAtHostTime(UInt32 frames, Float64 sampleTime, UInt64 hostTime)
{
    mNextSampleTime = sampleTime + frames;
    AudioTimeStamp timeStamp{};
    timeStamp.mSampleTime = sampleTime;
    timeStamp.mHostTime = hostTime;
    timeStamp.mFlags = kAudioTimeStampSampleHostTimeValid;
    return mOutput.Render(mUnit, timeStamp, frames);
}

OSStatus HostedUnit::RenderInRealTime(UInt32 frames)
{
    const UInt64 now = AudioGetCurrentHostTime();
    if (mRealTimeStart == 0)
        mRealTimeStart = now;
    const Float64 samplesPerTick = 44100.0 / AudioGetHostClockFrequency();
    return Render(frames, std::floor(Float64(now - mRealTimeStart) * samplesPerTick));
}

OSStatus HostedUnit::MIDI(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset) const
{
    return MusicDeviceMIDIEvent(mUnit, status, data1, data2, offset);
}

OSStatus HostedUnit::SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value,
                                  AudioUnitScope scope) const
{
    return AudioUnitSetParameter(mUnit, id, scope, 0, value, 0);
}

AudioUnitParameterValue HostedUnit::Parameter(AudioUnitParameterID id) const
{
    AudioUnitParameterValue value = 0;
    AudioUnitGetParameter(mUnit, id, kAudioUnitScope_Global, 0, &value);
    return value;
}

OSStatus HostedUnit::SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, const void* data,
                                 UInt32 size) const
{
    return AudioUnitSetProperty(mUnit, id, scope, 0, data, size);
}

OSStatus HostedUnit::Reset(AudioUnitScope scope) const
{
    return AudioUnitReset(mUnit, scope, 0);
}

OSStatus HostedUnit::ParameterInfo(AudioUnitParameterID id, AudioUnitParameterInfo& info,
                                   AudioUnitScope scope) const
{
    UInt32 size = sizeof info;
    return AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterInfo, scope, id, &info, &size);
}

OSStatus HostedUnit::ValueStrings(AudioUnitParameterID id, std::vector<std::string>& strings,
                                  AudioUnitScope scope) const
{
    CFArrayRef array = nullptr;
    UInt32 size = sizeof array;
    const OSStatus status = AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterValueStrings,
                                                 scope, id, &array, &size);
    strings.clear();
    if (status != noErr || array == nullptr)
        return status;
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i)
        strings.push_back(TextOf(static_cast<CFStringRef>(CFArrayGetValueAtIndex(array, i))));
    CFRelease(array);
    return status;
}
