// The host calls: each looks its selector up through the instance's plug-in interface record
// (render uses the method found when the instance opened) and calls the method found with the
// record first and the call's own arguments after it.
#include "ComponentInstanceRecord.h"

#include <AudioUnit/AudioUnit.h>
#include <ExceptionStatus.h>

namespace {

// Calls a method the record answered, with the record first and the call's own arguments after
// it; an exception that leaves the unit becomes a status. Takes no lock and allocates nothing:
// render, MIDI and note calls go through here.
template <class... Arguments>
OSStatus CallMethod(AudioComponentPlugInInterface* plugIn, AudioComponentMethod method,
                    Arguments... arguments) noexcept
{
    try {
        using Method = OSStatus (*)(void*, Arguments...);
        return reinterpret_cast<Method>(method)(plugIn, arguments...);
    } catch (...) {
        return kUnknownExceptionStatus;
    }
}

// Looks the selector up in the instance's record and calls the method it answers. Kept out of
// line: the render call's direct path then saves no registers for it.
template <class... Arguments>
__attribute__((noinline)) OSStatus CallUnit(AudioUnit unit, SInt16 selector,
                                            Arguments... arguments) noexcept
{
    if (unit == nullptr) {
        return kAudio_ParamError;
    }
    AudioComponentPlugInInterface* plugIn = unit->mPlugIn;
    if (plugIn->Lookup == nullptr) { // a record that answers nothing
        return kAudio_UnimplementedError;
    }
    AudioComponentMethod method = nullptr;
    try {
        method = plugIn->Lookup(selector);
    } catch (...) {
        return kUnknownExceptionStatus;
    }
    if (method == nullptr) {
        return kAudio_UnimplementedError;
    }
    return CallMethod(plugIn, method, arguments...);
}

} // namespace

extern "C" {

OSStatus AudioUnitInitialize(AudioUnit inUnit)
{
    return CallUnit(inUnit, kAudioUnitInitializeSelect);
}

OSStatus AudioUnitUninitialize(AudioUnit inUnit)
{
    return CallUnit(inUnit, kAudioUnitUninitializeSelect);
}

OSStatus AudioUnitGetPropertyInfo(AudioUnit inUnit, AudioUnitPropertyID inID,
                                  AudioUnitScope inScope, AudioUnitElement inElement,
                                  UInt32* outDataSize, Boolean* outWritable)
{
    return CallUnit(inUnit, kAudioUnitGetPropertyInfoSelect, inID, inScope, inElement, outDataSize,
                    outWritable);
}

OSStatus AudioUnitGetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, void* outData, UInt32* ioDataSize)
{
    return CallUnit(inUnit, kAudioUnitGetPropertySelect, inID, inScope, inElement, outData,
                    ioDataSize);
}

OSStatus AudioUnitSetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, const void* inData, UInt32 inDataSize)
{
    return CallUnit(inUnit, kAudioUnitSetPropertySelect, inID, inScope, inElement, inData,
                    inDataSize);
}

OSStatus AudioUnitGetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue* outValue)
{
    return CallUnit(inUnit, kAudioUnitGetParameterSelect, inID, inScope, inElement, outValue);
}

OSStatus AudioUnitSetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue inValue,
                               UInt32 inBufferOffsetInFrames)
{
    return CallUnit(inUnit, kAudioUnitSetParameterSelect, inID, inScope, inElement, inValue,
                    inBufferOffsetInFrames);
}

OSStatus AudioUnitReset(AudioUnit inUnit, AudioUnitScope inScope, AudioUnitElement inElement)
{
    return CallUnit(inUnit, kAudioUnitResetSelect, inScope, inElement);
}

OSStatus AudioUnitAddPropertyListener(AudioUnit inUnit, AudioUnitPropertyID inID,
                                      AudioUnitPropertyListenerProc inProc, void* inProcUserData)
{
    return CallUnit(inUnit, kAudioUnitAddPropertyListenerSelect, inID, inProc, inProcUserData);
}

OSStatus AudioUnitRemovePropertyListener(AudioUnit inUnit, AudioUnitPropertyID inID,
                                         AudioUnitPropertyListenerProc inProc)
{
    return CallUnit(inUnit, kAudioUnitRemovePropertyListenerSelect, inID, inProc);
}

OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit inUnit, AudioUnitPropertyID inID,
                                                     AudioUnitPropertyListenerProc inProc,
                                                     void* inProcUserData)
{
    return CallUnit(inUnit, kAudioUnitRemovePropertyListenerWithUserDataSelect, inID, inProc,
                    inProcUserData);
}

OSStatus AudioUnitAddRenderNotify(AudioUnit inUnit, AURenderCallback inProc, void* inProcUserData)
{
    return CallUnit(inUnit, kAudioUnitAddRenderNotifySelect, inProc, inProcUserData);
}

OSStatus AudioUnitRemoveRenderNotify(AudioUnit inUnit, AURenderCallback inProc,
                                     void* inProcUserData)
{
    return CallUnit(inUnit, kAudioUnitRemoveRenderNotifySelect, inProc, inProcUserData);
}

OSStatus AudioUnitScheduleParameters(AudioUnit inUnit, const AudioUnitParameterEvent* inEvents,
                                     UInt32 inNumEvents)
{
    return CallUnit(inUnit, kAudioUnitScheduleParametersSelect, inEvents, inNumEvents);
}

OSStatus AudioUnitRender(AudioUnit inUnit, AudioUnitRenderActionFlags* ioActionFlags,
                         const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                         UInt32 inNumberFrames, AudioBufferList* ioData)
{
    // The method the record gave when the instance opened; a record that gave none is asked here.
    if (inUnit != nullptr && inUnit->mRenderMethod != nullptr) {
        return CallMethod(inUnit->mPlugIn, inUnit->mRenderMethod, ioActionFlags, inTimeStamp,
                          inOutputBusNumber, inNumberFrames, ioData);
    }
    return CallUnit(inUnit, kAudioUnitRenderSelect, ioActionFlags, inTimeStamp, inOutputBusNumber,
                    inNumberFrames, ioData);
}

OSStatus AudioUnitComplexRender(AudioUnit inUnit, AudioUnitRenderActionFlags* ioActionFlags,
                                const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                                UInt32 inNumberOfPackets, UInt32* outNumberOfPackets,
                                AudioStreamPacketDescription* outPacketDescriptions,
                                AudioBufferList* ioData, void* outMetadata,
                                UInt32* outMetadataByteSize)
{
    return CallUnit(inUnit, kAudioUnitComplexRenderSelect, ioActionFlags, inTimeStamp,
                    inOutputBusNumber, inNumberOfPackets, outNumberOfPackets, outPacketDescriptions,
                    ioData, outMetadata, outMetadataByteSize);
}

OSStatus AudioUnitProcess(AudioUnit inUnit, AudioUnitRenderActionFlags* ioActionFlags,
                          const AudioTimeStamp* inTimeStamp, UInt32 inNumberFrames,
                          AudioBufferList* ioData)
{
    return CallUnit(inUnit, kAudioUnitProcessSelect, ioActionFlags, inTimeStamp, inNumberFrames,
                    ioData);
}

OSStatus AudioUnitProcessMultiple(AudioUnit inUnit, AudioUnitRenderActionFlags* ioActionFlags,
                                  const AudioTimeStamp* inTimeStamp, UInt32 inNumberFrames,
                                  UInt32 inNumberInputBufferLists,
                                  const AudioBufferList** inInputBufferLists,
                                  UInt32 inNumberOutputBufferLists,
                                  AudioBufferList** ioOutputBufferLists)
{
    return CallUnit(inUnit, kAudioUnitProcessMultipleSelect, ioActionFlags, inTimeStamp,
                    inNumberFrames, inNumberInputBufferLists, inInputBufferLists,
                    inNumberOutputBufferLists, ioOutputBufferLists);
}

OSStatus MusicDeviceMIDIEvent(MusicDeviceComponent inUnit, UInt32 inStatus, UInt32 inData1,
                              UInt32 inData2, UInt32 inOffsetSampleFrame)
{
    return CallUnit(inUnit, kMusicDeviceMIDIEventSelect, inStatus, inData1, inData2,
                    inOffsetSampleFrame);
}

OSStatus MusicDeviceSysEx(MusicDeviceComponent inUnit, const UInt8* inData, UInt32 inLength)
{
    return CallUnit(inUnit, kMusicDeviceSysExSelect, inData, inLength);
}

OSStatus MusicDevicePrepareInstrument(MusicDeviceComponent inUnit,
                                      MusicDeviceInstrumentID inInstrument)
{
    return CallUnit(inUnit, kMusicDevicePrepareInstrumentSelect, inInstrument);
}

OSStatus MusicDeviceReleaseInstrument(MusicDeviceComponent inUnit,
                                      MusicDeviceInstrumentID inInstrument)
{
    return CallUnit(inUnit, kMusicDeviceReleaseInstrumentSelect, inInstrument);
}

OSStatus MusicDeviceStartNote(MusicDeviceComponent inUnit, MusicDeviceInstrumentID inInstrument,
                              MusicDeviceGroupID inGroupID, NoteInstanceID* outNoteInstanceID,
                              UInt32 inOffsetSampleFrame, const MusicDeviceNoteParams* inParams)
{
    return CallUnit(inUnit, kMusicDeviceStartNoteSelect, inInstrument, inGroupID, outNoteInstanceID,
                    inOffsetSampleFrame, inParams);
}

OSStatus MusicDeviceStopNote(MusicDeviceComponent inUnit, MusicDeviceGroupID inGroupID,
                             NoteInstanceID inNoteInstanceID, UInt32 inOffsetSampleFrame)
{
    return CallUnit(inUnit, kMusicDeviceStopNoteSelect, inGroupID, inNoteInstanceID,
                    inOffsetSampleFrame);
}

OSStatus AudioOutputUnitStart(AudioUnit ci)
{
    return CallUnit(ci, kAudioOutputUnitStartSelect);
}

OSStatus AudioOutputUnitStop(AudioUnit ci)
{
    return CallUnit(ci, kAudioOutputUnitStopSelect);
}

} // extern "C"
