// The abstract voice of an instrument: one object per voice, owned by the instrument, linked
// into the note list of its state by the group that plays it. A sounding instrument implements
// the pure operations; the base keeps what the groups and lists read.
#pragma once

#include <AudioUnit/MusicDevice.h>
#include <CoreAudio/CoreAudioTypes.h>

class SynthGroupElement;
class SynthNoteList;
class SynthPartElement;

enum SynthNoteState : UInt32 {
    kSynthNoteState_Held = 0,
    kSynthNoteState_SostenutoHeld = 1,
    kSynthNoteState_ReleasedInSostenuto = 2,
    kSynthNoteState_ReleasedInSustain = 3,
    kSynthNoteState_Released = 4,
    kSynthNoteState_FastReleased = 5,
    kSynthNoteState_Free = 6,
    kSynthNoteState_Unset = 7
};

// The states a group keeps a list for.
constexpr UInt32 kNumberOfSoundingNoteStates = kSynthNoteState_Free;

class SynthNote {
public:
    SynthNote() = default;
    virtual ~SynthNote() = default;
    SynthNote(const SynthNote&) = delete;
    SynthNote& operator=(const SynthNote&) = delete;

    // Brings the voice back to silence before it is first handed out. [host-thread]
    virtual void ResetNote() = 0;
    // Starts the voice; false refuses it, and the group then lists it nowhere. The base records
    // part, group, id and start frame and accepts: an override calls it first. [render-thread]
    virtual bool NoteStart(SynthPartElement* inPart, SynthGroupElement* inGroup,
                           NoteInstanceID inNoteID, UInt64 inAbsoluteSampleFrame,
                           UInt32 inOffsetSampleFrame, const MusicDeviceNoteParams& inParams);
    // Adds the voice's audio for one slice to the outputs. [render-thread]
    virtual OSStatus RenderNote(UInt64 inAbsoluteSampleFrame, UInt32 inNumberFrames,
                                AudioBufferList** inBufferList, UInt32 inOutBusCount) = 0;
    // Silences the voice at once; whoever kills it takes it back. [render-thread]
    virtual void KillNote(UInt32 inFrame) = 0;
    // Lets the voice decay as its key was let go. [render-thread]
    virtual void ReleaseNote(UInt32 inFrame) = 0;
    // Cuts the voice short. [render-thread]
    virtual void FastReleaseNote(UInt32 inFrame) = 0;
    // How loud the voice is now; voice stealing takes the quietest. [render-thread]
    virtual Float32 GetAmplitude() = 0;

    // [render-thread]
    SynthNoteState GetState() const { return mNoteState; }
    void SetState(SynthNoteState inState) { mNoteState = inState; }
    bool IsActive() const { return mNoteState < kSynthNoteState_FastReleased; }
    bool IsSounding() const { return mNoteState < kSynthNoteState_Free; }
    // Forgets both links without touching the list that held the note. [render-thread]
    void ListRemove() { mListPrev = mListNext = nullptr; }
    SynthNote* ListNext() const { return mListNext; }

    SynthPartElement* GetPart() const { return mPart; }
    SynthGroupElement* GetGroup() const { return mGroup; }
    NoteInstanceID GetNoteID() const { return mNoteInstanceID; }
    UInt64 GetStartFrame() const { return mStartFrame; }

private:
    friend class SynthNoteList;

    SynthNote* mListPrev = nullptr;
    SynthNote* mListNext = nullptr;
    SynthPartElement* mPart = nullptr;
    SynthGroupElement* mGroup = nullptr;
    NoteInstanceID mNoteInstanceID = 0;
    SynthNoteState mNoteState = kSynthNoteState_Unset;
    UInt64 mStartFrame = 0;
};
