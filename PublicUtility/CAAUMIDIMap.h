// One binding of a kind of MIDI message to a unit parameter, as the manager stores it: the host's
// 32-byte record, completed with the parameter's range and the curve its display type asks for.
// Also the curves themselves and the order the manager keeps its maps in.
#pragma once

#include "CAMIDIMapTarget.h"

#include <AudioUnit/AudioUnitProperties.h>

// Turns a value into the linear domain of a curve and back. Stateless: one instance of each
// curve serves every map of the process. [any-thread]
class MIDIValueTransformer {
public:
    virtual double tolinear(double x) = 0;
    virtual double fromlinear(double x) = 0;
    virtual ~MIDIValueTransformer() = default;
};

// The curves in each direction; "signed" ones mirror a negative argument through the origin.
namespace MIDICurves {
double Identity(double x);
double FlooredLog(double x);
double Exp(double x);
double SignedSquareRoot(double x);
double SignedSquare(double x);
double SignedCubeRoot(double x);
double Cube(double x);
} // namespace MIDICurves

// A transformer whose two directions are fixed curves: each of the seven is one of these.
template <double (*ToLinear)(double), double (*FromLinear)(double)>
class MIDICurveTransformer : public MIDIValueTransformer {
public:
    double tolinear(double x) override { return ToLinear(x); }
    double fromlinear(double x) override { return FromLinear(x); }
};

class MIDILinearTransformer
    : public MIDICurveTransformer<MIDICurves::Identity, MIDICurves::Identity> {};
class MIDILogTransformer : public MIDICurveTransformer<MIDICurves::FlooredLog, MIDICurves::Exp> {};
class MIDIExpTransformer : public MIDICurveTransformer<MIDICurves::Exp, MIDICurves::FlooredLog> {};
class MIDISqrtTransformer
    : public MIDICurveTransformer<MIDICurves::SignedSquareRoot, MIDICurves::SignedSquare> {};
class MIDISquareTransformer
    : public MIDICurveTransformer<MIDICurves::SignedSquare, MIDICurves::SignedSquareRoot> {};
class MIDICubeRtTransformer
    : public MIDICurveTransformer<MIDICurves::SignedCubeRoot, MIDICurves::Cube> {};
class MIDICubeTransformer
    : public MIDICurveTransformer<MIDICurves::Cube, MIDICurves::SignedCubeRoot> {};

// One instance of every curve, made once per process and never destroyed.
struct AllMidiTransformers {
    MIDILinearTransformer linearTransformer;
    MIDILogTransformer logTransformer;
    MIDIExpTransformer expTransformer;
    MIDISqrtTransformer sqrtTransformer;
    MIDISquareTransformer squareTransformer;
    MIDICubeRtTransformer cubeRtTransformer;
    MIDICubeTransformer cubeTransformer;
};

// Null until CheckInitAllMidiTransformers has run; read-only afterwards.
extern AllMidiTransformers* gAllMidiTransformers;
// Makes the set; run only through CheckInitAllMidiTransformers.
void InitAllMidiTransformers();
// Makes the set exactly once, whatever the thread. [any-thread]
void CheckInitAllMidiTransformers();

class CAAUMIDIMap : public AUParameterMIDIMapping {
public:
    // An empty map: every field zero, so not valid.
    CAAUMIDIMap() : AUParameterMIDIMapping() {}
    // The host's record; range and curve stay zero until FillInMap.
    explicit CAAUMIDIMap(const AUParameterMIDIMapping& inMap) : AUParameterMIDIMapping(inMap) {}

    // [any-thread]
    bool IsValid() const { return mStatus != 0; }
    bool IsAnyChannel() const { return (mFlags & kAUParameterMIDIMapping_AnyChannelFlag) != 0; }
    bool IsAnyNote() const { return (mFlags & kAUParameterMIDIMapping_AnyNoteFlag) != 0; }
    bool IsSubRange() const { return (mFlags & kAUParameterMIDIMapping_SubRange) != 0; }
    bool IsBipolar() const { return (mFlags & kAUParameterMIDIMapping_Bipolar) != 0; }
    bool IsBipolar_OnValue() const { return (mFlags & kAUParameterMIDIMapping_Bipolar_On) != 0; }
    // -1 for a map of every channel.
    int Channel() const { return IsAnyChannel() ? -1 : int(mStatus & 0x0F); }
    bool IsKeyEvent() const { return mStatus >= 0x80 && mStatus < 0xB0; }
    bool IsKeyPressure() const { return (mStatus & 0xF0) == 0xA0; }
    bool IsControlChange() const { return (mStatus & 0xF0) == 0xB0; }
    bool IsPatchChange() const { return (mStatus & 0xF0) == 0xC0; }
    bool IsChannelPressure() const { return (mStatus & 0xF0) == 0xD0; }
    bool IsPitchBend() const { return (mStatus & 0xF0) == 0xE0; }

    // Whether a message of this map's kind with these bytes drives the parameter, and the value
    // it gives between 0 and 1. Maps of a kind that carries no value (system messages, or a
    // status without its top bit) never match. [render-thread]
    bool MIDI_Matches(UInt8 inChannel, UInt8 inData1, UInt8 inData2, Float32& outLinear) const;
    // The parameter value for a linear value: scaled into the range, then through the curve.
    // [render-thread]
    Float32 ParamValueFromMIDILinear(Float32 inLinear) const;
    // One line on standard output. [any-thread]
    void Print() const;

    // The curve for a parameter's flags (its display type). [any-thread]
    static MIDIValueTransformer* GetTransformer(UInt32 inParameterFlags);

    Float32 mRangeMin = 0;
    Float32 mRangeMax = 0;
    // Points into the shared set; never owned.
    MIDIValueTransformer* mTransformer = nullptr;
};

// Completes a map from the unit's description of its parameter: range (unless the map brings a
// sub-range) and curve. A parameter the unit does not describe gets a range of 0 to 0 and the
// linear curve. [host-thread]
void FillInMap(CAAUMIDIMap& map, CAMIDIMapTarget& unit);

// The order of the manager's maps: by message kind, then, for control and program changes, by
// controller or program number. Channel, flags and parameter never take part, so every map a
// message could match stands in one run. [any-thread]
struct CompareMIDIMap {
    int compare(const AUParameterMIDIMapping& a, const AUParameterMIDIMapping& b) const;
    bool operator()(const AUParameterMIDIMapping& a, const AUParameterMIDIMapping& b) const
    {
        return compare(a, b) < 0;
    }
    // True where a scan of one run ends.
    bool Finish(const AUParameterMIDIMapping& a, const AUParameterMIDIMapping& b) const
    {
        return compare(a, b) != 0;
    }
};
