// One instance of the unit under test, a hosted unit as the validator's checks drive it:
// preparation as a host makes it, render calls into buffers of whatever output format the unit
// has, parameters of every scope and the saved state, failures of set-up thrown as CheckAbort.
#pragma once

#include "CFOwned.h"
#include "Units/HostedUnit.h"

#include <AudioUnit/AudioComponent.h>
#include <AudioUnit/AudioUnit.h>
#include <AudioUnit/AudioUnitProperties.h>
#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <vector>

// A CoreFoundation object the validator owns.
using CFHolder = CFOwned<CFTypeRef>;

// Where a parameter lives. Elements other than 0 are not probed.
struct ParameterAddress {
    AudioUnitScope mScope = kAudioUnitScope_Global;
    AudioUnitParameterID mID = 0;
    // "parameter 3 (global)"
    std::string Text() const;
};

const char* ScopeName(AudioUnitScope scope);

class UnitUnderTest {
public:
    // The largest slice the validator asks for, and so the maximum frames it prepares.
    static constexpr UInt32 kLargestSlice = 4096;

    // Opens an instance; throws CheckAbort when the component host cannot make one. [host-thread]
    explicit UnitUnderTest(AudioComponent component);
    UnitUnderTest(const UnitUnderTest&) = delete;
    UnitUnderTest& operator=(const UnitUnderTest&) = delete;

    AudioUnit Unit() const { return mHosted.Unit(); }

    // What a host does before it plays: the sample rate of the output, the maximum frames per
    // slice, initialize and reset. Throws CheckAbort naming the call that failed. [host-thread]
    void Prepare(Float64 sampleRate = 44100, UInt32 maxFrames = kLargestSlice);
    OSStatus Initialize() const { return mHosted.Initialize(); }
    OSStatus Uninitialize() const { return mHosted.Uninitialize(); }
    // Resets the global scope and starts the sample time again at 0.
    OSStatus Reset();

    // One render call of `frames` at the next sample time. [render-thread]
    OSStatus Render(UInt32 frames);
    Float64 SampleTime() const { return mSampleTime; }
    // What is wrong with the output of the last successful render: a NaN, an infinity, a
    // denormal, or (expectSilence) a sample that is not 0; empty when nothing is.
    std::string OutputProblem(bool expectSilence) const;

    // [render-thread]
    OSStatus MIDI(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset) const;

    OSStatus SetParameter(const ParameterAddress& address, Float32 value) const;
    OSStatus GetParameter(const ParameterAddress& address, Float32& value) const;
    // Every parameter of element 0 of the global, input, output, group and part scopes.
    std::vector<ParameterAddress> Parameters() const;
    // The parameter's info through the property, its name released; the status of the read.
    OSStatus ParameterInfo(const ParameterAddress& address, AudioUnitParameterInfo& info,
                           std::string* name = nullptr) const;
    // The value strings as text; empty when the parameter has none.
    std::vector<std::string> ValueStrings(const ParameterAddress& address) const;

    // The saved state (the class-info property); throws CheckAbort when it cannot be read.
    CFHolder CopyState() const;
    // The saved state as the bytes a host writes into its document.
    std::vector<UInt8> SavedState() const;
    OSStatus RestoreState(CFPropertyListRef state) const;

private:
    // Buffers of the output's format for slices of up to maxFrames (and one frame more).
    void MakeBuffers(UInt32 maxFrames);

    HostedUnit mHosted;
    Float64 mSampleTime = 0;
    bool mInterleaved = false;
    UInt32 mChannels = 2;
    UInt32 mLastFrames = 0;
    std::vector<std::vector<Float32>> mBuffers;
    std::vector<UInt8> mBufferList;
};

// The bytes of a property list in the XML form; empty when it cannot be written.
std::vector<UInt8> SerializedBytes(CFPropertyListRef list);
