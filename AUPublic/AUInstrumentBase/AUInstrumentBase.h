// The instrument layer between the music-device base and a concrete instrument: it turns note
// calls and channel messages into actions on groups, notes and parts. Calls on the render
// thread act at once; calls from other threads travel through a lock-free ring that the render
// thread drains at the start of each render call. It also keeps the note pool with voice
// stealing and the part scope, and renders silence before the groups render their notes.
#pragma once

#include "LockFreeFIFOWithFree.h"
#include "MusicDeviceBase.h"
#include "SynthEvent.h"
#include "SynthGroupElement.h"
#include "SynthNoteList.h"
#include "SynthPartElement.h"

#include <atomic>
#include <cstring>
#include <mutex>

class AUInstrumentBase : public MusicDeviceBase {
public:
    // Slots of the event ring; one fewer events wait at once.
    static constexpr UInt32 kEventQueueSize = 1024;
    // What a note or pedal call answers when the ring is full.
    static constexpr OSStatus kEventQueueFull = -1;

    // [host-thread]
    AUInstrumentBase(AudioComponentInstance inInstance, UInt32 numInputs, UInt32 numOutputs,
                     UInt32 numGroups, UInt32 numParts);
    ~AUInstrumentBase() override;

    // Starts a note on a group element; the base starts nothing. [render-thread]
    virtual OSStatus RealTimeStartNote(SynthGroupElement* inGroup, NoteInstanceID inNoteInstanceID,
                                       UInt32 inOffsetSampleFrame,
                                       const MusicDeviceNoteParams& inParams);
    // Lets go of a note of the group, or of whichever group plays it for group 0xFFFFFFFF;
    // throws -10877 when there is no such group. [render-thread]
    virtual OSStatus RealTimeStopNote(MusicDeviceGroupID inGroup, NoteInstanceID inNoteInstanceID,
                                      UInt32 inOffsetSampleFrame);

    // Frees a voice for a new note: fast-releases the quietest released (or, down the states,
    // held) note, or with `inKillIt` kills the quietest fast-released one and hands it out.
    // Null when nothing was taken for reuse. [render-thread]
    virtual SynthNote* VoiceStealing(UInt32 inFrame, bool inKillIt);
    // The group element serving a group id, given to the first unassigned element when the id
    // is new; throws -10877 when none is left. [render-thread]
    virtual SynthGroupElement* GetElForGroupID(MusicDeviceGroupID inGroupID);
    // The group element that plays the note; throws -10877 when none does. [render-thread]
    virtual SynthGroupElement* GetElForNoteID(NoteInstanceID inNoteID);

    // [host-thread]
    void CreateExtendedElements() override;
    // [host-thread & !initialized]
    OSStatus Initialize() override;
    // [host-thread & initialized]
    void Cleanup() override;
    // The global scope also gathers every note back into the pool and resets the groups.
    // [host-thread]
    OSStatus Reset(AudioUnitScope inScope, AudioUnitElement inElement) override;
    // [any-thread]
    bool CanScheduleParameters() const override { return false; }
    // Performs the queued events, zeroes the outputs and renders the groups. Inline, so that a
    // unit's own Render that calls this one takes it in. [render-thread]
    OSStatus Render(AudioUnitRenderActionFlags& /*ioActionFlags*/,
                    const AudioTimeStamp& inTimeStamp, UInt32 inNumberFrames) override
    {
        PerformEvents(inTimeStamp);
        AUScope& outputs = Outputs();
        // Every output: the scope's elements up to the first index it does not have.
        for (UInt32 i = 0; AUElement* element = outputs.GetElement(i); ++i) {
            // Where the caller lent its buffers for this call, the silence and the notes go
            // straight into them, and nothing is copied afterwards.
            auto* output = static_cast<AUOutputElement*>(element);
            AudioBufferList& list = output->HoldsCallersMemory()
                                        ? output->GetBufferList()
                                        : output->PrepareBuffer(inNumberFrames);
            for (UInt32 b = 0; b < list.mNumberBuffers; ++b)
                std::memset(list.mBuffers[b].mData, 0, list.mBuffers[b].mDataByteSize);
        }
        const OSStatus status = RenderGroups(inTimeStamp.mSampleTime, inNumberFrames, outputs);
        if (status != noErr)
            return status;
        mFrameCounter += inNumberFrames;
        return noErr;
    }
    // [host-thread]
    bool StreamFormatWritable(AudioUnitScope scope, AudioUnitElement element) override;
    // Without a channel-configuration table a bus keeps its channel count. [host-thread]
    bool ValidFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                     const CAStreamBasicDescription& inNewFormat) override;
    // [any-thread]
    AUScope* GetScopeExtended(AudioUnitScope inScope) override;
    // Groups are SynthGroupElements with a MidiControls store, parts SynthPartElements.
    // [host-thread]
    AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement element) override;

    // Parameters with fewer than 2 arguments are refused with -50. A note id is handed out when
    // `outNoteInstanceID` is given, else the pitch is the id. Off the render thread the note is
    // queued: -1 when the ring is full, -108 when its parameters cannot be copied. [any-thread]
    OSStatus StartNote(MusicDeviceInstrumentID inInstrument, MusicDeviceGroupID inGroupID,
                       NoteInstanceID* outNoteInstanceID, UInt32 inOffsetSampleFrame,
                       const MusicDeviceNoteParams& inParams) override;
    // [any-thread]
    OSStatus StopNote(MusicDeviceGroupID inGroupID, NoteInstanceID inNoteInstanceID,
                      UInt32 inOffsetSampleFrame) override;
    // A pedal, all-notes-off, all-sound-off or reset-controllers event (SynthEvent types 3 to
    // 9) for a group; queued events act at frame 0 of the next render. [any-thread]
    OSStatus SendPedalEvent(MusicDeviceGroupID inGroupID, UInt32 inEventType,
                            UInt32 inOffsetSampleFrame);

    // ---- The note pool ----
    // Takes the subclass's notes, `inNoteSize` bytes apart, and puts them all on the free list;
    // they stay the subclass's. [host-thread & !initialized]
    void SetNotes(UInt32 inNumNotes, UInt32 inMaxActiveNotes, SynthNote* inNotes,
                  UInt32 inNoteSize);
    // Throws a runtime error "no notes" while there are none. [render-thread]
    SynthNote* GetNote(UInt32 inIndex);
    // A free note, or a stolen one. [render-thread]
    SynthNote* GetAFreeNote(UInt32 inFrame);
    // Takes a finished note back. [render-thread]
    void AddFreeNote(SynthNote* inNote);
    // [render-thread]
    UInt32 CountActiveNotes();
    UInt32 NumActiveNotes() const { return mActiveNoteCount; }
    UInt32 MaxActiveNotes() const { return mMaxActiveNoteCount; }
    void IncNumActiveNotes() { ++mActiveNoteCount; }
    void DecNumActiveNotes() { --mActiveNoteCount; }

    // Null when there is no such part. [render-thread]
    SynthPartElement* GetPartElement(AudioUnitElement inPartElement);
    // Frames rendered since initialization or the last global reset. [render-thread]
    UInt64 FrameCounter() const { return mFrameCounter; }
    // ---- For the groups' render passes ----
    // The render time of a silent group: that of the last pass that reached it.
    // [render-thread]
    SInt64 SilentGroupRenderTime(UInt32 inGroupIndex) const;
    // A group woke, so the next pass visits the groups. [render-thread]
    void GroupWoke() { mGroupsMayBeAwake = true; }

    // Queued events the render thread could not perform (no group left for their id, no group
    // playing their note) and dropped. [any-thread]
    UInt32 DroppedEventCount() const { return mDroppedEvents.load(std::memory_order_relaxed); }

protected:
    // Channel messages: each answers -10877 when no group element is left for the channel.
    // [render-thread]
    OSStatus HandleControlChange(UInt8 inChannel, UInt8 inController, UInt8 inValue,
                                 UInt32 inStartFrame) override;
    OSStatus HandlePitchWheel(UInt8 inChannel, UInt8 inPitch1, UInt8 inPitch2,
                              UInt32 inStartFrame) override;
    OSStatus HandleChannelPressure(UInt8 inChannel, UInt8 inValue, UInt32 inStartFrame) override;
    OSStatus HandleProgramChange(UInt8 inChannel, UInt8 inValue) override;
    OSStatus HandlePolyPressure(UInt8 inChannel, UInt8 inKey, UInt8 inValue,
                                UInt32 inStartFrame) override;
    OSStatus HandleResetAllControllers(UInt8 inChannel) override;
    OSStatus HandleAllNotesOff(UInt8 inChannel) override;
    OSStatus HandleAllSoundOff(UInt8 inChannel) override;

    // The next note instance id; ids start at 129 after initialization. [any-thread]
    NoteInstanceID NextNoteID() { return NoteInstanceID(++mLastNoteID); }
    // Performs the queued events in order, as many as the ring holds at most, dropping what
    // cannot be performed. [render-thread]
    void PerformEvents(const AudioTimeStamp& /*inTimeStamp*/)
    {
        // Most render calls find the ring empty: they need not enter the loop's frame.
        if (mEventFIFO.HasItems())
            PerformQueuedEvents();
    }

private:
    // Takes a slot, fills it and publishes it, holding the producers' lock. [any-thread]
    OSStatus QueueEvent(UInt32 inType, MusicDeviceGroupID inGroupID, NoteInstanceID inNoteID,
                        UInt32 inOffsetSampleFrame, const MusicDeviceNoteParams* inParams);
    // The loop of PerformEvents. [render-thread]
    void PerformQueuedEvents();
    // Renders the awake groups in element order, at most until one fails; while every group
    // is silent it touches none. [render-thread]
    OSStatus RenderGroups(Float64 inSampleTime, UInt32 inNumberFrames, AUScope& outputs)
    {
        // A silent group has nothing to render, and the time it would take it learns when it
        // wakes (kept as the sample time: the frame is worked out only then).
        if (!mGroupsMayBeAwake) {
            mSilentGroupsSampleTime = inSampleTime;
            return noErr;
        }
        return RenderAwakeGroups(inSampleTime, inNumberFrames, outputs);
    }
    // The pass of RenderGroups once a group may be awake. [render-thread]
    OSStatus RenderAwakeGroups(Float64 inSampleTime, UInt32 inNumberFrames, AUScope& outputs);
    // Ends a pass that stopped at group `inStoppedAt`: the silent groups it passed keep its
    // time as their own. [render-thread]
    void EndInterruptedPass(UInt32 inStoppedAt);
    // One queued event; throws what its group lookup throws. [render-thread]
    void PerformEvent(const SynthEvent& inEvent);
    // A group event of types 3 to 9 on its element. [render-thread]
    static void PerformGroupEvent(SynthGroupElement& inGroup, UInt32 inEventType, UInt32 inFrame);
    // Runs `action` on the channel's group element; -10877 when there is none. [render-thread]
    template <class Action> OSStatus WithGroup(MusicDeviceGroupID inGroupID, Action action);

    UInt64 mFrameCounter = 0;
    std::atomic<SInt32> mLastNoteID{128};
    LockFreeFIFOWithFree<SynthEvent> mEventFIFO{kEventQueueSize};
    UInt32 mNoteCount = 0;
    UInt32 mActiveNoteCount = 0;
    UInt32 mMaxActiveNoteCount = 0;
    SynthNote* mNoteStorage = nullptr;
    SynthNoteList mFreeNoteList;
    UInt32 mNoteStride = 0;
    AUScope mPartScope;
    const UInt32 mPartCount;
    // Serialises the producers; the render thread never takes it.
    std::mutex mProducerMutex;
    std::atomic<UInt32> mDroppedEvents{0};
    // Whether a group may be awake; false only after a pass found every group silent and no
    // group woke since.
    bool mGroupsMayBeAwake = true;
    // The sample time of the last pass that reached every group: that of every silent group.
    Float64 mSilentGroupsSampleTime = -1;
    // The pass under way: its time, and how many groups (in element order) it has passed.
    SInt64 mPassTime = -1;
    UInt32 mGroupsPassed = 0;
};
