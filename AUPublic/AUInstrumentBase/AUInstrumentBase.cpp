#include "AUInstrumentBase.h"

#include "CatchAsStatus.h"
#include "MidiControls.h"

#include <memory>
#include <stdexcept>

namespace {

// Omni and poly mode changes end every note of the channel.
constexpr UInt8 kFirstSoundOffController = 124;
constexpr UInt8 kLastController = 127;
constexpr UInt8 kPedalDownValue = 64;

// A note id taken from a pitch: its integer part, held within the id range.
NoteInstanceID NoteIDFromPitch(Float32 pitch)
{
    if (!(pitch >= 0.0f))
        return 0;
    if (pitch >= 4294967296.0f)
        return 0xFFFFFFFF;
    return static_cast<NoteInstanceID>(pitch);
}

// A sample time as a whole frame, held within the 64-bit range.
SInt64 AbsoluteFrame(Float64 sampleTime)
{
    constexpr Float64 kLimit = 9223372036854775807.0;
    if (!(sampleTime > -kLimit))
        return -9223372036854775807LL - 1;
    if (sampleTime >= kLimit)
        return 9223372036854775807LL;
    return static_cast<SInt64>(sampleTime);
}

} // namespace

AUInstrumentBase::AUInstrumentBase(AudioComponentInstance inInstance, UInt32 numInputs,
                                   UInt32 numOutputs, UInt32 numGroups, UInt32 numParts)
    : MusicDeviceBase(inInstance, numInputs, numOutputs, numGroups), mPartCount(numParts)
{
    mFreeNoteList.SetState(kSynthNoteState_Free);
    SetWantsRenderThreadID(true);
}

AUInstrumentBase::~AUInstrumentBase() = default;

// ---- Elements ----

void AUInstrumentBase::CreateExtendedElements()
{
    mPartScope.Initialize(this, kAudioUnitScope_Part, mPartCount);
}

AUScope* AUInstrumentBase::GetScopeExtended(AudioUnitScope inScope)
{
    return inScope == kAudioUnitScope_Part ? &mPartScope : nullptr;
}

AUElement* AUInstrumentBase::CreateElement(AudioUnitScope scope, AudioUnitElement element)
{
    switch (scope) {
    case kAudioUnitScope_Group: {
        auto controls = std::make_unique<MidiControls>();
        auto* group = new SynthGroupElement(this, element, controls.get());
        controls.release();
        return group;
    }
    case kAudioUnitScope_Part:
        return new SynthPartElement(this, element);
    default:
        return MusicDeviceBase::CreateElement(scope, element);
    }
}

SynthGroupElement* AUInstrumentBase::GetElForGroupID(MusicDeviceGroupID inGroupID)
{
    AUScope& groups = Groups();
    for (UInt32 i = 0; i < groups.GetNumberOfElements(); ++i) {
        auto* group = static_cast<SynthGroupElement*>(groups.GetElement(i));
        if (group->GroupID() == inGroupID)
            return group;
        if (group->GroupID() == SynthGroupElement::kUnassignedGroup) {
            group->SetGroupID(inGroupID);
            return group;
        }
    }
    throw static_cast<int>(kAudioUnitErr_InvalidElement);
}

SynthGroupElement* AUInstrumentBase::GetElForNoteID(NoteInstanceID inNoteID)
{
    AUScope& groups = Groups();
    for (UInt32 i = 0; i < groups.GetNumberOfElements(); ++i) {
        auto* group = static_cast<SynthGroupElement*>(groups.GetElement(i));
        if (group->GetNote(inNoteID) != nullptr)
            return group;
    }
    throw static_cast<int>(kAudioUnitErr_InvalidElement);
}

SynthPartElement* AUInstrumentBase::GetPartElement(AudioUnitElement inPartElement)
{
    return static_cast<SynthPartElement*>(mPartScope.GetElement(inPartElement));
}

// ---- Lifecycle ----

OSStatus AUInstrumentBase::Initialize()
{
    mLastNoteID = 128;
    mFrameCounter = 0;
    return noErr;
}

void AUInstrumentBase::Cleanup()
{
    mFreeNoteList.Empty();
    // The pool is handed over again when the unit initializes: a group that still listed one of
    // its notes would list it twice once it plays again, and its list would run in a circle.
    AUScope& groups = Groups();
    for (UInt32 i = 0; i < groups.GetNumberOfElements(); ++i)
        static_cast<SynthGroupElement*>(groups.GetElement(i))->EmptyNoteLists();
}

OSStatus AUInstrumentBase::Reset(AudioUnitScope inScope, AudioUnitElement inElement)
{
    if (inScope == kAudioUnitScope_Global) {
        mFreeNoteList.Empty();
        for (UInt32 i = 0; i < mNoteCount; ++i) {
            SynthNote* note = GetNote(i);
            if (note->IsSounding())
                note->KillNote(0);
            note->ListRemove();
            mFreeNoteList.AddNote(note);
        }
        mActiveNoteCount = 0;
        mFrameCounter = 0;
        AUScope& groups = Groups();
        for (UInt32 i = 0; i < groups.GetNumberOfElements(); ++i)
            static_cast<SynthGroupElement*>(groups.GetElement(i))->Reset();
    }
    return MusicDeviceBase::Reset(inScope, inElement);
}

bool AUInstrumentBase::StreamFormatWritable(AudioUnitScope /*scope*/, AudioUnitElement /*element*/)
{
    return !IsInitialized();
}

bool AUInstrumentBase::ValidFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                                   const CAStreamBasicDescription& inNewFormat)
{
    const bool valid = MusicDeviceBase::ValidFormat(inScope, inElement, inNewFormat);
    if (SupportedNumChannels(nullptr) != 0)
        return valid;
    return valid &&
           inNewFormat.NumberChannels() == GetStreamFormat(inScope, inElement).NumberChannels();
}

// ---- Rendering ----

OSStatus AUInstrumentBase::RenderAwakeGroups(Float64 inSampleTime, UInt32 inNumberFrames,
                                             AUScope& outputs)
{
    const SInt64 absoluteFrame = AbsoluteFrame(inSampleTime);
    // Groups that wake during the pass (a note's render may wake one) set the flag again.
    mGroupsMayBeAwake = false;
    mPassTime = absoluteFrame;
    AUScope& groups = Groups();
    const UInt32 count = groups.GetNumberOfElements();
    for (UInt32 i = 0; i < count; ++i) {
        mGroupsPassed = i;
        auto* group = static_cast<SynthGroupElement*>(groups.GetElement(i));
        if (group->IsSilent())
            continue;
        OSStatus status = noErr;
        try {
            status = group->RenderOrFallSilent(absoluteFrame, inNumberFrames, outputs);
        } catch (...) {
            EndInterruptedPass(i);
            throw;
        }
        if (status != noErr) {
            EndInterruptedPass(i);
            return status;
        }
        if (!group->IsSilent())
            mGroupsMayBeAwake = true;
    }
    mGroupsPassed = 0;
    mSilentGroupsSampleTime = inSampleTime;
    return noErr;
}

SInt64 AUInstrumentBase::SilentGroupRenderTime(UInt32 inGroupIndex) const
{
    return inGroupIndex < mGroupsPassed ? mPassTime : AbsoluteFrame(mSilentGroupsSampleTime);
}

void AUInstrumentBase::EndInterruptedPass(UInt32 inStoppedAt)
{
    // Woken now, the groups before the stop take this pass's time; those after it, silent still,
    // keep that of the last whole pass.
    AUScope& groups = Groups();
    mGroupsPassed = inStoppedAt;
    for (UInt32 i = 0; i < inStoppedAt; ++i)
        static_cast<SynthGroupElement*>(groups.GetElement(i))->Wake();
    mGroupsPassed = 0;
    mGroupsMayBeAwake = true;
}

void AUInstrumentBase::PerformQueuedEvents()
{
    // At most one ring's worth: producers refilling the ring meanwhile must not keep the render
    // thread here; what they add now waits for the next call.
    UInt32 budget = mEventFIFO.Capacity() - 1;
    for (const SynthEvent* event; budget > 0 && (event = mEventFIFO.ReadItem()) != nullptr;
         --budget) {
        // An event that cannot be performed must still leave the ring, or it would fail every
        // render call from now on.
        const OSStatus thrown = CatchAsStatus([&] {
            PerformEvent(*event);
            return OSStatus(noErr);
        });
        if (thrown != noErr)
            mDroppedEvents.fetch_add(1, std::memory_order_relaxed);
        mEventFIFO.AdvanceReadPtr();
    }
}

void AUInstrumentBase::PerformEvent(const SynthEvent& inEvent)
{
    switch (inEvent.GetType()) {
    case SynthEvent::EventNoteOn:
        if (inEvent.GetParams() == nullptr)
            throw static_cast<int>(kAudio_ParamError);
        RealTimeStartNote(GetElForGroupID(inEvent.GetGroupID()), inEvent.GetNoteID(),
                          inEvent.GetStartFrame(), *inEvent.GetParams());
        break;
    case SynthEvent::EventNoteOff:
        RealTimeStopNote(inEvent.GetGroupID(), inEvent.GetNoteID(), inEvent.GetStartFrame());
        break;
    default:
        PerformGroupEvent(*GetElForGroupID(inEvent.GetGroupID()), inEvent.GetType(),
                          inEvent.GetStartFrame());
        break;
    }
}

void AUInstrumentBase::PerformGroupEvent(SynthGroupElement& inGroup, UInt32 inEventType,
                                         UInt32 inFrame)
{
    // What each kind of group event does to the group; any other kind does nothing.
    using GroupCall = void (SynthGroupElement::*)(UInt32);
    struct GroupEvent {
        UInt32 type;
        GroupCall call;
    };
    static constexpr GroupEvent kGroupEvents[] = {
        {SynthEvent::EventSustainOn, &SynthGroupElement::SustainOn},
        {SynthEvent::EventSustainOff, &SynthGroupElement::SustainOff},
        {SynthEvent::EventSostenutoOn, &SynthGroupElement::SostenutoOn},
        {SynthEvent::EventSostenutoOff, &SynthGroupElement::SostenutoOff},
        {SynthEvent::EventAllNotesOff, &SynthGroupElement::AllNotesOff},
        {SynthEvent::EventAllSoundOff, &SynthGroupElement::AllSoundOff},
        {SynthEvent::EventResetAllControllers, &SynthGroupElement::ResetAllControllers},
    };
    for (const GroupEvent& event : kGroupEvents) {
        if (event.type == inEventType) {
            (inGroup.*event.call)(inFrame);
            return;
        }
    }
}

// ---- Note calls ----

OSStatus AUInstrumentBase::StartNote(MusicDeviceInstrumentID /*inInstrument*/,
                                     MusicDeviceGroupID inGroupID,
                                     NoteInstanceID* outNoteInstanceID, UInt32 inOffsetSampleFrame,
                                     const MusicDeviceNoteParams& inParams)
{
    if (inParams.argCount < 2)
        return kAudio_ParamError;
    NoteInstanceID noteID = 0;
    if (outNoteInstanceID != nullptr) {
        noteID = NextNoteID();
        *outNoteInstanceID = noteID;
    } else {
        noteID = NoteIDFromPitch(inParams.mPitch);
    }
    if (InRenderThread())
        return RealTimeStartNote(GetElForGroupID(inGroupID), noteID, inOffsetSampleFrame, inParams);
    return QueueEvent(SynthEvent::EventNoteOn, inGroupID, noteID, inOffsetSampleFrame, &inParams);
}

OSStatus AUInstrumentBase::StopNote(MusicDeviceGroupID inGroupID, NoteInstanceID inNoteInstanceID,
                                    UInt32 inOffsetSampleFrame)
{
    if (InRenderThread())
        return RealTimeStopNote(inGroupID, inNoteInstanceID, inOffsetSampleFrame);
    return QueueEvent(SynthEvent::EventNoteOff, inGroupID, inNoteInstanceID, inOffsetSampleFrame,
                      nullptr);
}

OSStatus AUInstrumentBase::SendPedalEvent(MusicDeviceGroupID inGroupID, UInt32 inEventType,
                                          UInt32 inOffsetSampleFrame)
{
    if (!InRenderThread())
        return QueueEvent(inEventType, inGroupID, 0, 0, nullptr);
    return WithGroup(inGroupID, [&](SynthGroupElement& group) {
        PerformGroupEvent(group, inEventType, inOffsetSampleFrame);
        if (inEventType == SynthEvent::EventAllNotesOff ||
            inEventType == SynthEvent::EventAllSoundOff)
            mActiveNoteCount = CountActiveNotes();
    });
}

OSStatus AUInstrumentBase::QueueEvent(UInt32 inType, MusicDeviceGroupID inGroupID,
                                      NoteInstanceID inNoteID, UInt32 inOffsetSampleFrame,
                                      const MusicDeviceNoteParams* inParams)
{
    std::lock_guard<std::mutex> producer(mProducerMutex);
    SynthEvent* event = mEventFIFO.WriteItem();
    if (event == nullptr)
        return kEventQueueFull;
    const OSStatus status = event->Set(inType, inGroupID, inNoteID, inOffsetSampleFrame, inParams);
    if (status != noErr)
        return status;
    mEventFIFO.AdvanceWritePtr();
    return noErr;
}

OSStatus AUInstrumentBase::RealTimeStartNote(SynthGroupElement* /*inGroup*/,
                                             NoteInstanceID /*inNoteInstanceID*/,
                                             UInt32 /*inOffsetSampleFrame*/,
                                             const MusicDeviceNoteParams& /*inParams*/)
{
    return noErr;
}

OSStatus AUInstrumentBase::RealTimeStopNote(MusicDeviceGroupID inGroup,
                                            NoteInstanceID inNoteInstanceID,
                                            UInt32 inOffsetSampleFrame)
{
    SynthGroupElement* group = inGroup == SynthGroupElement::kUnassignedGroup
                                   ? GetElForNoteID(inNoteInstanceID)
                                   : GetElForGroupID(inGroup);
    group->NoteOff(inNoteInstanceID, inOffsetSampleFrame);
    return noErr;
}

// ---- Channel messages ----

template <class Action>
OSStatus AUInstrumentBase::WithGroup(MusicDeviceGroupID inGroupID, Action action)
{
    return CatchAsStatus([&] {
        action(*GetElForGroupID(inGroupID));
        return OSStatus(noErr);
    });
}

OSStatus AUInstrumentBase::HandleControlChange(UInt8 inChannel, UInt8 inController, UInt8 inValue,
                                               UInt32 inStartFrame)
{
    return WithGroup(inChannel, [&](SynthGroupElement& group) {
        group.ChannelMessage(inController, inValue);
        const bool down = inValue >= kPedalDownValue;
        if (inController == SynthGroupElement::kSustainController)
            SendPedalEvent(inChannel,
                           down ? SynthEvent::EventSustainOn : SynthEvent::EventSustainOff,
                           inStartFrame);
        else if (inController == SynthGroupElement::kSostenutoController)
            SendPedalEvent(inChannel,
                           down ? SynthEvent::EventSostenutoOn : SynthEvent::EventSostenutoOff,
                           inStartFrame);
        else if (inController >= kFirstSoundOffController && inController <= kLastController)
            HandleAllSoundOff(inChannel);
    });
}

OSStatus AUInstrumentBase::HandlePitchWheel(UInt8 inChannel, UInt8 inPitch1, UInt8 inPitch2,
                                            UInt32 /*inStartFrame*/)
{
    return WithGroup(inChannel, [&](SynthGroupElement& group) {
        group.ChannelMessage(SynthGroupElement::kPitchWheelMessage,
                             UInt16(inPitch2 * 128 + inPitch1));
    });
}

OSStatus AUInstrumentBase::HandleChannelPressure(UInt8 inChannel, UInt8 inValue,
                                                 UInt32 /*inStartFrame*/)
{
    return WithGroup(inChannel, [&](SynthGroupElement& group) {
        group.ChannelMessage(SynthGroupElement::kChannelPressureMessage, inValue);
    });
}

OSStatus AUInstrumentBase::HandleProgramChange(UInt8 inChannel, UInt8 inValue)
{
    return WithGroup(inChannel, [&](SynthGroupElement& group) {
        group.ChannelMessage(SynthGroupElement::kProgramChangeMessage, inValue);
    });
}

OSStatus AUInstrumentBase::HandlePolyPressure(UInt8 inChannel, UInt8 inKey, UInt8 inValue,
                                              UInt32 /*inStartFrame*/)
{
    return WithGroup(inChannel, [&](SynthGroupElement& group) {
        group.ChannelMessage(SynthGroupElement::kPolyPressureMessage,
                             UInt16(inKey * 128 + inValue));
    });
}

OSStatus AUInstrumentBase::HandleResetAllControllers(UInt8 inChannel)
{
    return SendPedalEvent(inChannel, SynthEvent::EventResetAllControllers, 0);
}

OSStatus AUInstrumentBase::HandleAllNotesOff(UInt8 inChannel)
{
    return SendPedalEvent(inChannel, SynthEvent::EventAllNotesOff, 0);
}

OSStatus AUInstrumentBase::HandleAllSoundOff(UInt8 inChannel)
{
    return SendPedalEvent(inChannel, SynthEvent::EventAllSoundOff, 0);
}

// ---- The note pool ----

void AUInstrumentBase::SetNotes(UInt32 inNumNotes, UInt32 inMaxActiveNotes, SynthNote* inNotes,
                                UInt32 inNoteSize)
{
    mNoteCount = inNumNotes;
    mMaxActiveNoteCount = inMaxActiveNotes;
    mNoteStorage = inNotes;
    mNoteStride = inNoteSize;
    for (UInt32 i = 0; i < mNoteCount; ++i) {
        SynthNote* note = GetNote(i);
        note->ResetNote();
        mFreeNoteList.AddNote(note);
    }
}

SynthNote* AUInstrumentBase::GetNote(UInt32 inIndex)
{
    if (mNoteStorage == nullptr)
        throw std::runtime_error("no notes");
    return reinterpret_cast<SynthNote*>(reinterpret_cast<Byte*>(mNoteStorage) +
                                        size_t(inIndex) * mNoteStride);
}

SynthNote* AUInstrumentBase::GetAFreeNote(UInt32 inFrame)
{
    SynthNote* note = mFreeNoteList.First();
    if (note == nullptr)
        return VoiceStealing(inFrame, true);
    mFreeNoteList.RemoveNote(note);
    return note;
}

void AUInstrumentBase::AddFreeNote(SynthNote* inNote)
{
    if (inNote->IsActive())
        --mActiveNoteCount;
    mFreeNoteList.AddNote(inNote);
}

UInt32 AUInstrumentBase::CountActiveNotes()
{
    UInt32 count = 0;
    for (UInt32 i = 0; i < mNoteCount; ++i)
        if (GetNote(i)->IsActive())
            ++count;
    return count;
}

SynthNote* AUInstrumentBase::VoiceStealing(UInt32 inFrame, bool inKillIt)
{
    const SInt32 firstState = inKillIt ? kSynthNoteState_FastReleased : kSynthNoteState_Released;
    AUScope& groups = Groups();
    for (SInt32 state = firstState; state >= 0; --state) {
        const auto noteState = static_cast<SynthNoteState>(state);
        for (UInt32 i = 0; i < groups.GetNumberOfElements(); ++i) {
            auto* group = static_cast<SynthGroupElement*>(groups.GetElement(i));
            SynthNoteList& list = group->NoteList(noteState);
            if (!list.NotEmpty())
                continue;
            // Notes too loud (or without a number for their loudness) to compare are not taken.
            SynthNote* note = list.FindMostQuietNote();
            if (note == nullptr)
                continue;
            if (inKillIt) {
                note->KillNote(inFrame);
                list.RemoveNote(note);
                if (noteState != kSynthNoteState_FastReleased)
                    --mActiveNoteCount;
                return note;
            }
            list.RemoveNote(note);
            note->FastReleaseNote(inFrame);
            group->NoteList(kSynthNoteState_FastReleased).AddNote(note);
            --mActiveNoteCount;
            return nullptr;
        }
    }
    return nullptr;
}
