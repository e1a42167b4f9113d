// An in-process component that plays the source unit of a connection: it answers the stream
// format read and renders a constant into the buffers it is given (or into its own when the
// buffers have no memory), as another unit would through the host calls.
#pragma once

#include <AudioUnit/AudioUnit.h>
#include <AudioUnit/AudioUnitProperties.h>
#include <CoreFoundation/CFString.h>

#include <cstring>

namespace aubase_test {

class SourceTestComponent {
public:
    static constexpr Float32 kSourceSample = 0.25f;
    static constexpr UInt32 kMaxFrames = 4096;

    SourceTestComponent()
    {
        // 'aufx', 'srce', 'Test'
        AudioComponentDescription desc{0x61756678, 0x73726365, 0x54657374, 0, 0};
        AudioComponent component = AudioComponentFindNext(nullptr, &desc);
        if (component == nullptr)
            component = AudioComponentRegister(&desc, CFSTR("Test: Source"), 1, &Factory);
        AudioComponentInstanceNew(component, &mInstance);
    }
    ~SourceTestComponent() { AudioComponentInstanceDispose(mInstance); }
    SourceTestComponent(const SourceTestComponent&) = delete;
    SourceTestComponent& operator=(const SourceTestComponent&) = delete;

    AudioUnit Unit() const { return mInstance; }

    // What the source answers; one source is used at a time.
    static AudioStreamBasicDescription sFormat;
    static OSStatus sGetPropertyResult;
    static int sRenderCalls;

private:
    static OSStatus Open(void*, AudioComponentInstance) { return noErr; }
    static OSStatus Close(void*) { return noErr; }

    static OSStatus GetProperty(void*, AudioUnitPropertyID id, AudioUnitScope scope,
                                AudioUnitElement, void* outData, UInt32* ioDataSize)
    {
        if (sGetPropertyResult != noErr)
            return sGetPropertyResult;
        if (id != kAudioUnitProperty_StreamFormat || scope != kAudioUnitScope_Output ||
            *ioDataSize < sizeof(sFormat))
            return kAudioUnitErr_InvalidProperty;
        std::memcpy(outData, &sFormat, sizeof(sFormat));
        *ioDataSize = sizeof(sFormat);
        return noErr;
    }

    static OSStatus Render(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                           UInt32 frames, AudioBufferList* ioData)
    {
        static Float32 sOwnSamples[8][kMaxFrames];
        ++sRenderCalls;
        for (UInt32 i = 0; i < ioData->mNumberBuffers && i < 8; ++i) {
            AudioBuffer& buffer = ioData->mBuffers[i];
            if (buffer.mData == nullptr)
                buffer.mData = sOwnSamples[i];
            auto* samples = static_cast<Float32*>(buffer.mData);
            for (UInt32 n = 0; n < frames && n < kMaxFrames; ++n)
                samples[n] = kSourceSample;
        }
        return noErr;
    }

    static AudioComponentMethod Lookup(SInt16 selector)
    {
        switch (selector) {
        case kAudioUnitGetPropertySelect:
            return reinterpret_cast<AudioComponentMethod>(&GetProperty);
        case kAudioUnitRenderSelect:
            return reinterpret_cast<AudioComponentMethod>(&Render);
        default:
            return nullptr;
        }
    }

    static AudioComponentPlugInInterface* Factory(const AudioComponentDescription*)
    {
        static AudioComponentPlugInInterface sRecord{&Open, &Close, &Lookup, nullptr};
        return &sRecord;
    }

    AudioComponentInstance mInstance = nullptr;
};

inline AudioStreamBasicDescription SourceTestComponent::sFormat{};
inline OSStatus SourceTestComponent::sGetPropertyResult = noErr;
inline int SourceTestComponent::sRenderCalls = 0;

} // namespace aubase_test
