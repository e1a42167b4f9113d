// Music devices: units that play notes. The MIDI and note host calls, and the records they pass.
#pragma once

#include <AudioUnit/AUComponent.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef AudioComponentInstance MusicDeviceComponent;
typedef UInt32 MusicDeviceInstrumentID;
typedef UInt32 MusicDeviceGroupID;
typedef UInt32 NoteInstanceID;

// A note's instrument given as this value plays the instrument its group already has.
enum { kMusicNoteEvent_UseGroupInstrument = 0xFFFFFFFF, kMusicNoteEvent_Unused = 0xFFFFFFFF };

struct NoteParamsControlValue {
    AudioUnitParameterID mID;
    AudioUnitParameterValue mValue;
};
typedef struct NoteParamsControlValue NoteParamsControlValue;

// Pitch and velocity of a note, followed by argCount - 2 control values.
struct MusicDeviceNoteParams {
    UInt32 argCount;
    Float32 mPitch;
    Float32 mVelocity;
    NoteParamsControlValue mControls[1]; // variable length
};
typedef struct MusicDeviceNoteParams MusicDeviceNoteParams;

// [render-thread]
OSStatus MusicDeviceMIDIEvent(MusicDeviceComponent inUnit, UInt32 inStatus, UInt32 inData1,
                              UInt32 inData2, UInt32 inOffsetSampleFrame);
// [render-thread]
OSStatus MusicDeviceSysEx(MusicDeviceComponent inUnit, const UInt8* inData, UInt32 inLength);
// [host-thread]
OSStatus MusicDevicePrepareInstrument(MusicDeviceComponent inUnit,
                                      MusicDeviceInstrumentID inInstrument);
// [host-thread]
OSStatus MusicDeviceReleaseInstrument(MusicDeviceComponent inUnit,
                                      MusicDeviceInstrumentID inInstrument);
// [render-thread]
OSStatus MusicDeviceStartNote(MusicDeviceComponent inUnit, MusicDeviceInstrumentID inInstrument,
                              MusicDeviceGroupID inGroupID, NoteInstanceID* outNoteInstanceID,
                              UInt32 inOffsetSampleFrame, const MusicDeviceNoteParams* inParams);
// [render-thread]
OSStatus MusicDeviceStopNote(MusicDeviceComponent inUnit, MusicDeviceGroupID inGroupID,
                             NoteInstanceID inNoteInstanceID, UInt32 inOffsetSampleFrame);

#ifdef __cplusplus
}
#endif
