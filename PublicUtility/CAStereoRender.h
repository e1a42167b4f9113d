// A host's stereo output for render calls: two channel buffers, each starting on a cache line as
// audio hosts lay them out (processors zero and copy such buffers faster), and the render call
// into them, made as a host makes it: output bus 0, a buffer list and a time stamp with a valid
// sample time built for the call.
#pragma once

#include <AudioUnit/AudioUnit.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

class CAStereoOutput {
public:
    static constexpr size_t kAlignment = 64;

    // Buffers of `frames` frames each, silent; the earlier ones are freed. Throws
    // std::bad_alloc. [host-thread]
    void Allocate(UInt32 frames)
    {
        const size_t bytes =
            (size_t(frames) * sizeof(Float32) + kAlignment - 1) / kAlignment * kAlignment;
        for (ChannelMemory& channel : mChannels) {
            channel.reset(static_cast<Float32*>(std::aligned_alloc(kAlignment, bytes)));
            if (bytes != 0 && channel == nullptr)
                throw std::bad_alloc();
            if (bytes != 0)
                std::memset(channel.get(), 0, bytes);
        }
        mFrames = frames;
    }

    Float32* Channel(UInt32 index) const { return mChannels[index].get(); }

    // One render call of `frames` at `sampleTime`; the buffer list never claims more than the
    // buffers hold (the unit refuses a call for more frames than that). [render-thread]
    OSStatus Render(AudioUnit unit, Float64 sampleTime, UInt32 frames) const
    {
        AudioTimeStamp timeStamp{};
        timeStamp.mSampleTime = sampleTime;
        timeStamp.mFlags = kAudioTimeStampSampleTimeValid;
        return Render(unit, timeStamp, frames);
    }
    // The same with a time stamp of the caller's, which may carry a host time. [render-thread]
    OSStatus Render(AudioUnit unit, const AudioTimeStamp& timeStamp, UInt32 frames) const
    {
        const UInt32 bytesPerBuffer = UInt32(std::min(frames, mFrames) * sizeof(Float32));
        struct StereoBufferList {
            UInt32 mNumberBuffers;
            AudioBuffer mBuffers[2];
        } buffers{2, {{1, bytesPerBuffer, Channel(0)}, {1, bytesPerBuffer, Channel(1)}}};
        AudioUnitRenderActionFlags flags = 0;
        return AudioUnitRender(unit, &flags, &timeStamp, 0, frames,
                               reinterpret_cast<AudioBufferList*>(&buffers));
    }

private:
    struct FreeMemory {
        void operator()(Float32* memory) const { std::free(memory); }
    };
    using ChannelMemory = std::unique_ptr<Float32[], FreeMemory>;

    ChannelMemory mChannels[2];
    UInt32 mFrames = 0;
};
