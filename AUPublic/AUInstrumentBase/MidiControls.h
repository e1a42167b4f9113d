// The controller store every group of the instrument base gets: the last value of each of the
// 128 controllers and key pressures, the channel pressure, the program and the pitch wheel.
#pragma once

#include "MIDIControlHandler.h"

class MidiControls : public MIDIControlHandler {
public:
    static constexpr UInt8 kNumberOfValues = 128;

    MidiControls() { Reset(); }

    // Pan (10) in the middle and expression (11) full; everything else 0. [render-thread]
    void Reset() override;
    // Keeps the low byte. [render-thread]
    bool SetProgramChange(UInt16 inProgram) override;
    // Takes the raw 14-bit value, centred on 8192. [render-thread]
    bool SetPitchWheel(UInt16 inValue) override;
    bool SetChannelPressure(UInt8 inValue) override;
    // Refuses keys of 128 and more. [render-thread]
    bool SetPolyPressure(UInt8 inKey, UInt8 inValue) override;
    // Refuses controller numbers of 128 and more. [render-thread]
    bool SetController(UInt8 inControllerNumber, UInt8 inValue) override;
    // Stores nothing. [render-thread]
    bool SetSysex(void* inSysexMsg) override;
    // [render-thread]
    Float32 GetPitchBend() const override { return mPitchBendNormalized * mPitchBendScale; }

    // 0 beyond the tables, where nothing is ever stored. [render-thread]
    UInt8 GetController(UInt8 inControllerNumber) const
    {
        return inControllerNumber < kNumberOfValues ? mControllerValues[inControllerNumber] : 0;
    }
    UInt8 GetPolyPressure(UInt8 inKey) const
    {
        return inKey < kNumberOfValues ? mKeyPressures[inKey] : 0;
    }
    UInt8 GetChannelPressure() const { return mChannelPressureValue; }
    UInt8 GetProgramNumber() const { return mProgramNumber; }
    UInt16 GetPitchWheelRaw() const { return mPitchWheelRaw; }

private:
    UInt8 mControllerValues[kNumberOfValues];
    UInt8 mKeyPressures[kNumberOfValues];
    UInt8 mChannelPressureValue;
    UInt8 mProgramNumber;
    UInt16 mPitchWheelRaw;
    Float32 mPitchBendScale;
    Float32 mPitchBendNormalized;
};
