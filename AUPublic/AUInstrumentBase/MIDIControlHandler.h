// The controller store of a group as the group sees it: where the last controller, pressure,
// program and pitch-wheel values of its channel are kept. Each setter answers whether it stored.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>

class MIDIControlHandler {
public:
    MIDIControlHandler() = default;
    virtual ~MIDIControlHandler() = default;
    MIDIControlHandler(const MIDIControlHandler&) = delete;
    MIDIControlHandler& operator=(const MIDIControlHandler&) = delete;

    // All values as after construction. [render-thread]
    virtual void Reset() = 0;
    // [render-thread]
    virtual bool SetProgramChange(UInt16 inProgram) = 0;
    virtual bool SetPitchWheel(UInt16 inValue) = 0;
    virtual bool SetChannelPressure(UInt8 inValue) = 0;
    virtual bool SetPolyPressure(UInt8 inKey, UInt8 inValue) = 0;
    virtual bool SetController(UInt8 inControllerNumber, UInt8 inValue) = 0;
    virtual bool SetSysex(void* inSysexMsg) = 0;
    // The wheel's bend in semitones. [render-thread]
    virtual Float32 GetPitchBend() const = 0;
};
