#include "MidiControls.h"

#include <cstring>

namespace {

constexpr UInt8 kPanController = 10;
constexpr UInt8 kExpressionController = 11;
constexpr Float32 kDefaultPitchBendSemitones = 24.0f;
constexpr double kPitchWheelCentre = 8192.0;

} // namespace

void MidiControls::Reset()
{
    std::memset(mControllerValues, 0, sizeof(mControllerValues));
    std::memset(mKeyPressures, 0, sizeof(mKeyPressures));
    mControllerValues[kPanController] = 64;
    mControllerValues[kExpressionController] = 127;
    mChannelPressureValue = 0;
    mProgramNumber = 0;
    mPitchWheelRaw = 0;
    mPitchBendScale = kDefaultPitchBendSemitones;
    mPitchBendNormalized = 0.0f;
}

bool MidiControls::SetProgramChange(UInt16 inProgram)
{
    mProgramNumber = static_cast<UInt8>(inProgram);
    return true;
}

bool MidiControls::SetPitchWheel(UInt16 inValue)
{
    mPitchWheelRaw = inValue;
    mPitchBendNormalized = static_cast<Float32>((static_cast<SInt16>(inValue) - kPitchWheelCentre) /
                                                kPitchWheelCentre);
    return true;
}

bool MidiControls::SetChannelPressure(UInt8 inValue)
{
    mChannelPressureValue = inValue;
    return true;
}

bool MidiControls::SetPolyPressure(UInt8 inKey, UInt8 inValue)
{
    if (inKey >= kNumberOfValues)
        return false;
    mKeyPressures[inKey] = inValue;
    return true;
}

bool MidiControls::SetController(UInt8 inControllerNumber, UInt8 inValue)
{
    if (inControllerNumber >= kNumberOfValues)
        return false;
    mControllerValues[inControllerNumber] = inValue;
    return true;
}

bool MidiControls::SetSysex(void* /*inSysexMsg*/)
{
    return false;
}
