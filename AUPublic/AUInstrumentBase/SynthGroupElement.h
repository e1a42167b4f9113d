// One MIDI channel's state in an instrument: the notes it plays, one list per note state, its
// sustain and sostenuto pedals and its controller store. Every per-channel note transition is
// carried out here, and the group renders its notes once per time stamp.
#pragma once

#include "MIDIControlHandler.h"
#include "SynthElement.h"
#include "SynthNoteList.h"

class AUScope;
class SynthPartElement;

class SynthGroupElement : public SynthElement {
public:
    // The group that has not yet been given a channel.
    static constexpr MusicDeviceGroupID kUnassignedGroup = 0xFFFFFFFF;
    // The pedals' controllers, and the ids ChannelMessage takes for values other than
    // controllers: the status of the MIDI message that carries them.
    static constexpr UInt8 kSustainController = 64;
    static constexpr UInt8 kSostenutoController = 66;
    static constexpr UInt16 kPolyPressureMessage = 0xA0;
    static constexpr UInt16 kProgramChangeMessage = 0xC0;
    static constexpr UInt16 kChannelPressureMessage = 0xD0;
    static constexpr UInt16 kPitchWheelMessage = 0xE0;

    // Takes ownership of the controller store. [host-thread]
    SynthGroupElement(AUInstrumentBase* audioUnit, UInt32 inElement, MIDIControlHandler* inHandler);
    ~SynthGroupElement() override;

    // Starts the note at `inOffsetSampleFrame` into the coming slice; a note that refuses to start
    // is listed nowhere and false is returned. [render-thread]
    virtual bool NoteOn(SynthNote* inNote, SynthPartElement* inPart, NoteInstanceID inNoteID,
                        UInt32 inOffsetSampleFrame, const MusicDeviceNoteParams& inParams);
    // Lets go of the key of a held note; anything else is left alone. [render-thread]
    virtual void NoteOff(NoteInstanceID inNoteID, UInt32 inFrame);
    // Routes a controller, pressure, program or wheel value to the store; true if stored.
    // [render-thread]
    virtual bool ChannelMessage(UInt16 inControllerID, UInt16 inValue);
    // Releases the held notes, pedals or not. [render-thread]
    virtual void AllNotesOff(UInt32 inFrame);
    // Cuts every active note short. [render-thread]
    virtual void AllSoundOff(UInt32 inFrame);
    // Renders every sounding note into the unit's outputs, once per absolute frame time. The
    // instrument's render calls ask only a group that lists a note (see RenderOrFallSilent).
    // [render-thread]
    virtual OSStatus Render(SInt64 inAbsoluteFrameTime, UInt32 inNumberFrames,
                            AUScope& outputScope);
    // Gives the group its channel; throws -10877 if it already has one. [render-thread]
    virtual void SetGroupID(MusicDeviceGroupID inGroup);

    // Called by a note that has finished sounding: the instrument takes it back. [render-thread]
    void NoteEnded(SynthNote* inNote, UInt32 inFrame);
    // Called by a note that begins a fast release of its own. [render-thread]
    void NoteFastReleased(SynthNote* inNote);
    // The note with that id among the held ones (also those held by sostenuto while that pedal
    // is down) or, with `unreleasedOnly` false, among all active ones; `outListIndex` receives
    // the list it was found in, or the last one searched. [render-thread]
    SynthNote* GetNote(NoteInstanceID inNoteID, bool unreleasedOnly = false,
                       UInt32* outListIndex = nullptr);

    // [render-thread]
    void SustainOn(UInt32 inFrame);
    void SustainOff(UInt32 inFrame);
    void SostenutoOn(UInt32 inFrame);
    void SostenutoOff(UInt32 inFrame);
    void ResetAllControllers(UInt32 inFrame);
    // The controller values as after construction, the pedals up, and every list forgotten (the
    // notes are re-collected by the instrument). [host-thread]
    void Reset();
    // Forgets every list without touching the notes. [host-thread]
    void EmptyNoteLists();

    // [render-thread]
    MusicDeviceGroupID GroupID() const { return mGroupID; }
    MIDIControlHandler* GetMIDIControlHandler() const { return mControlHandler; }
    // The list of one sounding state, for the instrument's voice stealing. Whoever holds it may
    // list a note there, so the group stops being silent. [render-thread]
    SynthNoteList& NoteList(SynthNoteState inState)
    {
        Wake();
        return mNoteLists[inState];
    }
    bool SustainIsDown() const { return mSustainDown; }
    bool SostenutoIsDown() const { return mSostenutoDown; }

    // The most output buses a group renders into.
    static constexpr UInt32 kMaxOutputBuses = 16;

    // ---- The instrument's render pass ----
    // A silent group lists no note and is not visited by the instrument's render passes: it
    // takes the time of the last pass that reached it from the instrument when it wakes, which
    // it does before anything reads or sets its render time or may list a note in it.
    // [render-thread]
    bool IsSilent() const { return !mAwake; }
    void Wake()
    {
        if (!mAwake)
            WakeWithTheInstrumentsTime();
    }
    // Render for a group that lists a note; a group whose lists are all empty falls silent
    // instead, and so takes this pass's time. [render-thread]
    OSStatus RenderOrFallSilent(SInt64 inAbsoluteFrameTime, UInt32 inNumberFrames,
                                AUScope& outputScope)
    {
        if (HasNotes())
            return Render(inAbsoluteFrameTime, inNumberFrames, outputScope);
        mAwake = false;
        return noErr;
    }

private:
    // Whether some list holds a note. [render-thread]
    bool HasNotes() const
    {
        for (const SynthNoteList& list : mNoteLists)
            if (list.NotEmpty())
                return true;
        return false;
    }
    // [render-thread]
    void WakeWithTheInstrumentsTime();
    // Render's work when a note is listed, apart so that an empty group costs a few loads.
    // [render-thread]
    OSStatus RenderNotes(SInt64 inAbsoluteFrameTime, UInt32 inNumberFrames, AUScope& outputScope);
    // Puts a pedal up or down and tells the controller store; false, and nothing done, when it
    // is there already. [render-thread]
    bool MovePedal(bool& ioPedalDown, bool inDown, UInt8 inController);
    // Moves a note from the list of its state to that of `inState`. [render-thread]
    void MoveNote(SynthNote* inNote, SynthNoteState inState);

    SInt64 mLastRenderTime = -1;
    SynthNoteList mNoteLists[kNumberOfSoundingNoteStates];
    MIDIControlHandler* mControlHandler;
    bool mSustainDown = false;
    bool mSostenutoDown = false;
    MusicDeviceGroupID mGroupID = kUnassignedGroup;
    // False while the group is silent (see Wake): then no list holds a note, since notes are
    // listed only through NoteOn and NoteList, which wake it, and mLastRenderTime is stale.
    bool mAwake = true;
};
