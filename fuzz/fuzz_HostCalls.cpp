// Drives a fresh test unit with an arbitrary sequence of host calls: selector, property id,
// scope, element, sizes and values all come from the input, and every data buffer is exactly as
// large as the size the call claims (AddressSanitizer catches any byte the unit touches beyond
// it). What only a host can vouch for is taken from sane pools instead of the input: pointers
// inside property values (CF objects, procedures, lent memory, other units), and the handful of
// sizes a host could never mean (buses, channels and frames beyond what memory holds).
#include "FuzzInput.h"
#include "FuzzTarget.h"
#include "HostedTestUnit.h"

#include <AudioUnit/MusicDevice.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFNumber.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace hosted_test;

namespace {

constexpr size_t kMaxCalls = 256;
constexpr UInt32 kMaxDataSize = 512;
constexpr UInt32 kMaxFrames = 4096;
constexpr UInt32 kMaxChannels = 16;
constexpr UInt32 kMaxBuses = 8;
constexpr UInt32 kMaxEvents = 8;
constexpr UInt8 kGuardByte = 0xA5;

// The properties worth aiming at; the input may also name any other id.
constexpr AudioUnitPropertyID kPropertyIDs[] = {0,
                                                1,
                                                2,
                                                3,
                                                4,
                                                6,
                                                8,
                                                11,
                                                12,
                                                13,
                                                14,
                                                15,
                                                16,
                                                19,
                                                20,
                                                21,
                                                22,
                                                23,
                                                24,
                                                25,
                                                26,
                                                27,
                                                29,
                                                30,
                                                32,
                                                35,
                                                36,
                                                37,
                                                39,
                                                51,
                                                53,
                                                54,
                                                kAudioUnitProperty_LastRenderSampleTime,
                                                kThrowingProperty};

OSStatus SilentSource(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                      AudioBufferList* ioData)
{
    for (UInt32 i = 0; i < ioData->mNumberBuffers; ++i)
        if (ioData->mBuffers[i].mData != nullptr)
            std::memset(ioData->mBuffers[i].mData, 0, ioData->mBuffers[i].mDataByteSize);
    return noErr;
}

void IgnoreChange(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {}

// Memory the fuzzer lends the unit for its buffers; it outlives every instance.
alignas(16) Byte sLentMemory[1 << 16];

// Every host call of one input, with the objects its pointers may name.
class Session {
public:
    Session(const uint8_t* data, size_t size) : mInput(data, size)
    {
        if (mInstance.OpenStatus() != noErr || mSource.OpenStatus() != noErr)
            abort();
        mInstance.Object().mOffersQualityAndLoad = (mInput.Byte() & 1) != 0;
        const SInt32 seven = 7;
        mNumber = CFNumberCreate(nullptr, kCFNumberSInt32Type, &seven);
        mDictionary =
            CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                               &kCFTypeDictionaryValueCallBacks);
    }
    ~Session()
    {
        if (mSavedState != nullptr)
            CFRelease(mSavedState);
        CFRelease(mNumber);
        CFRelease(mDictionary);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void Run()
    {
        for (size_t call = 0; call < kMaxCalls && !mInput.Empty(); ++call)
            OneCall();
    }

private:
    AudioUnit Unit() const { return mInstance.Unit(); }

    AudioUnitPropertyID PropertyID() { return mInput.OneOfOrAny(kPropertyIDs); }

    CFTypeRef PooledObject()
    {
        switch (mInput.Byte() % 5) {
        case 0:
            return nullptr;
        case 1:
            return CFSTR("pooled name");
        case 2:
            return mNumber;
        case 3:
            return mDictionary;
        default:
            return mSavedState;
        }
    }

    template <class T> void PutAt(std::vector<UInt8>& data, size_t offset, const T& value)
    {
        if (data.size() >= offset + sizeof(T))
            std::memcpy(data.data() + offset, &value, sizeof(T));
    }
    template <class T> bool GetAt(const std::vector<UInt8>& data, size_t offset, T& value)
    {
        if (data.size() < offset + sizeof(T))
            return false;
        std::memcpy(&value, data.data() + offset, sizeof(T));
        return true;
    }

    // Replaces what the input put where a host would put a pointer or an absurd size.
    void MakeHostValue(AudioUnitPropertyID id, std::vector<UInt8>& data)
    {
        switch (id) {
        case kAudioUnitProperty_ClassInfo:
        case kAudioUnitProperty_ContextName:
        case kAudioUnitProperty_ElementName:
        case kAudioUnitProperty_NickName:
            PutAt(data, 0, PooledObject());
            break;
        case kAudioUnitProperty_PresentPreset:
            PutAt(data, offsetof(AUPreset, presetName), PooledObject());
            break;
        case kAudioUnitProperty_MakeConnection:
            PutAt(data, 0, (mInput.Byte() & 1) != 0 ? mSource.Unit() : AudioUnit(nullptr));
            break;
        case kAudioUnitProperty_SetRenderCallback:
            PutAt(data, 0, (mInput.Byte() & 1) != 0 ? &SilentSource : AURenderCallback(nullptr));
            break;
        case kAudioUnitProperty_SetExternalBuffer: {
            const UInt32 offset = mInput.Byte() % 32;
            PutAt(data, 0, sLentMemory + offset);
            UInt32 size = 0;
            GetAt(data, offsetof(AudioUnitExternalBuffer, size), size);
            PutAt(data, offsetof(AudioUnitExternalBuffer, size),
                  UInt32(size % (sizeof(sLentMemory) - offset + 1)));
            break;
        }
        case kAudioUnitProperty_StreamFormat: {
            UInt32 channels = 0;
            GetAt(data, offsetof(AudioStreamBasicDescription, mChannelsPerFrame), channels);
            PutAt(data, offsetof(AudioStreamBasicDescription, mChannelsPerFrame),
                  UInt32(channels % (kMaxChannels + 1)));
            break;
        }
        case kAudioUnitProperty_MaximumFramesPerSlice: {
            UInt32 frames = 0;
            GetAt(data, 0, frames);
            PutAt(data, 0, UInt32(frames % (kMaxFrames + 1)));
            break;
        }
        case kAudioUnitProperty_ElementCount: {
            UInt32 count = 0;
            GetAt(data, 0, count);
            PutAt(data, 0, UInt32(count % (kMaxBuses + 1)));
            break;
        }
        default:
            break;
        }
    }

    // The objects a successful read handed out belong to the host, which releases them; a
    // host asks for them with room for the whole value.
    static size_t HandedOutObjectOffset(AudioUnitPropertyID id, bool& handsOut)
    {
        handsOut = true;
        switch (id) {
        case kAudioUnitProperty_ClassInfo:
        case kAudioUnitProperty_ParameterValueStrings:
        case kAudioUnitProperty_FactoryPresets:
        case kAudioUnitProperty_ContextName:
        case kAudioUnitProperty_ElementName:
        case kAudioUnitProperty_IconLocation:
        case kAudioUnitProperty_NickName:
            return 0;
        case kAudioUnitProperty_ParameterClumpName:
        case kAudioUnitProperty_PresentPreset:
            return 8;
        default:
            handsOut = false;
            return 0;
        }
    }

    void GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element)
    {
        bool handsOut = false;
        const size_t objectOffset = HandedOutObjectOffset(id, handsOut);
        const uint8_t mode = mInput.Byte();
        if (mode % 4 == 0) { // the size only
            UInt32 size = mInput.Word();
            AudioUnitGetProperty(Unit(), id, scope, element, nullptr, &size);
            return;
        }
        UInt32 size = mInput.SmallOrAny(kMaxDataSize) % (kMaxDataSize + 1);
        if (handsOut)
            size = std::max<UInt32>(size, UInt32(objectOffset + sizeof(CFTypeRef)));
        // One byte more than claimed, so that even a zero-sized buffer has an address.
        std::vector<UInt8> data(size + 1);
        mInput.Fill(data.data(), size);
        data.back() = kGuardByte;
        UInt32 ioSize = size;
        const OSStatus status =
            AudioUnitGetProperty(Unit(), id, scope, element, data.data(), &ioSize);
        if (data.back() != kGuardByte)
            abort(); // written past the client's size
        if (ioSize > size)
            abort(); // the unit claims to have written past the client's buffer
        CFTypeRef object = nullptr;
        if (status == noErr && handsOut && GetAt(data, objectOffset, object) && object != nullptr) {
            if (id == kAudioUnitProperty_ClassInfo) {
                if (mSavedState != nullptr)
                    CFRelease(mSavedState);
                mSavedState = object;
            } else {
                CFRelease(object);
            }
        }
    }

    void SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element)
    {
        const uint8_t mode = mInput.Byte();
        UInt32 size = (mode & 1) != 0 ? mInput.SmallOrAny(kMaxDataSize) : mInput.Word();
        if ((mode & 2) != 0) { // no data: a removal, or a refused call when a size is claimed
            AudioUnitSetProperty(Unit(), id, scope, element, nullptr, (mode & 4) != 0 ? size : 0);
            return;
        }
        size %= kMaxDataSize + 1;
        std::vector<UInt8> data = mInput.Bytes(size);
        MakeHostValue(id, data);
        AudioUnitSetProperty(Unit(), id, scope, element, data.empty() ? nullptr : data.data(),
                             size);
    }

    void Render()
    {
        const UInt32 frames = mInput.SmallOrAny(kMaxFrames) % (kMaxFrames * 2);
        const UInt32 buffers = mInput.Byte() % 4;
        const bool unitBuffers = (mInput.Byte() & 1) != 0;
        std::vector<std::vector<Float32>> samples(buffers, std::vector<Float32>(frames));
        std::vector<AudioBuffer> storage(buffers + 1);
        auto& list = *reinterpret_cast<AudioBufferList*>(storage.data());
        list.mNumberBuffers = buffers;
        for (UInt32 i = 0; i < buffers; ++i)
            list.mBuffers[i] = {1, UInt32(frames * sizeof(Float32)),
                                unitBuffers ? nullptr : samples[i].data()};
        AudioTimeStamp time{};
        time.mSampleTime = Float64(mSampleTime += frames);
        time.mFlags = kAudioTimeStampSampleTimeValid;
        AudioUnitRenderActionFlags flags = 0;
        AudioUnitRender(Unit(), (mInput.Byte() & 1) != 0 ? &flags : nullptr, &time,
                        mInput.SmallOrAny(2), frames, (mInput.Byte() & 7) != 0 ? &list : nullptr);
    }

    void ScheduleParameters()
    {
        std::vector<AudioUnitParameterEvent> events(mInput.Byte() % (kMaxEvents + 1));
        for (AudioUnitParameterEvent& event : events) {
            mInput.Fill(&event, sizeof(event));
            event.scope %= 5;
            event.element %= 3;
            event.parameter %= kGlobalParameters + 2;
            event.eventType = 1 + mInput.Byte() % 2;
        }
        AudioUnitScheduleParameters(Unit(), events.data(), UInt32(events.size()));
    }

    void OneCall()
    {
        const uint8_t selector = mInput.Byte() % 20;
        const AudioUnitPropertyID id = PropertyID();
        const AudioUnitScope scope = mInput.SmallOrAny(6);
        const AudioUnitElement element = mInput.SmallOrAny(4);
        switch (selector) {
        case 0:
            AudioUnitInitialize(Unit());
            break;
        case 1:
            AudioUnitUninitialize(Unit());
            break;
        case 2: {
            UInt32 size = 0;
            Boolean writable = false;
            const uint8_t outputs = mInput.Byte();
            AudioUnitGetPropertyInfo(Unit(), id, scope, element,
                                     (outputs & 1) != 0 ? &size : nullptr,
                                     (outputs & 2) != 0 ? &writable : nullptr);
            break;
        }
        case 3:
            GetProperty(id, scope, element);
            break;
        case 4:
        case 5:
            SetProperty(id, scope, element);
            break;
        case 6: {
            Float32 value = 0;
            AudioUnitGetParameter(Unit(), mInput.SmallOrAny(kGlobalParameters + 4), scope, element,
                                  (mInput.Byte() & 7) != 0 ? &value : nullptr);
            break;
        }
        case 7: {
            Float32 value = 0;
            mInput.Fill(&value, sizeof(value));
            AudioUnitSetParameter(Unit(), mInput.SmallOrAny(kGlobalParameters + 4), scope, element,
                                  value, mInput.Word());
            break;
        }
        case 8:
            AudioUnitReset(Unit(), scope, element);
            break;
        case 9:
            AudioUnitAddPropertyListener(
                Unit(), id, (mInput.Byte() & 1) != 0 ? &IgnoreChange : nullptr, nullptr);
            break;
        case 10:
            AudioUnitRemovePropertyListener(Unit(), id, &IgnoreChange);
            break;
        case 11:
            AudioUnitRemovePropertyListenerWithUserData(Unit(), id, &IgnoreChange, nullptr);
            break;
        case 12:
            Render();
            break;
        case 13:
            AudioUnitAddRenderNotify(Unit(), (mInput.Byte() & 1) != 0 ? &SilentSource : nullptr,
                                     nullptr);
            break;
        case 14:
            AudioUnitRemoveRenderNotify(Unit(), &SilentSource, nullptr);
            break;
        case 15:
            ScheduleParameters();
            break;
        case 16:
            MusicDeviceMIDIEvent(Unit(), mInput.Byte(), mInput.Byte(), mInput.Byte(),
                                 mInput.Word());
            break;
        case 17: {
            const std::vector<UInt8> sysex = mInput.Bytes(mInput.Byte());
            MusicDeviceSysEx(Unit(), sysex.data(), UInt32(sysex.size()));
            break;
        }
        case 18: {
            MusicDeviceNoteParams params{};
            mInput.Fill(&params, sizeof(params));
            NoteInstanceID note = 0;
            const uint8_t pointers = mInput.Byte();
            MusicDeviceStartNote(Unit(), mInput.Word(), mInput.Word(),
                                 (pointers & 1) != 0 ? &note : nullptr, mInput.Word(),
                                 (pointers & 2) != 0 ? &params : nullptr);
            break;
        }
        default:
            MusicDeviceStopNote(Unit(), mInput.Word(), mInput.Word(), mInput.Word());
            MusicDevicePrepareInstrument(Unit(), mInput.Word());
            MusicDeviceReleaseInstrument(Unit(), mInput.Word());
            break;
        }
    }

    Input mInput;
    HostedInstance mSource{kBaseComponent};
    HostedInstance mInstance{kMusicComponent};
    CFNumberRef mNumber = nullptr;
    CFDictionaryRef mDictionary = nullptr;
    CFTypeRef mSavedState = nullptr;
    UInt64 mSampleTime = 0;
};

} // namespace

PLENKO_FUZZ_CLOSE_OUTPUT(false)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return RunFuzzSession<Session>(data, size);
}
