#include "Units/HostedUnit.h"

#include "CFOwned.h"
#include "CFStringText.h"

#include <AudioUnit/MusicDevice.h>
#include <CoreAudio/HostTime.h>
#include <CoreFoundation/CoreFoundation.h>

#include <cmath>
#include <cstring>

HostedUnit::HostedUnit(AudioComponent component, bool initialize)
{
    mOpenStatus = component == nullptr ? OSStatus(kAudio_ParamError)
                                       : AudioComponentInstanceNew(component, &mUnit);
    if (mOpenStatus != noErr)
        mUnit = nullptr;
    if (mOpenStatus == noErr && initialize)
        mOpenStatus = Initialize();
    mOutput.Allocate(kMaxFrames);
}

HostedUnit::HostedUnit(const AudioComponentDescription& description, bool initialize)
    : HostedUnit(AudioComponentFindNext(nullptr, &description), initialize)
{
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

OSStatus HostedUnit::Reset(AudioUnitScope scope) const
{
    return AudioUnitReset(mUnit, scope, 0);
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

OSStatus HostedUnit::SysEx(const Byte* bytes, UInt32 length) const
{
    return MusicDeviceSysEx(mUnit, bytes, length);
}

OSStatus HostedUnit::SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value,
                                  AudioUnitScope scope) const
{
    return AudioUnitSetParameter(mUnit, id, scope, 0, value, 0);
}

OSStatus HostedUnit::GetParameter(AudioUnitParameterID id, AudioUnitParameterValue& value,
                                  AudioUnitScope scope) const
{
    return AudioUnitGetParameter(mUnit, id, scope, 0, &value);
}

AudioUnitParameterValue HostedUnit::Parameter(AudioUnitParameterID id) const
{
    AudioUnitParameterValue value = 0;
    GetParameter(id, value);
    return value;
}

OSStatus HostedUnit::SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, const void* data,
                                 UInt32 size) const
{
    return AudioUnitSetProperty(mUnit, id, scope, 0, data, size);
}

OSStatus HostedUnit::ParameterList(AudioUnitScope scope,
                                   std::vector<AudioUnitParameterID>& ids) const
{
    ids.clear();
    UInt32 size = 0;
    Boolean writable = false;
    OSStatus status = AudioUnitGetPropertyInfo(mUnit, kAudioUnitProperty_ParameterList, scope, 0,
                                               &size, &writable);
    if (status != noErr || size == 0)
        return status;
    ids.resize(size / sizeof(AudioUnitParameterID));
    status =
        AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterList, scope, 0, ids.data(), &size);
    ids.resize(status == noErr ? size / sizeof(AudioUnitParameterID) : 0);
    return status;
}

OSStatus HostedUnit::ParameterInfo(AudioUnitParameterID id, AudioUnitParameterInfo& info,
                                   AudioUnitScope scope, std::string* name) const
{
    info = AudioUnitParameterInfo{};
    UInt32 size = sizeof info;
    const OSStatus status =
        AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterInfo, scope, id, &info, &size);
    if (status != noErr || name == nullptr)
        return status;
    const bool hasCFName = (info.flags & kAudioUnitParameterFlag_HasCFNameString) != 0;
    *name = hasCFName ? CFStringText(info.cfNameString).value_or("")
                      : std::string(info.name, strnlen(info.name, sizeof info.name));
    if (hasCFName && (info.flags & kAudioUnitParameterFlag_CFNameRelease) != 0 &&
        info.cfNameString != nullptr)
        CFRelease(info.cfNameString);
    info.cfNameString = nullptr;
    return status;
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
    const CFOwned<CFArrayRef> owned(array);
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
        const CFTypeRef value = CFArrayGetValueAtIndex(array, i);
        strings.push_back(CFGetTypeID(value) == CFStringGetTypeID()
                              ? CFStringText(static_cast<CFStringRef>(value)).value_or("")
                              : std::string());
    }
    return status;
}

OSStatus HostedUnit::CopyClassInfo(CFPropertyListRef& state) const
{
    state = nullptr;
    UInt32 size = sizeof state;
    return AudioUnitGetProperty(mUnit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                &state, &size);
}

OSStatus HostedUnit::RestoreClassInfo(CFPropertyListRef state) const
{
    return AudioUnitSetProperty(mUnit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                &state, sizeof state);
}
