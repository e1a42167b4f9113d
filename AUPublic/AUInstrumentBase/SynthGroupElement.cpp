#include "SynthGroupElement.h"

#include "AUInstrumentBase.h"

namespace {

constexpr UInt16 kLastPlainController = 101;
// A poly-pressure value packs the key above the 7-bit pressure; keys stop at 127.
constexpr UInt16 kFirstPolyPressureBeyondLastKey = 128 << 7;

} // namespace

SynthGroupElement::SynthGroupElement(AUInstrumentBase* audioUnit, UInt32 inElement,
                                     MIDIControlHandler* inHandler)
    : SynthElement(audioUnit, inElement), mControlHandler(inHandler)
{
    for (UInt32 state = 0; state < kNumberOfSoundingNoteStates; ++state)
        mNoteLists[state].SetState(static_cast<SynthNoteState>(state));
    // A new group is awake with its time unset, and the next pass must visit it.
    if (audioUnit != nullptr)
        audioUnit->GroupWoke();
}

SynthGroupElement::~SynthGroupElement()
{
    delete mControlHandler;
}

bool SynthGroupElement::NoteOn(SynthNote* inNote, SynthPartElement* inPart, NoteInstanceID inNoteID,
                               UInt32 inOffsetSampleFrame, const MusicDeviceNoteParams& inParams)
{
    Wake();
    const UInt64 absoluteStart = mLastRenderTime == -1
                                     ? inOffsetSampleFrame
                                     : static_cast<UInt64>(mLastRenderTime) + inOffsetSampleFrame;
    if (!inNote->NoteStart(inPart, this, inNoteID, absoluteStart, inOffsetSampleFrame, inParams))
        return false;
    mNoteLists[kSynthNoteState_Held].AddNote(inNote);
    return true;
}

void SynthGroupElement::NoteOff(NoteInstanceID inNoteID, UInt32 inFrame)
{
    UInt32 listIndex = 0;
    SynthNote* note = GetNote(inNoteID, true, &listIndex);
    if (note == nullptr)
        return;
    if (listIndex == kSynthNoteState_Held) {
        mNoteLists[kSynthNoteState_Held].RemoveNote(note);
        if (mSustainDown) {
            mNoteLists[kSynthNoteState_ReleasedInSustain].AddNote(note);
        } else {
            note->ReleaseNote(inFrame);
            mNoteLists[kSynthNoteState_Released].AddNote(note);
        }
    } else if (listIndex == kSynthNoteState_SostenutoHeld) {
        MoveNote(note, kSynthNoteState_ReleasedInSostenuto);
    }
}

void SynthGroupElement::NoteEnded(SynthNote* inNote, UInt32 /*inFrame*/)
{
    if (inNote->IsSounding())
        mNoteLists[inNote->GetState()].RemoveNote(inNote);
    GetAUInstrument()->AddFreeNote(inNote);
}

void SynthGroupElement::NoteFastReleased(SynthNote* inNote)
{
    if (!inNote->IsActive())
        return;
    MoveNote(inNote, kSynthNoteState_FastReleased);
    GetAUInstrument()->DecNumActiveNotes();
}

SynthNote* SynthGroupElement::GetNote(NoteInstanceID inNoteID, bool unreleasedOnly,
                                      UInt32* outListIndex)
{
    const UInt32 lastList = !unreleasedOnly  ? kSynthNoteState_Released
                            : mSostenutoDown ? kSynthNoteState_SostenutoHeld
                                             : kSynthNoteState_Held;
    for (UInt32 list = 0; list <= lastList; ++list) {
        if (outListIndex != nullptr)
            *outListIndex = list;
        for (SynthNote* note = mNoteLists[list].First(); note != nullptr; note = note->ListNext())
            if (note->GetNoteID() == inNoteID)
                return note;
    }
    return nullptr;
}

bool SynthGroupElement::ChannelMessage(UInt16 inControllerID, UInt16 inValue)
{
    if (mControlHandler == nullptr)
        return false;
    if (inControllerID <= kLastPlainController && inControllerID != kSustainController &&
        inControllerID != kSostenutoController)
        return mControlHandler->SetController(static_cast<UInt8>(inControllerID),
                                              static_cast<UInt8>(inValue));
    switch (inControllerID) {
    case kPolyPressureMessage:
        // A key beyond 127 would be cut to its low byte on the way to the store.
        if (inValue >= kFirstPolyPressureBeyondLastKey)
            return false;
        return mControlHandler->SetPolyPressure(static_cast<UInt8>(inValue >> 7),
                                                static_cast<UInt8>(inValue & 0x7F));
    case kProgramChangeMessage:
        return mControlHandler->SetProgramChange(inValue);
    case kChannelPressureMessage:
        return mControlHandler->SetChannelPressure(static_cast<UInt8>(inValue));
    case kPitchWheelMessage:
        return mControlHandler->SetPitchWheel(inValue);
    default:
        return false;
    }
}

bool SynthGroupElement::MovePedal(bool& ioPedalDown, bool inDown, UInt8 inController)
{
    if (ioPedalDown == inDown)
        return false;
    if (mControlHandler != nullptr)
        mControlHandler->SetController(inController, inDown ? 127 : 0);
    ioPedalDown = inDown;
    return true;
}

void SynthGroupElement::SustainOn(UInt32 /*inFrame*/)
{
    MovePedal(mSustainDown, true, kSustainController);
}

void SynthGroupElement::SustainOff(UInt32 inFrame)
{
    if (!MovePedal(mSustainDown, false, kSustainController))
        return;
    mNoteLists[kSynthNoteState_Released].TransferAllFrom(
        &mNoteLists[kSynthNoteState_ReleasedInSustain], inFrame);
}

void SynthGroupElement::SostenutoOn(UInt32 inFrame)
{
    if (!MovePedal(mSostenutoDown, true, kSostenutoController))
        return;
    mNoteLists[kSynthNoteState_SostenutoHeld].TransferAllFrom(&mNoteLists[kSynthNoteState_Held],
                                                              inFrame);
}

void SynthGroupElement::SostenutoOff(UInt32 inFrame)
{
    if (!MovePedal(mSostenutoDown, false, kSostenutoController))
        return;
    mNoteLists[kSynthNoteState_Held].TransferAllFrom(&mNoteLists[kSynthNoteState_SostenutoHeld],
                                                     inFrame);
    const SynthNoteState released =
        mSustainDown ? kSynthNoteState_ReleasedInSustain : kSynthNoteState_Released;
    mNoteLists[released].TransferAllFrom(&mNoteLists[kSynthNoteState_ReleasedInSostenuto], inFrame);
}

void SynthGroupElement::AllNotesOff(UInt32 inFrame)
{
    struct Move {
        SynthNoteState from, to;
    };
    for (const Move move :
         {Move{kSynthNoteState_Held, kSynthNoteState_Released},
          Move{kSynthNoteState_SostenutoHeld, kSynthNoteState_ReleasedInSostenuto}}) {
        while (SynthNote* note = mNoteLists[move.from].First()) {
            mNoteLists[move.from].RemoveNote(note);
            note->ReleaseNote(inFrame);
            mNoteLists[move.to].AddNote(note);
        }
    }
}

void SynthGroupElement::AllSoundOff(UInt32 inFrame)
{
    for (UInt32 state = kSynthNoteState_Held; state <= kSynthNoteState_Released; ++state) {
        while (SynthNote* note = mNoteLists[state].First()) {
            mNoteLists[state].RemoveNote(note);
            note->FastReleaseNote(inFrame);
            mNoteLists[kSynthNoteState_FastReleased].AddNote(note);
            GetAUInstrument()->DecNumActiveNotes();
        }
    }
}

void SynthGroupElement::ResetAllControllers(UInt32 /*inFrame*/)
{
    if (mControlHandler != nullptr)
        mControlHandler->Reset();
}

void SynthGroupElement::Reset()
{
    Wake();
    if (mControlHandler != nullptr)
        mControlHandler->Reset();
    EmptyNoteLists();
    // The pedals are up as the store now says, and the next render renders whatever its time.
    mSustainDown = false;
    mSostenutoDown = false;
    mLastRenderTime = -1;
}

void SynthGroupElement::EmptyNoteLists()
{
    for (SynthNoteList& list : mNoteLists)
        list.Empty();
}

void SynthGroupElement::SetGroupID(MusicDeviceGroupID inGroup)
{
    if (mGroupID != kUnassignedGroup)
        throw static_cast<int>(kAudioUnitErr_InvalidElement);
    mGroupID = inGroup;
}

OSStatus SynthGroupElement::Render(SInt64 inAbsoluteFrameTime, UInt32 inNumberFrames,
                                   AUScope& outputScope)
{
    Wake();
    if (inAbsoluteFrameTime == mLastRenderTime)
        return noErr;
    mLastRenderTime = inAbsoluteFrameTime;
    return HasNotes() ? RenderNotes(inAbsoluteFrameTime, inNumberFrames, outputScope) : noErr;
}

OSStatus SynthGroupElement::RenderNotes(SInt64 inAbsoluteFrameTime, UInt32 inNumberFrames,
                                        AUScope& outputScope)
{
    AudioBufferList* outputs[kMaxOutputBuses];
    UInt32 outputCount = 0;
    AUBase* unit = GetAudioUnit();
    while (outputCount < outputScope.GetNumberOfElements() && outputCount < kMaxOutputBuses) {
        outputs[outputCount] = &unit->GetOutput(outputCount)->GetBufferList();
        ++outputCount;
    }
    for (SynthNoteList& list : mNoteLists) {
        for (SynthNote* note = list.First(); note != nullptr;) {
            SynthNote* next = note->ListNext();
            const OSStatus status = note->RenderNote(static_cast<UInt64>(inAbsoluteFrameTime),
                                                     inNumberFrames, outputs, outputCount);
            if (status != noErr)
                return status;
            note = next;
        }
    }
    return noErr;
}

void SynthGroupElement::WakeWithTheInstrumentsTime()
{
    AUInstrumentBase* instrument = GetAUInstrument();
    mLastRenderTime = instrument->SilentGroupRenderTime(GetIndex());
    mAwake = true;
    instrument->GroupWoke();
}

void SynthGroupElement::MoveNote(SynthNote* inNote, SynthNoteState inState)
{
    mNoteLists[inNote->GetState()].RemoveNote(inNote);
    mNoteLists[inState].AddNote(inNote);
}
