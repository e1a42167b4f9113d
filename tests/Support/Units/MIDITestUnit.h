// A music device for exercising the MIDI framework through the host calls: four global
// parameters with different ranges and display curves, handlers and note calls that record what
// reaches them (in logs reserved up front, so recording never allocates), and a parameter
// observer for checks made on the MIDI thread itself. Registered as an in-process component;
// MIDITestInstance opens one the way a host does.
#pragma once

#include "APFactory.h"
#include "AUPlugInDispatch.h"
#include "MusicDeviceBase.h"
#include "Units/HostedUnit.h"

#include <AudioUnit/AudioUnit.h>
#include <AudioUnit/MusicDevice.h>
#include <CoreFoundation/CFString.h>

#include <vector>

namespace midi_test {

enum class Handler {
    kStartNote,
    kStopNote,
    kControlChange,
    kPitchWheel,
    kChannelPressure,
    kProgramChange,
    kPolyPressure,
    kResetAllControllers,
    kAllNotesOff,
    kAllSoundOff,
    kSysEx,
    kNonNote
};

// One handler call: note calls give group, key and velocity; SysEx gives its length and first
// byte; the others their own arguments, 0 where they take none.
struct HandlerCall {
    Handler handler;
    UInt32 channel;
    UInt32 data1;
    UInt32 data2;
    UInt32 frame;
    bool operator==(const HandlerCall& other) const
    {
        return handler == other.handler && channel == other.channel && data1 == other.data1 &&
               data2 == other.data2 && frame == other.frame;
    }
};

struct ParameterSet {
    AudioUnitParameterID id;
    AudioUnitScope scope;
    AudioUnitElement element;
    AudioUnitParameterValue value;
    UInt32 frame;
};

struct TestParameter {
    const char* name;
    AudioUnitParameterValue minValue;
    AudioUnitParameterValue maxValue;
    UInt32 displayFlag;
};

enum : AudioUnitParameterID { kLevel, kCutoff, kDrive, kBlend, kParameterCount };

inline constexpr TestParameter kParameters[kParameterCount] = {
    {"Level", 0, 1, 0},
    {"Cutoff", 20, 20000, kAudioUnitParameterFlag_DisplayLogarithmic},
    {"Drive", -1, 1, kAudioUnitParameterFlag_DisplaySquared},
    {"Blend", 0, 100, kAudioUnitParameterFlag_DisplayCubeRoot}};

constexpr size_t kLogCapacity = 4096;

// The mapping properties, by shorter names.
constexpr AudioUnitPropertyID kAllMaps = kAudioUnitProperty_AllParameterMIDIMappings;
constexpr AudioUnitPropertyID kAddMap = kAudioUnitProperty_AddParameterMIDIMapping;
constexpr AudioUnitPropertyID kRemoveMap = kAudioUnitProperty_RemoveParameterMIDIMapping;
constexpr AudioUnitPropertyID kHotMap = kAudioUnitProperty_HotMapParameterMIDIMapping;

class MIDITestUnit : public MusicDeviceBase {
public:
    using ParameterObserver = void (*)(void* refCon, const ParameterSet& set);

    explicit MIDITestUnit(AudioComponentInstance instance) : MusicDeviceBase(instance, 0, 1)
    {
        CreateElements();
        Globals()->UseIndexedParameters(kParameterCount);
        mCalls.reserve(kLogCapacity);
        mParameterSets.reserve(kLogCapacity);
        sLastCreated = this;
    }

    bool CanScheduleParameters() const override { return false; }
    bool StreamFormatWritable(AudioUnitScope, AudioUnitElement) override { return false; }

    // Global parameters only; each name is made for the caller to release.
    OSStatus GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id,
                              AudioUnitParameterInfo& info) override
    {
        if (scope != kAudioUnitScope_Global)
            return kAudioUnitErr_InvalidScope;
        if (id >= kParameterCount)
            return kAudioUnitErr_InvalidParameter;
        const TestParameter& parameter = kParameters[id];
        info.minValue = parameter.minValue;
        info.maxValue = parameter.maxValue;
        info.defaultValue = parameter.minValue;
        info.cfNameString =
            CFStringCreateWithCString(nullptr, parameter.name, kCFStringEncodingUTF8);
        info.flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable |
                     kAudioUnitParameterFlag_HasCFNameString |
                     kAudioUnitParameterFlag_CFNameRelease | parameter.displayFlag;
        return noErr;
    }

    OSStatus SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                          AudioUnitParameterValue value, UInt32 frame) override
    {
        const ParameterSet set{id, scope, element, value, frame};
        if (mParameterSets.size() < kLogCapacity)
            mParameterSets.push_back(set);
        if (mObserver != nullptr)
            mObserver(mObserverRefCon, set);
        return MusicDeviceBase::SetParameter(id, scope, element, value, frame);
    }

    OSStatus StartNote(MusicDeviceInstrumentID instrument, MusicDeviceGroupID group,
                       NoteInstanceID* noteID, UInt32 frame,
                       const MusicDeviceNoteParams& params) override
    {
        mLastInstrument = instrument;
        mLastNoteIDOut = noteID;
        mLastArgCount = params.argCount;
        return Record(Handler::kStartNote, group, UInt32(params.mPitch), UInt32(params.mVelocity),
                      frame);
    }
    OSStatus StopNote(MusicDeviceGroupID group, NoteInstanceID note, UInt32 frame) override
    {
        return Record(Handler::kStopNote, group, note, 0, frame);
    }

    std::vector<HandlerCall> mCalls;
    std::vector<ParameterSet> mParameterSets;
    ParameterObserver mObserver = nullptr;
    void* mObserverRefCon = nullptr;
    MusicDeviceInstrumentID mLastInstrument = 0;
    NoteInstanceID* mLastNoteIDOut = nullptr;
    UInt32 mLastArgCount = 0;

    static inline MIDITestUnit* sLastCreated = nullptr;

protected:
    OSStatus HandleNonNoteEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2,
                                UInt32 frame) override
    {
        Record(Handler::kNonNote, channel, data1, data2, frame);
        return MusicDeviceBase::HandleNonNoteEvent(status, channel, data1, data2, frame);
    }
    OSStatus HandleControlChange(UInt8 channel, UInt8 controller, UInt8 value,
                                 UInt32 frame) override
    {
        return Record(Handler::kControlChange, channel, controller, value, frame);
    }
    OSStatus HandlePitchWheel(UInt8 channel, UInt8 low, UInt8 high, UInt32 frame) override
    {
        return Record(Handler::kPitchWheel, channel, low, high, frame);
    }
    OSStatus HandleChannelPressure(UInt8 channel, UInt8 value, UInt32 frame) override
    {
        return Record(Handler::kChannelPressure, channel, value, 0, frame);
    }
    OSStatus HandleProgramChange(UInt8 channel, UInt8 program) override
    {
        return Record(Handler::kProgramChange, channel, program, 0, 0);
    }
    OSStatus HandlePolyPressure(UInt8 channel, UInt8 key, UInt8 value, UInt32 frame) override
    {
        return Record(Handler::kPolyPressure, channel, key, value, frame);
    }
    OSStatus HandleResetAllControllers(UInt8 channel) override
    {
        return Record(Handler::kResetAllControllers, channel, 0, 0, 0);
    }
    OSStatus HandleAllNotesOff(UInt8 channel) override
    {
        return Record(Handler::kAllNotesOff, channel, 0, 0, 0);
    }
    OSStatus HandleAllSoundOff(UInt8 channel) override
    {
        return Record(Handler::kAllSoundOff, channel, 0, 0, 0);
    }
    OSStatus HandleSysEx(const UInt8* data, UInt32 length) override
    {
        return Record(Handler::kSysEx, 0, length, length > 0 ? data[0] : 0, 0);
    }

private:
    // A status that is not 0, so that tests see handler statuses are dropped.
    OSStatus Record(Handler handler, UInt32 channel, UInt32 data1, UInt32 data2, UInt32 frame)
    {
        if (mCalls.size() < kLogCapacity)
            mCalls.push_back({handler, channel, data1, data2, frame});
        return kAudio_UnimplementedError;
    }
};

inline constexpr AudioComponentDescription kMIDITestUnitDesc{
    0x61756D75 /* aumu */, 0x506D6964 /* Pmid */, 0x506C6E6B /* Plnk */, 0, 0};

// Registered before any test runs, so that the registry's copy of the name is not a test's leak.
inline const AudioComponent kMIDITestComponent =
    AudioComponentRegister(&kMIDITestUnitDesc, CFSTR("Plenko: MIDI Test"), 1,
                           &APFactory<AUMusicLookup, MIDITestUnit>::Factory);

// A mapping record; the sub-range counts only with kAUParameterMIDIMapping_SubRange.
inline AUParameterMIDIMapping Mapping(UInt8 status, UInt8 data1, AudioUnitParameterID parameter,
                                      UInt32 flags = 0, Float32 subRangeMin = 0,
                                      Float32 subRangeMax = 0)
{
    AUParameterMIDIMapping map{};
    map.mScope = kAudioUnitScope_Global;
    map.mParameterID = parameter;
    map.mFlags = flags;
    map.mSubRangeMin = subRangeMin;
    map.mSubRangeMax = subRangeMax;
    map.mStatus = status;
    map.mData1 = data1;
    return map;
}

// One open, initialized instance of the test unit, a hosted unit with the host calls the MIDI
// tests make most.
class MIDITestInstance : public HostedUnit {
public:
    explicit MIDITestInstance(AudioComponent component = kMIDITestComponent)
        : HostedUnit(component, true), mObject(MIDITestUnit::sLastCreated)
    {
    }

    MIDITestUnit& Object() const { return *mObject; }

    OSStatus Send(UInt32 status, UInt32 data1, UInt32 data2, UInt32 frame = 0) const
    {
        return MIDI(status, data1, data2, frame);
    }
    // Sets a mapping property (41 to 44) to these records, in the global scope.
    OSStatus SetMappings(AudioUnitPropertyID id,
                         const std::vector<AUParameterMIDIMapping>& maps) const
    {
        return SetProperty(id, kAudioUnitScope_Global, maps.data(),
                           UInt32(maps.size() * sizeof(AUParameterMIDIMapping)));
    }
    // The records of property 41, as the host reads them.
    std::vector<AUParameterMIDIMapping> Mappings() const
    {
        UInt32 size = 0;
        Boolean writable = false;
        AudioUnitGetPropertyInfo(Unit(), kAllMaps, kAudioUnitScope_Global, 0, &size, &writable);
        std::vector<AUParameterMIDIMapping> maps(size / sizeof(AUParameterMIDIMapping));
        if (!maps.empty() && AudioUnitGetProperty(Unit(), kAllMaps, kAudioUnitScope_Global, 0,
                                                  maps.data(), &size) != noErr)
            size = 0;
        maps.resize(size / sizeof(AUParameterMIDIMapping));
        return maps;
    }

private:
    MIDITestUnit* mObject;
};

} // namespace midi_test
