// What the MIDI maps need of the unit whose parameters they drive: a parameter's description
// (its range and display curve), setting a parameter from a matched message, and the instance
// the parameter listeners are told about. The unit's core implements it, so the maps stay below
// the framework.
#pragma once

#include <AudioUnit/AudioUnitProperties.h>

class CAMIDIMapTarget {
public:
    // A parameter the unit does not describe may leave `outParameterInfo` as it was or throw.
    // [host-thread]
    virtual OSStatus GetParameterInfo(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                      AudioUnitParameterInfo& outParameterInfo) = 0;
    // May refuse by status or by throwing. [render-thread]
    virtual OSStatus SetParameter(AudioUnitParameterID inID, AudioUnitScope inScope,
                                  AudioUnitElement inElement, AudioUnitParameterValue inValue,
                                  UInt32 inBufferOffsetInFrames) = 0;
    // [any-thread]
    virtual AudioComponentInstance MappedInstance() const = 0;

protected:
    CAMIDIMapTarget() = default;
    CAMIDIMapTarget(const CAMIDIMapTarget&) = default;
    CAMIDIMapTarget& operator=(const CAMIDIMapTarget&) = default;
    ~CAMIDIMapTarget() = default;
};
