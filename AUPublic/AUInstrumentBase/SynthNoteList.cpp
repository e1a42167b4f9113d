#include "SynthNoteList.h"

#include <cstdio>

void SynthNoteList::AddNote(SynthNote* inNote)
{
    printf("AddNote(inNote=%p) to state: %lu\n", static_cast<void*>(inNote),
           static_cast<unsigned long>(mListState));
    inNote->SetState(mListState);
    inNote->mListPrev = nullptr;
    inNote->mListNext = mFirst;
    if (mFirst != nullptr)
        mFirst->mListPrev = inNote;
    else
        mLast = inNote;
    mFirst = inNote;
}

void SynthNoteList::RemoveNote(SynthNote* inNote)
{
    printf("RemoveNote(inNote=%p) from state: %lu\n", static_cast<void*>(inNote),
           static_cast<unsigned long>(mListState));
    if (inNote->mListPrev != nullptr)
        inNote->mListPrev->mListNext = inNote->mListNext;
    else
        mFirst = inNote->mListNext;
    if (inNote->mListNext != nullptr)
        inNote->mListNext->mListPrev = inNote->mListPrev;
    else
        mLast = inNote->mListPrev;
    inNote->ListRemove();
}

void SynthNoteList::TransferAllFrom(SynthNoteList* inNoteList, UInt32 inFrame)
{
    printf("TransferAllFrom: from state %lu into state %lu\n",
           static_cast<unsigned long>(inNoteList->mListState),
           static_cast<unsigned long>(mListState));
    if (inNoteList->mLast == nullptr)
        return;
    for (SynthNote* note = inNoteList->mFirst; note != nullptr; note = note->mListNext) {
        if (mListState == kSynthNoteState_Released) {
            printf("TransferAllFrom: releasing note %p\n", static_cast<void*>(note));
            note->ReleaseNote(inFrame);
        }
        note->SetState(mListState);
    }
    inNoteList->mLast->mListNext = mFirst;
    if (mFirst != nullptr)
        mFirst->mListPrev = inNoteList->mLast;
    else
        mLast = inNoteList->mLast;
    mFirst = inNoteList->mFirst;
    inNoteList->Empty();
}

SynthNote* SynthNoteList::FindMostQuietNote()
{
    printf("FindMostQuietNote\n");
    Float32 minAmplitude = 1e9f;
    UInt64 oldestStartFrame = 0xFFFFFFFFFFFFFFFFULL;
    SynthNote* mostQuiet = nullptr;
    for (SynthNote* note = mFirst; note != nullptr; note = note->mListNext) {
        const Float32 amp = note->GetAmplitude();
        printf("   amp %g   minAmplitude %g\n", static_cast<double>(amp),
               static_cast<double>(minAmplitude));
        if (amp < minAmplitude) {
            mostQuiet = note;
            minAmplitude = amp;
            oldestStartFrame = note->mStartFrame;
        } else if (amp == minAmplitude && note->mStartFrame < oldestStartFrame) {
            mostQuiet = note;
            oldestStartFrame = note->mStartFrame;
        }
    }
    return mostQuiet;
}
