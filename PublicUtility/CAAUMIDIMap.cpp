#include "CAAUMIDIMap.h"

#include <CoreFoundation/CFBase.h>

#include <pthread.h>

#include <cmath>
#include <cstdio>

namespace {

constexpr double kLogFloor = 1e-5;
constexpr double kOneThird = 0.3333333333333333;

// A curve made odd: a negative argument is mirrored through the origin. Zero and NaN count as
// not negative.
template <class Curve> double Signed(double x, Curve curve)
{
    return x < 0 ? -curve(-x) : curve(x);
}

double Square(double x)
{
    return x * x;
}

double CubeRoot(double x)
{
    return std::pow(x, kOneThird);
}

double SquareRoot(double x)
{
    return std::sqrt(x);
}

// Whether a data byte lies in the upper half of its range.
bool UpperHalf(UInt8 value)
{
    return value > 63;
}

pthread_once_t sOnce = PTHREAD_ONCE_INIT;

} // namespace

double MIDICurves::Identity(double x)
{
    return x;
}

double MIDICurves::FlooredLog(double x)
{
    return std::log(x < kLogFloor ? kLogFloor : x);
}

double MIDICurves::Exp(double x)
{
    return std::exp(x);
}

double MIDICurves::SignedSquareRoot(double x)
{
    return Signed(x, SquareRoot);
}

double MIDICurves::SignedSquare(double x)
{
    return Signed(x, Square);
}

double MIDICurves::SignedCubeRoot(double x)
{
    return Signed(x, CubeRoot);
}

double MIDICurves::Cube(double x)
{
    return x * x * x;
}

AllMidiTransformers* gAllMidiTransformers = nullptr;

void InitAllMidiTransformers()
{
    gAllMidiTransformers = new AllMidiTransformers;
}

void CheckInitAllMidiTransformers()
{
    pthread_once(&sOnce, InitAllMidiTransformers);
}

MIDIValueTransformer* CAAUMIDIMap::GetTransformer(UInt32 inParameterFlags)
{
    // Always through the once-control: a plain test of the pointer would race with the thread
    // that makes the set.
    CheckInitAllMidiTransformers();
    AllMidiTransformers& all = *gAllMidiTransformers;
    switch (GetAudioUnitParameterDisplayType(inParameterFlags)) {
    case kAudioUnitParameterFlag_DisplayLogarithmic:
        return &all.logTransformer;
    case kAudioUnitParameterFlag_DisplayExponential:
        return &all.expTransformer;
    case kAudioUnitParameterFlag_DisplaySquareRoot:
        return &all.sqrtTransformer;
    case kAudioUnitParameterFlag_DisplaySquared:
        return &all.squareTransformer;
    case kAudioUnitParameterFlag_DisplayCubed:
        return &all.cubeTransformer;
    case kAudioUnitParameterFlag_DisplayCubeRoot:
        return &all.cubeRtTransformer;
    default:
        return &all.linearTransformer;
    }
}

bool CAAUMIDIMap::MIDI_Matches(UInt8 inChannel, UInt8 inData1, UInt8 inData2,
                               Float32& outLinear) const
{
    if (!IsAnyChannel() && (mStatus & 0x0F) != inChannel)
        return false;

    // A switch: one half of the tested byte's range matches, with the value of its half.
    auto bipolar = [this, &outLinear](UInt8 tested) {
        const bool on = IsBipolar_OnValue();
        if (UpperHalf(tested) != on)
            return false;
        outLinear = on ? 1.0f : 0.0f;
        return true;
    };
    auto fraction = [](double value, double full) { return Float32(value / full); };

    if (IsKeyEvent()) {
        const bool pressure = IsKeyPressure();
        if (IsBipolar())
            return bipolar(pressure ? inData2 : inData1);
        if (IsAnyNote()) {
            outLinear = fraction(pressure ? inData2 : inData1, 127);
            return true;
        }
        if (inData1 != mData1)
            return false;
        outLinear = pressure ? fraction(inData2, 127) : 1.0f;
        return true;
    }
    if (IsControlChange()) {
        if (inData1 != mData1)
            return false;
        if (IsBipolar())
            return bipolar(inData2);
        outLinear = fraction(inData2, 127);
        return true;
    }
    if (IsPatchChange()) {
        if (inData1 != mData1)
            return false;
        outLinear = 1.0f;
        return true;
    }
    // Only pitch bend and channel pressure carry a value of their own; a system message or a
    // status without its top bit has none to set a parameter from.
    if (!IsPitchBend() && !IsChannelPressure())
        return false;
    if (IsBipolar())
        return bipolar(inData1);
    outLinear =
        IsPitchBend() ? fraction((UInt32(inData2) << 7) | inData1, 16383) : fraction(inData1, 127);
    return true;
}

Float32 CAAUMIDIMap::ParamValueFromMIDILinear(Float32 inLinear) const
{
    const Float32 low = IsSubRange() ? mSubRangeMin : mRangeMin;
    const Float32 high = IsSubRange() ? mSubRangeMax : mRangeMax;
    const Float32 scaled = inLinear * (high - low) + low;
    // A map that was never completed has no curve: its value stays linear.
    if (mTransformer == nullptr)
        return scaled;
    return Float32(mTransformer->fromlinear(scaled));
}

void CAAUMIDIMap::Print() const
{
    printf("CAAUMIDIMap:%p, (%u/%u), mParamID %d, IsValid:%c, Status:0x%X, mData1 %d, "
           "Flags:0x%X\n",
           static_cast<const void*>(this), unsigned(mScope), unsigned(mElement), int(mParameterID),
           IsValid() ? 'T' : 'F', unsigned(mStatus), int(mData1), unsigned(mFlags));
}

void FillInMap(CAAUMIDIMap& map, CAMIDIMapTarget& unit)
{
    // Zeroed, so that a parameter the unit does not describe leaves a defined range and curve
    // rather than whatever the stack held.
    AudioUnitParameterInfo info{};
    unit.GetParameterInfo(map.mScope, map.mParameterID, info);
    // A name handed over for release belongs to whoever asked for the description: us.
    if ((info.flags & kAudioUnitParameterFlag_CFNameRelease) != 0 &&
        (info.flags & kAudioUnitParameterFlag_HasCFNameString) != 0 && info.cfNameString != nullptr)
        CFRelease(info.cfNameString);
    if (map.IsSubRange()) {
        map.mRangeMin = map.mSubRangeMin;
        map.mRangeMax = map.mSubRangeMax;
    } else {
        map.mRangeMin = info.minValue;
        map.mRangeMax = info.maxValue;
    }
    map.mTransformer = CAAUMIDIMap::GetTransformer(info.flags);
}

int CompareMIDIMap::compare(const AUParameterMIDIMapping& a, const AUParameterMIDIMapping& b) const
{
    const UInt8 kindA = a.mStatus & 0xF0;
    const UInt8 kindB = b.mStatus & 0xF0;
    if (kindA != kindB)
        return kindA < kindB ? -1 : 1;
    if (a.mStatus >= 0xB0 && a.mStatus < 0xD0 && a.mData1 != b.mData1)
        return a.mData1 < b.mData1 ? -1 : 1;
    return 0;
}
