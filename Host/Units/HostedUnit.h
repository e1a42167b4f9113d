// One unit opened the way a host opens it: found through the component host, made and driven by
// host calls alone, never by the unit's own classes, with stereo output buffers for its render
// calls. Every call returns the unit's status; auhost, the validator and the tests put their own
// words on top. Disposed at the end of the scope.
#pragma once

#include "CAStereoRender.h"

#include <AudioUnit/AudioComponent.h>
#include <AudioUnit/AudioUnit.h>
#include <AudioUnit/AudioUnitProperties.h>

#include <string>
#include <vector>

class HostedUnit {
public:
    // The frames of the output buffers until SetMaximumFrames says otherwise.
    static constexpr UInt32 kMaxFrames = 4096;

    // Makes an instance of the component and initializes it if asked; OpenStatus() tells how
    // that went, kAudio_ParamError for no component. [host-thread]
    explicit HostedUnit(AudioComponent component, bool initialize = false);
    // The same with the first component that matches the description. [host-thread]
    HostedUnit(const AudioComponentDescription& description, bool initialize);
    ~HostedUnit();
    HostedUnit(const HostedUnit&) = delete;
    HostedUnit& operator=(const HostedUnit&) = delete;

    OSStatus OpenStatus() const { return mOpenStatus; }
    AudioUnit Unit() const { return mUnit; }
    // Disposes the instance now (its destructor's lines can then be checked). [host-thread]
    void Dispose();

    // [host-thread]
    OSStatus Initialize() const { return AudioUnitInitialize(mUnit); }
    OSStatus Uninitialize() const { return AudioUnitUninitialize(mUnit); }
    OSStatus Reset(AudioUnitScope scope = kAudioUnitScope_Global) const;
    // Output buffers of this many frames, silent; render calls are never given more. Throws
    // std::bad_alloc. [host-thread]
    void SetMaximumFrames(UInt32 frames) { mOutput.Allocate(frames); }

    // One render call of `frames` at `sampleTime`; the next sample time follows on by default.
    // [render-thread]
    OSStatus Render(UInt32 frames, Float64 sampleTime);
    OSStatus Render(UInt32 frames = 512);
    // One render call with the host time of its first frame given, as a host whose audio clock
    // is known gives it. [render-thread]
    OSStatus RenderAtHostTime(UInt32 frames, Float64 sampleTime, UInt64 hostTime);
    // One render call at the sample time (44.1 kHz) the host clock has reached since the first
    // such call, as a host playing in real time makes them. [render-thread]
    OSStatus RenderInRealTime(UInt32 frames = 512);
    Float64 NextSampleTime() const { return mNextSampleTime; }
    // The buffer of channel 0 or 1 that render calls write into.
    Float32* Channel(UInt32 index) const { return mOutput.Channel(index); }

    // [render-thread]
    OSStatus MIDI(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset = 0) const;
    OSStatus SysEx(const Byte* bytes, UInt32 length) const;

    OSStatus SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value,
                          AudioUnitScope scope = kAudioUnitScope_Global) const;
    OSStatus GetParameter(AudioUnitParameterID id, AudioUnitParameterValue& value,
                          AudioUnitScope scope = kAudioUnitScope_Global) const;
    // The value, 0 when the unit does not give it.
    AudioUnitParameterValue Parameter(AudioUnitParameterID id) const;
    OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, const void* data,
                         UInt32 size) const;
    // The parameters of element 0 of the scope; the status of the read. [host-thread]
    OSStatus ParameterList(AudioUnitScope scope, std::vector<AudioUnitParameterID>& ids) const;
    // The parameter's info through the property; the status of the read. Without `name` the
    // caller releases the info's name when its flags say so; with it, the name is given as text
    // (the CoreFoundation name if the info has one, else the C name), released, and cleared from
    // the info. [host-thread]
    OSStatus ParameterInfo(AudioUnitParameterID id, AudioUnitParameterInfo& info,
                           AudioUnitScope scope = kAudioUnitScope_Global,
                           std::string* name = nullptr) const;
    // The value strings as text (empty for an entry that is not a string); the status of the
    // read. [host-thread]
    OSStatus ValueStrings(AudioUnitParameterID id, std::vector<std::string>& strings,
                          AudioUnitScope scope = kAudioUnitScope_Global) const;

    // The saved state (the class-info property, +1 to the caller), and its restore.
    // [host-thread]
    OSStatus CopyClassInfo(CFPropertyListRef& state) const;
    OSStatus RestoreClassInfo(CFPropertyListRef state) const;

private:
    OSStatus mOpenStatus = noErr;
    AudioUnit mUnit = nullptr;
    Float64 mNextSampleTime = 0;
    UInt64 mRealTimeStart = 0;
    // Two non-interleaved channels, the canonical output of a new unit.
    CAStereoOutput mOutput;
};
