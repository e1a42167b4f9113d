#include "AUPlugInDispatch.h"

#include "AUBase.h"
#include "AUDiagnostics.h"
#include "CAMutex.h"
#include "CatchAsStatus.h"
#include "PlugInInstanceBlock.h"

#include <AudioUnit/AudioOutputUnit.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace {

constexpr const char* kSourceFile = "AUPublic/AUBase/AUPlugInDispatch.cpp";

// Whether an adapter holds the unit's shared mutex. The render path (render, parameter set and
// scheduling, MIDI and notes) never does, so it never waits for a property call.
enum class MutexUse { kHeld, kNotHeld };

AUBase& UnitOf(void* self)
{
    return *static_cast<AUBase*>(PlugInInstanceBlock::FromRecord(self)->Object());
}

// The frame of every adapter: one protected region holding the mutex (when asked and
// installed) around the argument checks and the call. An exception unlocks before it becomes
// the status. The mutex use is a compile-time choice, so that the adapters that never hold it
// (the render path's) keep no lock state.
template <MutexUse kMutexUse, class Call> OSStatus RunAdapter(void* self, Call&& call) noexcept
{
    return CatchAsStatus([&]() -> OSStatus {
        AUBase& unit = UnitOf(self);
        if constexpr (kMutexUse == MutexUse::kHeld) {
            CAMutex::Locker locker(unit.GetMutex());
            return call(unit);
        } else {
            return call(unit);
        }
    });
}

// ---- Lifecycle ----

OSStatus AUMethodInitialize(void* self)
{
    return RunAdapter<MutexUse::kHeld>(self, [](AUBase& unit) { return unit.DoInitialize(); });
}

OSStatus AUMethodUninitialize(void* self)
{
    return RunAdapter<MutexUse::kHeld>(self, [](AUBase& unit) {
        unit.DoCleanup();
        return OSStatus(noErr);
    });
}

OSStatus AUMethodReset(void* self, AudioUnitScope scope, AudioUnitElement element)
{
    return RunAdapter<MutexUse::kHeld>(self,
                                       [&](AUBase& unit) { return unit.Reset(scope, element); });
}

// ---- Properties ----

OSStatus AUMethodGetPropertyInfo(void* self, AudioUnitPropertyID prop, AudioUnitScope scope,
                                 AudioUnitElement elem, UInt32* outDataSize, Boolean* outWritable)
{
    auto store = [&](UInt32 dataSize, Boolean writable) {
        if (outDataSize != nullptr)
            *outDataSize = dataSize;
        if (outWritable != nullptr)
            *outWritable = writable;
    };
    return RunAdapter<MutexUse::kHeld>(self, [&](AUBase& unit) {
        UInt32 dataSize = 0;
        Boolean writable = false;
        // Stored before the call too, so that a call that throws leaves no stale answer.
        store(dataSize, writable);
        const OSStatus result = unit.DispatchGetPropertyInfo(prop, scope, elem, dataSize, writable);
        store(dataSize, writable);
        return result;
    });
}

OSStatus AUMethodGetProperty(void* self, AudioUnitPropertyID inID, AudioUnitScope inScope,
                             AudioUnitElement inElement, void* outData, UInt32* ioDataSize)
{
    return RunAdapter<MutexUse::kHeld>(self, [&](AUBase& unit) -> OSStatus {
        if (ioDataSize == nullptr)
            return AUDebugStringFailed("AudioUnitGetProperty: null size pointer", kSourceFile,
                                       __LINE__, kAudio_ParamError);
        UInt32 actualPropertySize = 0;
        Boolean writable = false;
        if (outData == nullptr) {
            // The host asks for the size only; a call that throws leaves 0.
            *ioDataSize = 0;
            const OSStatus result = unit.DispatchGetPropertyInfo(inID, inScope, inElement,
                                                                 actualPropertySize, writable);
            *ioDataSize = actualPropertySize;
            return result;
        }
        const UInt32 clientBufferSize = *ioDataSize;
        if (clientBufferSize == 0)
            return AUDebugStringFailed("AudioUnitGetProperty: *ioDataSize == 0 on entry",
                                       kSourceFile, __LINE__, kAudio_ParamError);
        OSStatus result =
            unit.DispatchGetPropertyInfo(inID, inScope, inElement, actualPropertySize, writable);
        if (result != noErr)
            return result;
        // A get that fails, by status or by exception, leaves 0: nothing was delivered.
        *ioDataSize = 0;
        // A client buffer too small for the value gets its first bytes through a buffer of the
        // full size, so the unit never writes past the client's memory.
        std::vector<UInt8> tempBuffer;
        void* destination = outData;
        if (clientBufferSize < actualPropertySize) {
            tempBuffer.resize(actualPropertySize);
            destination = tempBuffer.data();
        }
        // The unit is told the room it has: a value that grew since the information was asked is
        // cut there, one that shrank reports its own size.
        UInt32 writtenSize = actualPropertySize;
        result = unit.DispatchGetProperty(inID, inScope, inElement, destination, writtenSize);
        if (result != noErr)
            return result;
        if (tempBuffer.empty()) {
            *ioDataSize = writtenSize;
        } else {
            *ioDataSize = std::min(clientBufferSize, writtenSize);
            std::memcpy(outData, tempBuffer.data(), *ioDataSize);
        }
        return result;
    });
}

OSStatus AUMethodSetProperty(void* self, AudioUnitPropertyID inID, AudioUnitScope inScope,
                             AudioUnitElement inElement, const void* inData, UInt32 inDataSize)
{
    return RunAdapter<MutexUse::kHeld>(self, [&](AUBase& unit) -> OSStatus {
        if (inData != nullptr && inDataSize != 0)
            return unit.DispatchSetProperty(inID, inScope, inElement, inData, inDataSize);
        if (inData == nullptr && inDataSize == 0)
            return unit.DispatchRemovePropertyValue(inID, inScope, inElement);
        if (inData == nullptr)
            return AUDebugStringFailed("AudioUnitSetProperty: inData == NULL", kSourceFile,
                                       __LINE__, kAudio_ParamError);
        return AUDebugStringFailed("AudioUnitSetProperty: inDataSize == 0", kSourceFile, __LINE__,
                                   kAudio_ParamError);
    });
}

OSStatus AUMethodAddPropertyListener(void* self, AudioUnitPropertyID prop,
                                     AudioUnitPropertyListenerProc proc, void* userData)
{
    return RunAdapter<MutexUse::kHeld>(
        self, [&](AUBase& unit) { return unit.AddPropertyListener(prop, proc, userData); });
}

OSStatus AUMethodRemovePropertyListener(void* self, AudioUnitPropertyID prop,
                                        AudioUnitPropertyListenerProc proc)
{
    return RunAdapter<MutexUse::kHeld>(self, [&](AUBase& unit) {
        return unit.RemovePropertyListener(prop, proc, nullptr, false);
    });
}

OSStatus AUMethodRemovePropertyListenerWithUserData(void* self, AudioUnitPropertyID prop,
                                                    AudioUnitPropertyListenerProc proc,
                                                    void* userData)
{
    return RunAdapter<MutexUse::kHeld>(self, [&](AUBase& unit) {
        return unit.RemovePropertyListener(prop, proc, userData, true);
    });
}

// ---- Parameters ----

OSStatus AUMethodGetParameter(void* self, AudioUnitParameterID param, AudioUnitScope scope,
                              AudioUnitElement elem, AudioUnitParameterValue* value)
{
    return RunAdapter<MutexUse::kHeld>(self, [&](AUBase& unit) -> OSStatus {
        if (value == nullptr)
            return kAudio_ParamError;
        return unit.GetParameter(param, scope, elem, *value);
    });
}

OSStatus AUMethodSetParameter(void* self, AudioUnitParameterID param, AudioUnitScope scope,
                              AudioUnitElement elem, AudioUnitParameterValue value,
                              UInt32 bufferOffset)
{
    return RunAdapter<MutexUse::kNotHeld>(self, [&](AUBase& unit) {
        return unit.SetParameter(param, scope, elem, value, bufferOffset);
    });
}

OSStatus AUMethodScheduleParameters(void* self, const AudioUnitParameterEvent* events,
                                    UInt32 numEvents)
{
    return RunAdapter<MutexUse::kNotHeld>(
        self, [&](AUBase& unit) { return unit.ScheduleParameter(events, numEvents); });
}

// ---- Rendering ----

OSStatus AUMethodRender(void* self, AudioUnitRenderActionFlags* ioActionFlags,
                        const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                        UInt32 inNumberFrames, AudioBufferList* ioData)
{
    return RunAdapter<MutexUse::kNotHeld>(self, [&](AUBase& unit) -> OSStatus {
        if (inTimeStamp == nullptr || ioData == nullptr)
            return kAudio_ParamError;
        AudioUnitRenderActionFlags localFlags = 0;
        AudioUnitRenderActionFlags& flags = ioActionFlags != nullptr ? *ioActionFlags : localFlags;
        return unit.DoRender(flags, *inTimeStamp, inOutputBusNumber, inNumberFrames, *ioData);
    });
}

OSStatus AUMethodComplexRender(void* self, AudioUnitRenderActionFlags* ioActionFlags,
                               const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                               UInt32 inNumberOfPackets, UInt32* outNumberOfPackets,
                               AudioStreamPacketDescription* outPacketDescriptions,
                               AudioBufferList* ioData, void* outMetadata,
                               UInt32* outMetadataByteSize)
{
    return RunAdapter<MutexUse::kNotHeld>(self, [&](AUBase& unit) -> OSStatus {
        if (inTimeStamp == nullptr || ioData == nullptr)
            return kAudio_ParamError;
        AudioUnitRenderActionFlags localFlags = 0;
        AudioUnitRenderActionFlags& flags = ioActionFlags != nullptr ? *ioActionFlags : localFlags;
        return unit.ComplexRender(flags, *inTimeStamp, inOutputBusNumber, inNumberOfPackets,
                                  outNumberOfPackets, outPacketDescriptions, *ioData, outMetadata,
                                  outMetadataByteSize);
    });
}

// A host that has checked its own arguments may say so with the do-not-check flag; without a
// flags word the check always runs. What the adapter itself dereferences is checked in any case:
// the flag vouches for the buffers, it cannot make a null time stamp readable.
bool ShouldCheckProcessArgs(const AudioUnitRenderActionFlags* ioActionFlags)
{
    return ioActionFlags == nullptr ||
           (*ioActionFlags & kAudioUnitRenderAction_DoNotCheckRenderArgs) == 0;
}

OSStatus AUMethodProcess(void* self, AudioUnitRenderActionFlags* ioActionFlags,
                         const AudioTimeStamp* inTimeStamp, UInt32 inNumberFrames,
                         AudioBufferList* ioData)
{
    return RunAdapter<MutexUse::kNotHeld>(self, [&](AUBase& unit) -> OSStatus {
        if (inTimeStamp == nullptr || ioData == nullptr)
            return kAudio_ParamError;
        AudioUnitRenderActionFlags localFlags = 0;
        AudioUnitRenderActionFlags& flags = ioActionFlags != nullptr ? *ioActionFlags : localFlags;
        return unit.DoProcess(flags, *inTimeStamp, inNumberFrames, *ioData);
    });
}

OSStatus AUMethodProcessMultiple(void* self, AudioUnitRenderActionFlags* ioActionFlags,
                                 const AudioTimeStamp* inTimeStamp, UInt32 inNumberFrames,
                                 UInt32 inNumberInputBufferLists,
                                 const AudioBufferList** inInputBufferLists,
                                 UInt32 inNumberOutputBufferLists,
                                 AudioBufferList** ioOutputBufferLists)
{
    return RunAdapter<MutexUse::kNotHeld>(self, [&](AUBase& unit) -> OSStatus {
        if (inTimeStamp == nullptr ||
            (ShouldCheckProcessArgs(ioActionFlags) &&
             (inInputBufferLists == nullptr || ioOutputBufferLists == nullptr)))
            return kAudio_ParamError;
        AudioUnitRenderActionFlags localFlags = 0;
        AudioUnitRenderActionFlags& flags = ioActionFlags != nullptr ? *ioActionFlags : localFlags;
        return unit.DoProcessMultiple(flags, *inTimeStamp, inNumberFrames, inNumberInputBufferLists,
                                      inInputBufferLists, inNumberOutputBufferLists,
                                      ioOutputBufferLists);
    });
}

OSStatus AUMethodAddRenderNotify(void* self, AURenderCallback proc, void* userData)
{
    return RunAdapter<MutexUse::kHeld>(
        self, [&](AUBase& unit) { return unit.SetRenderNotification(proc, userData); });
}

OSStatus AUMethodRemoveRenderNotify(void* self, AURenderCallback proc, void* userData)
{
    return RunAdapter<MutexUse::kHeld>(
        self, [&](AUBase& unit) { return unit.RemoveRenderNotification(proc, userData); });
}

// ---- Output units ----

OSStatus AUMethodStart(void* self)
{
    return RunAdapter<MutexUse::kHeld>(self, [](AUBase& unit) { return unit.Start(); });
}

OSStatus AUMethodStop(void* self)
{
    return RunAdapter<MutexUse::kHeld>(self, [](AUBase& unit) { return unit.Stop(); });
}

// ---- Music devices ----

OSStatus AUMethodMIDIEvent(void* self, UInt32 inStatus, UInt32 inData1, UInt32 inData2,
                           UInt32 inOffsetSampleFrame)
{
    return RunAdapter<MutexUse::kNotHeld>(self, [&](AUBase& unit) {
        return unit.MIDIEvent(inStatus, inData1, inData2, inOffsetSampleFrame);
    });
}

OSStatus AUMethodSysEx(void* self, const UInt8* inData, UInt32 inLength)
{
    return RunAdapter<MutexUse::kNotHeld>(
        self, [&](AUBase& unit) { return unit.SysEx(inData, inLength); });
}

OSStatus AUMethodPrepareInstrument(void* self, MusicDeviceInstrumentID inInstrument)
{
    return RunAdapter<MutexUse::kNotHeld>(
        self, [&](AUBase& unit) { return unit.PrepareInstrument(inInstrument); });
}

OSStatus AUMethodReleaseInstrument(void* self, MusicDeviceInstrumentID inInstrument)
{
    return RunAdapter<MutexUse::kNotHeld>(
        self, [&](AUBase& unit) { return unit.ReleaseInstrument(inInstrument); });
}

OSStatus AUMethodStartNote(void* self, MusicDeviceInstrumentID inInstrument,
                           MusicDeviceGroupID inGroupID, NoteInstanceID* outNoteInstanceID,
                           UInt32 inOffsetSampleFrame, const MusicDeviceNoteParams* inParams)
{
    return RunAdapter<MutexUse::kNotHeld>(self, [&](AUBase& unit) -> OSStatus {
        if (inParams == nullptr || outNoteInstanceID == nullptr)
            return kAudio_ParamError;
        return unit.StartNote(inInstrument, inGroupID, outNoteInstanceID, inOffsetSampleFrame,
                              *inParams);
    });
}

OSStatus AUMethodStopNote(void* self, MusicDeviceGroupID inGroupID, NoteInstanceID inNoteInstanceID,
                          UInt32 inOffsetSampleFrame)
{
    return RunAdapter<MutexUse::kNotHeld>(self, [&](AUBase& unit) {
        return unit.StopNote(inGroupID, inNoteInstanceID, inOffsetSampleFrame);
    });
}

// ---- The lookups ----

// One selector a kind of unit answers and the adapter that serves it. The adapter is reached
// through a function, so that the tables stay constant data: a cast of a function pointer is not
// a constant expression.
struct SelectorEntry {
    SInt16 selector;
    AudioComponentMethod (*method)();
};

template <auto kAdapter> AudioComponentMethod Adapter()
{
    return reinterpret_cast<AudioComponentMethod>(kAdapter);
}

// The property and parameter calls: every kind of unit answers them, a unit that stands beside
// another only them.
constexpr SelectorEntry kPropertyAndParameterCalls[] = {
    {kAudioUnitGetPropertyInfoSelect, Adapter<&AUMethodGetPropertyInfo>},
    {kAudioUnitGetPropertySelect, Adapter<&AUMethodGetProperty>},
    {kAudioUnitSetPropertySelect, Adapter<&AUMethodSetProperty>},
    {kAudioUnitGetParameterSelect, Adapter<&AUMethodGetParameter>},
    {kAudioUnitSetParameterSelect, Adapter<&AUMethodSetParameter>},
};
// The rest of the calls every kind of unit answers.
constexpr SelectorEntry kLifecycleAndRenderCalls[] = {
    {kAudioUnitInitializeSelect, Adapter<&AUMethodInitialize>},
    {kAudioUnitUninitializeSelect, Adapter<&AUMethodUninitialize>},
    {kAudioUnitResetSelect, Adapter<&AUMethodReset>},
    {kAudioUnitAddPropertyListenerSelect, Adapter<&AUMethodAddPropertyListener>},
    {kAudioUnitRemovePropertyListenerSelect, Adapter<&AUMethodRemovePropertyListener>},
    {kAudioUnitRenderSelect, Adapter<&AUMethodRender>},
    {kAudioUnitAddRenderNotifySelect, Adapter<&AUMethodAddRenderNotify>},
    {kAudioUnitRemoveRenderNotifySelect, Adapter<&AUMethodRemoveRenderNotify>},
    {kAudioUnitScheduleParametersSelect, Adapter<&AUMethodScheduleParameters>},
    {kAudioUnitRemovePropertyListenerWithUserDataSelect,
     Adapter<&AUMethodRemovePropertyListenerWithUserData>},
};
constexpr SelectorEntry kMIDICalls[] = {
    {kMusicDeviceMIDIEventSelect, Adapter<&AUMethodMIDIEvent>},
    {kMusicDeviceSysExSelect, Adapter<&AUMethodSysEx>},
};
constexpr SelectorEntry kOutputCalls[] = {
    {kAudioOutputUnitStartSelect, Adapter<&AUMethodStart>},
    {kAudioOutputUnitStopSelect, Adapter<&AUMethodStop>},
};
constexpr SelectorEntry kComplexRenderCalls[] = {
    {kAudioUnitComplexRenderSelect, Adapter<&AUMethodComplexRender>},
};
constexpr SelectorEntry kProcessCalls[] = {
    {kAudioUnitProcessSelect, Adapter<&AUMethodProcess>},
};
constexpr SelectorEntry kProcessMultipleCalls[] = {
    {kAudioUnitProcessMultipleSelect, Adapter<&AUMethodProcessMultiple>},
};
constexpr SelectorEntry kNoteCalls[] = {
    {kMusicDevicePrepareInstrumentSelect, Adapter<&AUMethodPrepareInstrument>},
    {kMusicDeviceReleaseInstrumentSelect, Adapter<&AUMethodReleaseInstrument>},
    {kMusicDeviceStartNoteSelect, Adapter<&AUMethodStartNote>},
    {kMusicDeviceStopNoteSelect, Adapter<&AUMethodStopNote>},
};

// One table among those a kind of unit asks in turn.
struct SelectorTable {
    template <size_t N>
    constexpr SelectorTable(const SelectorEntry (&entries)[N]) : begin(entries), end(entries + N)
    {
    }
    const SelectorEntry* begin;
    const SelectorEntry* end;
};

// The adapter of the first table, in the order given, that answers the selector; null if none.
AudioComponentMethod LookupInTables(std::initializer_list<SelectorTable> tables, SInt16 selector)
{
    for (const SelectorTable& table : tables)
        for (const SelectorEntry* entry = table.begin; entry != table.end; ++entry)
            if (entry->selector == selector)
                return entry->method();
    return nullptr;
}

// What every kind of unit answers first: the base calls, then the kind's own tables in order.
AudioComponentMethod LookupAfterBase(std::initializer_list<SelectorTable> own, SInt16 selector)
{
    if (AudioComponentMethod method =
            LookupInTables({kPropertyAndParameterCalls, kLifecycleAndRenderCalls}, selector))
        return method;
    return LookupInTables(own, selector);
}

} // namespace

AudioComponentMethod AUBaseLookup::Lookup(SInt16 selector)
{
    return LookupAfterBase({}, selector);
}

AudioComponentMethod MIDI_Lookup(SInt16 selector)
{
    return LookupInTables({kMIDICalls}, selector);
}

AudioComponentMethod AUMIDILookup::Lookup(SInt16 selector)
{
    return LookupAfterBase({kMIDICalls}, selector);
}

AudioComponentMethod AUOutputLookup::Lookup(SInt16 selector)
{
    return LookupAfterBase({kOutputCalls}, selector);
}

AudioComponentMethod AUComplexOutputLookup::Lookup(SInt16 selector)
{
    return LookupAfterBase({kOutputCalls, kComplexRenderCalls}, selector);
}

AudioComponentMethod AUBaseProcessLookup::Lookup(SInt16 selector)
{
    return LookupAfterBase({kProcessCalls}, selector);
}

AudioComponentMethod AUBaseProcessMultipleLookup::Lookup(SInt16 selector)
{
    return LookupAfterBase({kProcessMultipleCalls}, selector);
}

AudioComponentMethod AUBaseProcessAndMultipleLookup::Lookup(SInt16 selector)
{
    return LookupAfterBase({kProcessMultipleCalls, kProcessCalls}, selector);
}

AudioComponentMethod AUMIDIProcessLookup::Lookup(SInt16 selector)
{
    return LookupAfterBase({kProcessCalls, kMIDICalls}, selector);
}

AudioComponentMethod AUMusicLookup::Lookup(SInt16 selector)
{
    return LookupAfterBase({kNoteCalls, kMIDICalls}, selector);
}

AudioComponentMethod AUAuxBaseLookup::Lookup(SInt16 selector)
{
    return LookupInTables({kPropertyAndParameterCalls}, selector);
}
