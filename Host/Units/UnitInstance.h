// One unit as auhost hosts it, a hosted unit in auhost's words: set-up failures are thrown as one
// line that names what the unit refused, the render-thread calls return their status.
#pragma once

#include "Units/HostedUnit.h"

#include <AudioUnit/AudioComponent.h>
#include <AudioUnit/AudioUnit.h>
#include <AudioUnit/AudioUnitProperties.h>
#include <CoreFoundation/CoreFoundation.h>

#include <optional>
#include <string>
#include <vector>

// What a unit says of one of its parameters.
struct ParameterDescription {
    std::string mName; // empty when it has none
    AudioUnitParameterValue mMinValue = 0;
    AudioUnitParameterValue mMaxValue = 0;
};

class UnitInstance {
public:
    // Opens the first component that matches. Throws std::runtime_error when there is none or
    // it does not open. [host-thread]
    explicit UnitInstance(const AudioComponentDescription& description);
    // Uninitializes the unit if it is initialized, then disposes it. [host-thread]
    ~UnitInstance();
    UnitInstance(const UnitInstance&) = delete;
    UnitInstance& operator=(const UnitInstance&) = delete;

    // Sets a global parameter. Throws std::runtime_error naming it when the unit refuses.
    // [host-thread]
    void SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value);
    // A global parameter's value; nothing when the unit does not give it. [host-thread]
    std::optional<AudioUnitParameterValue> ParameterValue(AudioUnitParameterID id) const;
    // The unit's global parameters, and what it says of one; nothing for a parameter it does not
    // describe. [host-thread]
    std::vector<AudioUnitParameterID> ParameterIDs() const;
    std::optional<ParameterDescription> DescribeParameter(AudioUnitParameterID id) const;
    // Throws std::runtime_error, in words, unless the unit has the parameter and the value lies
    // in its range. [host-thread]
    void CheckParameterValue(AudioUnitParameterID id, AudioUnitParameterValue value) const;

    // The class-info state (+1), and its restore; throw std::runtime_error. [host-thread]
    CFPropertyListRef CopyClassInfo() const;
    void RestoreClassInfo(CFPropertyListRef state);
    // Makes a user preset of this name the current one, the name a saved state carries.
    void SetPresentPreset(CFStringRef name);

    // Sample rate of the output and the largest render call, before Initialize. [host-thread]
    void Configure(Float64 sampleRate, UInt32 maxFrames);
    // [host-thread]
    void Initialize();
    // Resets the output element: the unit takes its sample rate and starts its clock again at the
    // next render call. [host-thread]
    void Reset();

    // [render-thread]
    OSStatus MIDIEvent(Byte status, Byte data1, Byte data2, UInt32 offsetFrames);
    OSStatus SysEx(const Byte* bytes, UInt32 length);
    // One render call of frames (at most maxFrames) into the buffers made by Configure.
    OSStatus Render(Float64 sampleTime, UInt32 frames);

private:
    HostedUnit mHosted;
    bool mInitialized = false;
};
