// The base of music devices: a unit that hosts drive with MIDI, SysEx and note calls. It joins
// AUBase and the MIDI part, routes the music-device calls and the properties AUBase does not know
// to the MIDI part, answers the instrument count and turns notes into StartNote and StopNote.
#pragma once

#include "AUBase.h"
#include "AUMIDIBase.h"

class MusicDeviceBase : public AUBase, public AUMIDIBase {
public:
    // [host-thread]
    MusicDeviceBase(AudioComponentInstance inInstance, UInt32 numInputs, UInt32 numOutputs,
                    UInt32 numGroups = 0);

    // The instrument count (1000), then AUBase, then the MIDI part. [host-thread]
    OSStatus GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                             AudioUnitElement inElement, UInt32& outDataSize,
                             Boolean& outWritable) override;
    // The instrument count, then AUBase. [host-thread]
    OSStatus GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                         AudioUnitElement inElement, void* outData) override;
    // GetProperty (the unit's override first), then the MIDI part, which is told the room: the
    // map list can grow or shrink between the information and the read. [host-thread]
    OSStatus GetPropertyWithSize(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                 AudioUnitElement inElement, void* outData,
                                 UInt32& ioDataSize) override;
    // AUBase, then the MIDI part. [host-thread]
    OSStatus SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                         AudioUnitElement inElement, const void* inData,
                         UInt32 inDataSize) override;

    // [render-thread]
    OSStatus MIDIEvent(UInt32 inStatus, UInt32 inData1, UInt32 inData2,
                       UInt32 inOffsetSampleFrame) override
    {
        return AUMIDIBase::MIDIEvent(inStatus, inData1, inData2, inOffsetSampleFrame);
    }
    OSStatus SysEx(const UInt8* inData, UInt32 inLength) override
    {
        return AUMIDIBase::SysEx(inData, inLength);
    }

protected:
    // A note on starts a note of the channel's group with the key as pitch. [render-thread]
    OSStatus HandleNoteOn(UInt8 inChannel, UInt8 inNoteNumber, UInt8 inVelocity,
                          UInt32 inStartFrame) override;
    // Stops the note of the channel's group whose id is the key; the release velocity is not
    // used. [render-thread]
    OSStatus HandleNoteOff(UInt8 inChannel, UInt8 inNoteNumber, UInt8 inVelocity,
                           UInt32 inStartFrame) override;

    // [host-thread]
    virtual OSStatus GetInstrumentCount(UInt32& outInstCount) const;
};
