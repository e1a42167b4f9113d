// One render call of a stereo slice into two buffers of the caller's, made as a host makes it:
// output bus 0, a buffer list and a time stamp with a valid sample time built for the call.
#pragma once

#include <AudioUnit/AudioUnit.h>

inline OSStatus CARenderStereo(AudioUnit unit, Float64 sampleTime, UInt32 frames, Float32* left,
                               Float32* right, UInt32 bytesPerBuffer)
{
    struct StereoBufferList {
        UInt32 mNumberBuffers;
        AudioBuffer mBuffers[2];
    } buffers{2, {{1, bytesPerBuffer, left}, {1, bytesPerBuffer, right}}};
    AudioTimeStamp timeStamp{};
    timeStamp.mSampleTime = sampleTime;
    timeStamp.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    return AudioUnitRender(unit, &flags, &timeStamp, 0, frames,
                           reinterpret_cast<AudioBufferList*>(&buffers));
}
