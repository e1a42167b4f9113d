// A unit opened the way a host opens it: found through the component host among the bundles of
// a folder put on AUDIO_COMPONENT_PATH, made, initialized and driven by host calls alone, with
// stereo output buffers for its render calls. Disposed at the end of the scope.
#pragma once

#include "CAStereoRender.h"
#include "CFText.h"

#include <AudioUnit/AudioComponent.h>
#include <AudioUnit/AudioUnit.h>
#include <AudioUnit/AudioUnitProperties.h>
#include <CoreFoundation/CFArray.h>

#include <string>
#include <vector>

class HostedUnit {
public:
    static constexpr UInt32 kMaxFrames = 4096;

    // Puts `bundleFolder` on the search path and opens the component described; initializes it
    // unless asked not to. OpenStatus() tells how that went.
    HostedUnit(const std::string& bundleFolder, const AudioComponentDescription& description,
               bool initialize = true);
    ~HostedUnit();
    HostedUnit(const HostedUnit&) = delete;
    HostedUnit& operator=(const HostedUnit&) = delete;

    OSStatus OpenStatus() const { return mOpenStatus; }
    AudioUnit Unit() const { return mUnit; }
    // Disposes the instance now (its destructor's lines can then be checked).
    void Dispose();

    // One render call of `frames` at `sampleTime`; the next sample time follows on by default.
    OSStatus Render(UInt32 frames, Float64 sampleTime);
    OSStatus Render(UInt32 frames = 512);
    // One render call with the host time of its first frame given, as a host whose audio clock
    // is known gives it.
    OSStatus RenderAtHostTime(UInt32 frames, Float64 sampleTime, UInt64 hostTime);
    // One render call at the sample time (44.1 kHz) the host clock has reached since the first
    // such call, as a host playing in real time makes them.
    OSStatus RenderInRealTime(UInt32 frames = 512);
    Float64 NextSampleTime() const { return mNextSampleTime; }
    // The buffer of channel 0 or 1 that render calls write into.
    Float32* Channel(UInt32 index) const { return mOutput.Channel(index); }

    OSStatus MIDI(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset = 0) const;
    OSStatus SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value,
                          AudioUnitScope scope = kAudioUnitScope_Global) const;
    AudioUnitParameterValue Parameter(AudioUnitParameterID id) const;
    OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, const void* data,
                         UInt32 size) const;
    OSStatus Reset(AudioUnitScope scope = kAudioUnitScope_Global) const;
    // The parameter's info through the property (its name the caller's to release when the flags
    // say so); the status of the read.
    OSStatus ParameterInfo(AudioUnitParameterID id, AudioUnitParameterInfo& info,
                           AudioUnitScope scope = kAudioUnitScope_Global) const;
    // The value strings as text; the status of the read.
    OSStatus ValueStrings(AudioUnitParameterID id, std::vector<std::string>& strings,
                          AudioUnitScope scope = kAudioUnitScope_Global) const;

private:
    OSStatus mOpenStatus = noErr;
    AudioUnit mUnit = nullptr;
    Float64 mNextSampleTime = 0;
    UInt64 mRealTimeStart = 0;
    CAStereoOutput mOutput;
};
