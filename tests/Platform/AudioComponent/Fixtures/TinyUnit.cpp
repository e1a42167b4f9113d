// A minimal unit on ComponentBase with its own lookup, exported the way a bundle exports its
// factory. Parameter changes are announced to the host's event listeners.
#include "TinyUnit.h"

#include "APFactory.h"
#include "CatchAsStatus.h"

#include <AudioToolbox/AudioUnitUtilities.h>
#include <AudioUnit/MusicDevice.h>

#include <array>

namespace {

class TinyUnit : public ComponentBase {
public:
    explicit TinyUnit(AudioComponentInstance instance) : ComponentBase(instance) {}

    OSStatus Initialize()
    {
        mInitialized = true;
        return noErr;
    }
    void Uninitialize() { mInitialized = false; }

    OSStatus GetParameter(AudioUnitParameterID id, AudioUnitScope scope,
                          AudioUnitParameterValue& value) const
    {
        if (scope != 0 || id >= kTinyUnitParameterCount) {
            return kAudioUnitErr_InvalidParameter;
        }
        value = mParameters[id];
        return noErr;
    }

    OSStatus SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                          AudioUnitParameterValue value)
    {
        if (scope != 0 || id >= kTinyUnitParameterCount) {
            return kAudioUnitErr_InvalidParameter;
        }
        mParameters[id] = value;
        AudioUnitEvent event{};
        event.mEventType = kAudioUnitEvent_ParameterValueChange;
        event.mArgument.mParameter = {GetComponentInstance(), id, scope, element};
        AUEventListenerNotify(nullptr, nullptr, &event);
        return noErr;
    }

    OSStatus Render(UInt32 frames, AudioBufferList& buffers) const
    {
        if (!mInitialized) {
            return kAudioUnitErr_Uninitialized;
        }
        for (UInt32 b = 0; b < buffers.mNumberBuffers; ++b) {
            AudioBuffer& buffer = buffers.mBuffers[b];
            if (buffer.mDataByteSize < frames * sizeof(Float32)) {
                return kAudio_ParamError;
            }
            auto* samples = static_cast<Float32*>(buffer.mData);
            for (UInt32 frame = 0; frame < frames; ++frame) {
                samples[frame] = mParameters[kTinyUnitLevel];
            }
        }
        return noErr;
    }

    void NoteOn(UInt32 note) { mParameters[kTinyUnitLastNote] = static_cast<Float32>(note); }

private:
    bool mInitialized = false;
    std::array<AudioUnitParameterValue, kTinyUnitParameterCount> mParameters{};
};

TinyUnit& UnitOf(void* self)
{
    return *static_cast<TinyUnit*>(PlugInInstanceBlock::FromRecord(self)->Object());
}

OSStatus Initialize(void* self)
{
    return CatchAsStatus([&] { return UnitOf(self).Initialize(); });
}

OSStatus Uninitialize(void* self)
{
    UnitOf(self).Uninitialize();
    return noErr;
}

OSStatus GetParameter(void* self, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement,
                      AudioUnitParameterValue* value)
{
    if (value == nullptr) {
        return kAudio_ParamError;
    }
    return UnitOf(self).GetParameter(id, scope, *value);
}

OSStatus SetParameter(void* self, AudioUnitParameterID id, AudioUnitScope scope,
                      AudioUnitElement element, AudioUnitParameterValue value, UInt32)
{
    return UnitOf(self).SetParameter(id, scope, element, value);
}

OSStatus Render(void* self, AudioUnitRenderActionFlags*, const AudioTimeStamp* timeStamp, UInt32,
                UInt32 frames, AudioBufferList* buffers)
{
    if (timeStamp == nullptr || buffers == nullptr) {
        return kAudio_ParamError;
    }
    return UnitOf(self).Render(frames, *buffers);
}

OSStatus MIDIEvent(void* self, UInt32 status, UInt32 data1, UInt32, UInt32)
{
    if ((status & 0xF0) == 0x90) {
        UnitOf(self).NoteOn(data1);
    }
    return noErr;
}

struct TinyLookup {
    static AudioComponentMethod Lookup(SInt16 selector)
    {
        static const struct {
            SInt16 selector;
            AudioComponentMethod method;
        } kMethods[] = {
            {kAudioUnitInitializeSelect, reinterpret_cast<AudioComponentMethod>(Initialize)},
            {kAudioUnitUninitializeSelect, reinterpret_cast<AudioComponentMethod>(Uninitialize)},
            {kAudioUnitGetParameterSelect, reinterpret_cast<AudioComponentMethod>(GetParameter)},
            {kAudioUnitSetParameterSelect, reinterpret_cast<AudioComponentMethod>(SetParameter)},
            {kAudioUnitRenderSelect, reinterpret_cast<AudioComponentMethod>(Render)},
            {kMusicDeviceMIDIEventSelect, reinterpret_cast<AudioComponentMethod>(MIDIEvent)},
        };
        for (const auto& entry : kMethods)
            if (entry.selector == selector)
                return entry.method;
        return nullptr;
    }
};

} // namespace

extern "C" __attribute__((visibility("default"))) AudioComponentPlugInInterface*
TinyUnitFactory(const AudioComponentDescription* inDesc)
{
    return APFactory<TinyLookup, TinyUnit>::Factory(inDesc);
}

// A factory that cannot make an instance, as one out of memory would behave.
extern "C" __attribute__((visibility("default"))) AudioComponentPlugInInterface*
TinyUnitFailingFactory(const AudioComponentDescription*)
{
    return nullptr;
}
