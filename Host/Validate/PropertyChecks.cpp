// Every property the unit answers, probed as careless and careful hosts read it: the size its
// information gives against the size of the platform's type, reads into exactly that room, into
// less and into more (nothing may be written past the room given), refused writes of read-only
// values, and short writes; afterwards the unit must hold what it held before.
#include "CheckBodies.h"
#include "UnitUnderTest.h"

#include <AudioUnit/MusicDevice.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr UInt8 kGuardByte = 0xA5;
constexpr UInt32 kGuardBytes = 64;
constexpr UInt32 kExtraRoom = 16;
// Records the stand-in's headers have no type for: clump id, desired length and name; host name
// and version; procedure and its data.
constexpr UInt32 kClumpNameSize = 16;
constexpr UInt32 kHostIdentifierSize = 16;
constexpr UInt32 kCallbackStructSize = 16;

enum class Size {
    kFixed,    // exactly mSize bytes
    kMultiple, // a whole number of mSize-byte records
    kAny,
};

enum Traits : unsigned {
    kPlain = 0,
    kTakesInput = 1,    // the read takes what the buffer holds (a parameter id, a record)
    kChangesOnRead = 2, // reading consumes or moves the value
    kHoldsObject = 4,   // the value is an object reference the reader releases
};

struct KnownProperty {
    AudioUnitPropertyID mID;
    const char* mName;
    Size mKind;
    UInt32 mSize;
    unsigned mTraits;
};

// The properties hosts rely on, with the size of the platform's type for each.
const KnownProperty kKnownProperties[] = {
    {kAudioUnitProperty_ClassInfo, "ClassInfo", Size::kFixed, sizeof(CFPropertyListRef),
     kHoldsObject},
    {kAudioUnitProperty_MakeConnection, "MakeConnection", Size::kFixed, sizeof(AudioUnitConnection),
     kPlain},
    {kAudioUnitProperty_SampleRate, "SampleRate", Size::kFixed, sizeof(Float64), kPlain},
    {kAudioUnitProperty_ParameterList, "ParameterList", Size::kMultiple,
     sizeof(AudioUnitParameterID), kPlain},
    {kAudioUnitProperty_ParameterInfo, "ParameterInfo", Size::kFixed,
     sizeof(AudioUnitParameterInfo), kTakesInput},
    {kAudioUnitProperty_CPULoad, "CPULoad", Size::kFixed, sizeof(Float32), kPlain},
    {kAudioUnitProperty_StreamFormat, "StreamFormat", Size::kFixed,
     sizeof(AudioStreamBasicDescription), kPlain},
    {kAudioUnitProperty_ElementCount, "ElementCount", Size::kFixed, sizeof(UInt32), kPlain},
    {kAudioUnitProperty_Latency, "Latency", Size::kFixed, sizeof(Float64), kPlain},
    {kAudioUnitProperty_SupportedNumChannels, "SupportedNumChannels", Size::kMultiple,
     sizeof(AUChannelInfo), kPlain},
    {kAudioUnitProperty_MaximumFramesPerSlice, "MaximumFramesPerSlice", Size::kFixed,
     sizeof(UInt32), kPlain},
    {kAudioUnitProperty_SetExternalBuffer, "SetExternalBuffer", Size::kFixed,
     sizeof(AudioUnitExternalBuffer), kPlain},
    {kAudioUnitProperty_ParameterValueStrings, "ParameterValueStrings", Size::kFixed,
     sizeof(CFArrayRef), kTakesInput},
    {kAudioUnitProperty_AudioChannelLayout, "AudioChannelLayout", Size::kAny, 0, kPlain},
    {kAudioUnitProperty_TailTime, "TailTime", Size::kFixed, sizeof(Float64), kPlain},
    {kAudioUnitProperty_BypassEffect, "BypassEffect", Size::kFixed, sizeof(UInt32), kPlain},
    {kAudioUnitProperty_LastRenderError, "LastRenderError", Size::kFixed, sizeof(OSStatus),
     kChangesOnRead},
    {kAudioUnitProperty_SetRenderCallback, "SetRenderCallback", Size::kFixed,
     sizeof(AURenderCallbackStruct), kPlain},
    {kAudioUnitProperty_FactoryPresets, "FactoryPresets", Size::kFixed, sizeof(CFArrayRef),
     kHoldsObject},
    {kAudioUnitProperty_ContextName, "ContextName", Size::kFixed, sizeof(CFStringRef),
     kHoldsObject},
    {kAudioUnitProperty_RenderQuality, "RenderQuality", Size::kFixed, sizeof(UInt32), kPlain},
    {kAudioUnitProperty_HostCallbacks, "HostCallbacks", Size::kFixed, sizeof(HostCallbackInfo),
     kPlain},
    {kAudioUnitProperty_InPlaceProcessing, "InPlaceProcessing", Size::kFixed, sizeof(UInt32),
     kPlain},
    {kAudioUnitProperty_ElementName, "ElementName", Size::kFixed, sizeof(CFStringRef),
     kHoldsObject},
    {kAudioUnitProperty_SupportedChannelLayoutTags, "SupportedChannelLayoutTags", Size::kMultiple,
     sizeof(AudioChannelLayoutTag), kPlain},
    {kAudioUnitProperty_ParameterClumpName, "ParameterClumpName", Size::kFixed, kClumpNameSize,
     kTakesInput},
    {kAudioUnitProperty_PresentPreset, "PresentPreset", Size::kFixed, sizeof(AUPreset), kPlain},
    {kAudioUnitProperty_OfflineRender, "OfflineRender", Size::kFixed, sizeof(UInt32), kPlain},
    {kAudioUnitProperty_IconLocation, "IconLocation", Size::kFixed, sizeof(CFURLRef), kHoldsObject},
    {kAudioUnitProperty_PresentationLatency, "PresentationLatency", Size::kFixed, sizeof(Float64),
     kPlain},
    {kAudioUnitProperty_AllParameterMIDIMappings, "AllParameterMIDIMappings", Size::kMultiple,
     sizeof(AUParameterMIDIMapping), kPlain},
    {kAudioUnitProperty_AddParameterMIDIMapping, "AddParameterMIDIMapping", Size::kMultiple,
     sizeof(AUParameterMIDIMapping), kPlain},
    {kAudioUnitProperty_RemoveParameterMIDIMapping, "RemoveParameterMIDIMapping", Size::kMultiple,
     sizeof(AUParameterMIDIMapping), kPlain},
    {kAudioUnitProperty_HotMapParameterMIDIMapping, "HotMapParameterMIDIMapping", Size::kFixed,
     sizeof(AUParameterMIDIMapping), kPlain},
    {kAudioUnitProperty_AUHostIdentifier, "AUHostIdentifier", Size::kFixed, kHostIdentifierSize,
     kPlain},
    {kAudioUnitProperty_MIDIOutputCallback, "MIDIOutputCallback", Size::kFixed, kCallbackStructSize,
     kPlain},
    {kAudioUnitProperty_ShouldAllocateBuffer, "ShouldAllocateBuffer", Size::kFixed, sizeof(UInt32),
     kPlain},
    {kAudioUnitProperty_ParameterHistoryInfo, "ParameterHistoryInfo", Size::kFixed,
     2 * sizeof(Float32), kPlain},
    {kAudioUnitProperty_NickName, "NickName", Size::kFixed, sizeof(CFStringRef), kHoldsObject},
    {kMusicDeviceProperty_InstrumentCount, "InstrumentCount", Size::kFixed, sizeof(UInt32), kPlain},
    {kMusicDeviceProperty_MIDIXMLNames, "MIDIXMLNames", Size::kFixed, sizeof(CFURLRef),
     kHoldsObject},
    {kMusicDeviceProperty_PartGroup, "PartGroup", Size::kFixed, sizeof(AudioUnitElement), kPlain},
    {kAudioUnitProperty_LastRenderSampleTime, "last render sample time", Size::kFixed,
     sizeof(Float64), kPlain},
};

// The ids probed: every id up to 63 and those of the music device, known or not.
std::vector<AudioUnitPropertyID> ProbedIDs()
{
    std::vector<AudioUnitPropertyID> ids;
    for (AudioUnitPropertyID id = 0; id < 64; ++id)
        ids.push_back(id);
    for (AudioUnitPropertyID id = kMusicDeviceProperty_InstrumentCount; id <= 1012; ++id)
        ids.push_back(id);
    ids.push_back(kAudioUnitProperty_LastRenderSampleTime);
    return ids;
}

const KnownProperty* Known(AudioUnitPropertyID id)
{
    for (const KnownProperty& property : kKnownProperties)
        if (property.mID == id)
            return &property;
    return nullptr;
}

struct Probe {
    AudioUnit mUnit;
    AudioUnitPropertyID mID;
    AudioUnitScope mScope;
    std::string mText; // "property 12 (Latency), global scope"

    struct Read {
        OSStatus mStatus = noErr;
        UInt32 mSize = 0;
        std::vector<UInt8> mBytes; // the room given, then the guard
    };

    // Reads into `room` bytes followed by guard bytes.
    Read ReadInto(UInt32 room) const
    {
        Read read;
        read.mBytes.assign(room + kGuardBytes, kGuardByte);
        read.mSize = room;
        read.mStatus = AudioUnitGetProperty(mUnit, mID, mScope, 0, read.mBytes.data(), &read.mSize);
        return read;
    }

    // What is wrong with a read into `room` bytes: more size reported than room, or a guard
    // byte overwritten.
    std::string Overrun(const Read& read, UInt32 room) const
    {
        if (read.mSize > room)
            return mText + ": a read into " + std::to_string(room) + " bytes reports " +
                   std::to_string(read.mSize);
        for (UInt32 i = room; i < read.mBytes.size(); ++i)
            if (read.mBytes[i] != kGuardByte)
                return mText + ": a read into " + std::to_string(room) +
                       " bytes wrote past them, at byte " + std::to_string(i);
        return "";
    }
};

void ReleaseObject(const Probe::Read& read)
{
    CFTypeRef object = nullptr;
    if (read.mStatus == noErr && read.mSize >= sizeof object) {
        std::memcpy(&object, read.mBytes.data(), sizeof object);
        if (object != nullptr)
            CFRelease(object);
    }
}

void CheckProperty(ValidationContext& context, const Probe& probe, UInt32 size, Boolean writable)
{
    const KnownProperty* known = Known(probe.mID);
    if (known != nullptr) {
        const bool fits =
            known->mKind == Size::kAny ||
            (known->mKind == Size::kFixed ? size == known->mSize : size % known->mSize == 0);
        if (!context.Expect(fits, probe.mText + ": its information gives " + std::to_string(size) +
                                      " bytes, the platform's type has " +
                                      std::to_string(known->mSize) +
                                      (known->mKind == Size::kMultiple ? " per record" : "")))
            return;
    }
    const unsigned traits = known != nullptr ? known->mTraits : kPlain;
    if (size == 0 || (traits & kTakesInput) != 0)
        return;

    const Probe::Read exact = probe.ReadInto(size);
    const std::string overrun = probe.Overrun(exact, size);
    if (!context.Expect(overrun.empty(), overrun))
        return;
    if (exact.mStatus == noErr)
        context.Expect(exact.mSize == size, probe.mText + ": a read into the " +
                                                std::to_string(size) +
                                                " bytes its information "
                                                "gives delivers " +
                                                std::to_string(exact.mSize));
    const bool holdsObject = (traits & kHoldsObject) != 0;
    if (holdsObject)
        ReleaseObject(exact);

    if (size > 1) {
        const Probe::Read small = probe.ReadInto(size / 2);
        context.Expect(probe.Overrun(small, size / 2).empty(), probe.Overrun(small, size / 2));
    }
    const Probe::Read large = probe.ReadInto(size + kExtraRoom);
    if (context.Expect(probe.Overrun(large, size + kExtraRoom).empty(),
                       probe.Overrun(large, size + kExtraRoom)) &&
        exact.mStatus == noErr && large.mStatus == noErr)
        context.Expect(large.mSize == exact.mSize,
                       probe.mText + ": a read into more room delivers " +
                           std::to_string(large.mSize) + " bytes, not " +
                           std::to_string(exact.mSize));
    if (holdsObject)
        ReleaseObject(large);

    if (!writable && exact.mStatus == noErr && !holdsObject) {
        // Another value: writing the value it holds may well be taken as nothing to do.
        std::vector<UInt8> other(exact.mBytes.begin(), exact.mBytes.begin() + size);
        for (UInt8& byte : other)
            byte = UInt8(~byte);
        const OSStatus set =
            AudioUnitSetProperty(probe.mUnit, probe.mID, probe.mScope, 0, other.data(), size);
        context.Expect(set != noErr, probe.mText + ": a write of this read-only property "
                                                   "returned 0");
        if ((traits & kChangesOnRead) == 0) {
            const Probe::Read again = probe.ReadInto(size);
            context.Expect(again.mStatus == exact.mStatus &&
                               std::equal(again.mBytes.begin(), again.mBytes.begin() + size,
                                          exact.mBytes.begin()),
                           probe.mText + ": its value changed after a refused write");
        }
    }
    if (writable && size > 1) {
        // Half a value: refused or harmless, never read past what was given.
        std::vector<UInt8> half(exact.mBytes.begin(), exact.mBytes.begin() + size / 2);
        AudioUnitSetProperty(probe.mUnit, probe.mID, probe.mScope, 0, half.data(),
                             UInt32(half.size()));
    }
}

// The saved state and every parameter value, to see that probing changed nothing.
struct Snapshot {
    std::vector<UInt8> mState;
    std::vector<Float32> mValues;

    explicit Snapshot(const UnitUnderTest& unit) : mState(unit.SavedState())
    {
        for (const ParameterAddress& address : unit.Parameters()) {
            Float32 value = 0;
            unit.GetParameter(address, value);
            mValues.push_back(value);
        }
    }
    bool operator==(const Snapshot& other) const
    {
        return mState == other.mState &&
               std::equal(mValues.begin(), mValues.end(), other.mValues.begin(),
                          other.mValues.end(),
                          [](Float32 a, Float32 b) { return std::memcmp(&a, &b, sizeof a) == 0; });
    }
};

} // namespace

void CheckProperties(ValidationContext& context)
{
    UnitUnderTest unit(context.Component());
    unit.Prepare(44100, 512);
    unit.Render(512);
    const Snapshot before(unit);
    int answered = 0;
    for (const AudioUnitPropertyID id : ProbedIDs()) {
        for (AudioUnitScope scope = kAudioUnitScope_Global; scope <= kAudioUnitScope_Part;
             ++scope) {
            UInt32 size = 0;
            Boolean writable = false;
            if (AudioUnitGetPropertyInfo(unit.Unit(), id, scope, 0, &size, &writable) != noErr)
                continue;
            ++answered;
            const KnownProperty* known = Known(id);
            const Probe probe{unit.Unit(), id, scope,
                              "property " + std::to_string(id) +
                                  (known != nullptr ? std::string(" (") + known->mName + ")" : "") +
                                  ", " + ScopeName(scope) + " scope"};
            CheckProperty(context, probe, size, writable);
        }
    }
    context.Expect(Snapshot(unit) == before,
                   "the saved state or a parameter value changed while properties were probed");
    context.Note(std::to_string(answered) + " property and scope pairs answered");
}
