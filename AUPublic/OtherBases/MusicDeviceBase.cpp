#include "MusicDeviceBase.h"

#include <cstring>

MusicDeviceBase::MusicDeviceBase(AudioComponentInstance inInstance, UInt32 numInputs,
                                 UInt32 numOutputs, UInt32 numGroups)
    : AUBase(inInstance, numInputs, numOutputs, numGroups), AUMIDIBase(this)
{
}

OSStatus MusicDeviceBase::GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                          AudioUnitElement inElement, UInt32& outDataSize,
                                          Boolean& outWritable)
{
    if (inID == kMusicDeviceProperty_InstrumentCount) {
        if (inScope != kAudioUnitScope_Global)
            return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(UInt32);
        outWritable = false;
        return noErr;
    }
    const OSStatus result =
        AUBase::GetPropertyInfo(inID, inScope, inElement, outDataSize, outWritable);
    if (result != kAudioUnitErr_InvalidProperty)
        return result;
    return DelegateGetPropertyInfo(inID, inScope, inElement, outDataSize, outWritable);
}

OSStatus MusicDeviceBase::GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                      AudioUnitElement inElement, void* outData)
{
    if (inID == kMusicDeviceProperty_InstrumentCount) {
        if (inScope != kAudioUnitScope_Global)
            return kAudioUnitErr_InvalidScope;
        UInt32 count = 0;
        const OSStatus result = GetInstrumentCount(count);
        std::memcpy(outData, &count, sizeof(count));
        return result;
    }
    return AUBase::GetProperty(inID, inScope, inElement, outData);
}

OSStatus MusicDeviceBase::GetPropertyWithSize(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                              AudioUnitElement inElement, void* outData,
                                              UInt32& ioDataSize)
{
    const OSStatus result = GetProperty(inID, inScope, inElement, outData);
    if (result != kAudioUnitErr_InvalidProperty)
        return result;
    return DelegateGetProperty(inID, inScope, inElement, outData, ioDataSize);
}

OSStatus MusicDeviceBase::SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                      AudioUnitElement inElement, const void* inData,
                                      UInt32 inDataSize)
{
    const OSStatus result = AUBase::SetProperty(inID, inScope, inElement, inData, inDataSize);
    if (result != kAudioUnitErr_InvalidProperty)
        return result;
    return DelegateSetProperty(inID, inScope, inElement, inData, inDataSize);
}

OSStatus MusicDeviceBase::HandleNoteOn(UInt8 inChannel, UInt8 inNoteNumber, UInt8 inVelocity,
                                       UInt32 inStartFrame)
{
    MusicDeviceNoteParams params{};
    params.argCount = 2;
    params.mPitch = Float32(inNoteNumber);
    params.mVelocity = Float32(inVelocity);
    return StartNote(kMusicNoteEvent_UseGroupInstrument, inChannel, nullptr, inStartFrame, params);
}

OSStatus MusicDeviceBase::HandleNoteOff(UInt8 inChannel, UInt8 inNoteNumber, UInt8 /*inVelocity*/,
                                        UInt32 inStartFrame)
{
    return StopNote(inChannel, inNoteNumber, inStartFrame);
}

OSStatus MusicDeviceBase::GetInstrumentCount(UInt32& outInstCount) const
{
    outInstCount = 0;
    return noErr;
}
