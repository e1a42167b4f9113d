// The part of a unit that takes MIDI: splits raw messages into calls of typed handlers, walks
// packet lists and SysEx, applies the unit's MIDI-to-parameter maps and answers the properties
// that manage them. A mix-in beside AUBase; the unit that carries it is its owner.
#pragma once

#include <AudioUnit/AudioUnitProperties.h>
#include <CoreFoundation/CFURL.h>
#include <CoreMIDI/MIDIServices.h>

#include <memory>

class AUBase;
class CAAUMIDIMapManager;

class AUMIDIBase {
public:
    // [host-thread]
    explicit AUMIDIBase(AUBase* inBase);
    virtual ~AUMIDIBase();
    AUMIDIBase(const AUMIDIBase&) = delete;
    AUMIDIBase& operator=(const AUMIDIBase&) = delete;

    // The status byte split into kind and channel, on to HandleMidiEvent. [render-thread]
    virtual OSStatus MIDIEvent(UInt32 inStatus, UInt32 inData1, UInt32 inData2,
                               UInt32 inOffsetSampleFrame);
    // -10867 before initialization, else HandleSysEx. [render-thread]
    virtual OSStatus SysEx(const UInt8* inData, UInt32 inLength);

    // The mapping properties (41 to 44) and the MIDI name document (1006), in the global scope
    // and element 0 only; -10879 for any other id. [host-thread]
    virtual OSStatus DelegateGetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                             AudioUnitElement inElement, UInt32& outDataSize,
                                             Boolean& outWritable);
    // ioDataSize: the room at outData on entry, the bytes written on return; the map list fills
    // only the whole records that fit.
    virtual OSStatus DelegateGetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement, void* outData,
                                         UInt32& ioDataSize);
    virtual OSStatus DelegateSetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement, const void* inData,
                                         UInt32 inDataSize);

    // Learns or applies the maps, then calls the handler of the message; 0 whatever the handler
    // answers, -10867 before initialization. [render-thread]
    virtual OSStatus HandleMidiEvent(UInt8 inStatus, UInt8 inChannel, UInt8 inData1, UInt8 inData2,
                                     UInt32 inStartFrame);

    // Every message of every packet, at the packet's time stamp taken as a start frame; data
    // bytes missing at a packet's end count as 0. -10867 before initialization, -50 for no
    // list. [render-thread]
    OSStatus HandleMIDIPacketList(const MIDIPacketList* inList);
    // Where the message after the one at `inEvent` begins, never beyond `inEnd`. [any-thread]
    static const Byte* NextMIDIEvent(const Byte* inEvent, const Byte* inEnd);

protected:
    // The handler of every message that is not a note. [render-thread]
    virtual OSStatus HandleNonNoteEvent(UInt8 inStatus, UInt8 inChannel, UInt8 inData1,
                                        UInt8 inData2, UInt32 inStartFrame);
    // The unit's MIDI name document; null asks only whether there is one. [host-thread]
    virtual OSStatus GetXMLNames(CFURLRef* outNameDocument);

    // The typed handlers; the defaults do nothing. [render-thread]
    virtual OSStatus HandleNoteOn(UInt8 /*inChannel*/, UInt8 /*inNoteNumber*/, UInt8 /*inVelocity*/,
                                  UInt32 /*inStartFrame*/)
    {
        return noErr;
    }
    virtual OSStatus HandleNoteOff(UInt8 /*inChannel*/, UInt8 /*inNoteNumber*/,
                                   UInt8 /*inVelocity*/, UInt32 /*inStartFrame*/)
    {
        return noErr;
    }
    virtual OSStatus HandleControlChange(UInt8 /*inChannel*/, UInt8 /*inController*/,
                                         UInt8 /*inValue*/, UInt32 /*inStartFrame*/)
    {
        return noErr;
    }
    // inPitch1 holds the low 7 bits, inPitch2 the high ones.
    virtual OSStatus HandlePitchWheel(UInt8 /*inChannel*/, UInt8 /*inPitch1*/, UInt8 /*inPitch2*/,
                                      UInt32 /*inStartFrame*/)
    {
        return noErr;
    }
    virtual OSStatus HandleChannelPressure(UInt8 /*inChannel*/, UInt8 /*inValue*/,
                                           UInt32 /*inStartFrame*/)
    {
        return noErr;
    }
    virtual OSStatus HandleProgramChange(UInt8 /*inChannel*/, UInt8 /*inValue*/) { return noErr; }
    virtual OSStatus HandlePolyPressure(UInt8 /*inChannel*/, UInt8 /*inKey*/, UInt8 /*inValue*/,
                                        UInt32 /*inStartFrame*/)
    {
        return noErr;
    }
    virtual OSStatus HandleResetAllControllers(UInt8 /*inChannel*/) { return noErr; }
    virtual OSStatus HandleAllNotesOff(UInt8 /*inChannel*/) { return noErr; }
    virtual OSStatus HandleAllSoundOff(UInt8 /*inChannel*/) { return noErr; }
    virtual OSStatus HandleSysEx(const UInt8* /*inData*/, UInt32 /*inLength*/) { return noErr; }

private:
    AUBase* const mOwnerUnit;
    const std::unique_ptr<CAAUMIDIMapManager> mMIDIMaps;
};
