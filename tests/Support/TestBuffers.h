// What a test hands a render call: a buffer list with room for `count` buffers of `frames` float
// samples each, owned by the test (with `withData` false the buffers have null data pointers: the
// caller wants the unit's), and a time stamp with only a valid sample time.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>

#include <cstddef>
#include <vector>

namespace test_support {

class TestBuffers {
public:
    explicit TestBuffers(UInt32 frames, UInt32 count = 2, bool withData = true)
        : mSamples(count, std::vector<Float32>(frames)),
          mStorage(offsetof(AudioBufferList, mBuffers) / sizeof(AudioBuffer) + count + 1)
    {
        List().mNumberBuffers = count;
        for (UInt32 i = 0; i < count; ++i)
            List().mBuffers[i] = {1, UInt32(frames * sizeof(Float32)),
                                  withData ? mSamples[i].data() : nullptr};
    }
    AudioBufferList& List() { return *reinterpret_cast<AudioBufferList*>(mStorage.data()); }
    Float32* Samples(UInt32 buffer) { return mSamples[buffer].data(); }

private:
    std::vector<std::vector<Float32>> mSamples;
    std::vector<AudioBuffer> mStorage; // AudioBuffer-aligned room for the header and buffers
};

inline AudioTimeStamp SampleTime(Float64 sampleTime)
{
    AudioTimeStamp timeStamp{};
    timeStamp.mSampleTime = sampleTime;
    timeStamp.mFlags = kAudioTimeStampSampleTimeValid;
    return timeStamp;
}

} // namespace test_support
