// An intrusive doubly linked list of notes, newest first, that stamps each note it takes with
// its own state. It never owns its notes: the links live in the notes. Its four moving
// operations write a diagnostic line to standard output each time they run.
#pragma once

#include "SynthNote.h"

class SynthNoteList {
public:
    SynthNoteList() = default;
    SynthNoteList(const SynthNoteList&) = delete;
    SynthNoteList& operator=(const SynthNoteList&) = delete;

    // [host-thread]
    void SetState(SynthNoteState inState) { mListState = inState; }
    // [render-thread]
    SynthNoteState GetState() const { return mListState; }
    SynthNote* First() const { return mFirst; }
    bool NotEmpty() const { return mFirst != nullptr; }

    // Links the note in at the head and gives it this list's state. [render-thread]
    void AddNote(SynthNote* inNote);
    // Unlinks a note of this list; its state stays. [render-thread]
    void RemoveNote(SynthNote* inNote);
    // Forgets every note without touching the notes or their links. [render-thread]
    void Empty() { mFirst = mLast = nullptr; }
    // Moves all of the source's notes, in their order, in front of this list's; into the
    // released state each note is released at `inFrame` on the way. [render-thread]
    void TransferAllFrom(SynthNoteList* inNoteList, UInt32 inFrame);
    // The quietest note, the earliest started among equally quiet ones; null when the list is
    // empty or no amplitude is at most 1e9. [render-thread]
    SynthNote* FindMostQuietNote();

private:
    SynthNoteState mListState = kSynthNoteState_Unset;
    SynthNote* mFirst = nullptr;
    SynthNote* mLast = nullptr;
};
