#include "AUMonotimbralInstrumentBase.h"

OSStatus AUMonotimbralInstrumentBase::RealTimeStartNote(SynthGroupElement* inGroup,
                                                        NoteInstanceID inNoteInstanceID,
                                                        UInt32 inOffsetSampleFrame,
                                                        const MusicDeviceNoteParams& inParams)
{
    if (NumActiveNotes() + 1 > MaxActiveNotes())
        VoiceStealing(inOffsetSampleFrame, false);
    SynthNote* note = GetAFreeNote(inOffsetSampleFrame);
    if (note == nullptr)
        return -1;
    SynthPartElement* part = GetPartElement(0);
    IncNumActiveNotes();
    if (!inGroup->NoteOn(note, part, inNoteInstanceID, inOffsetSampleFrame, inParams)) {
        // Listed nowhere, the voice would be lost to the pool for good.
        DecNumActiveNotes();
        note->SetState(kSynthNoteState_Free);
        AddFreeNote(note);
    }
    return noErr;
}
