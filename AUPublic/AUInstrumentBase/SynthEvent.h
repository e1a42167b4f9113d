// One note, pedal or channel event on its way from a host thread to the render thread, with a
// copy of its note parameters: inline for up to 3 arguments, on the heap for more. The copy is
// made and released by the producing thread only, so the render thread never allocates or frees.
#pragma once

#include <AudioUnit/MusicDevice.h>
#include <CoreAudio/CoreAudioTypes.h>

#include <cstddef>

class SynthEvent {
public:
    enum EventType : UInt32 {
        EventNoteOn = 1,
        EventNoteOff = 2,
        EventSustainOn = 3,
        EventSustainOff = 4,
        EventSostenutoOn = 5,
        EventSostenutoOff = 6,
        EventAllNotesOff = 7,
        EventAllSoundOff = 8,
        EventResetAllControllers = 9
    };

    // The most arguments a copy holds without the heap: pitch, velocity and one control value.
    static constexpr UInt32 kInlineArgCount = 3;

    SynthEvent() = default;
    ~SynthEvent() { Free(); }
    SynthEvent(const SynthEvent&) = delete;
    SynthEvent& operator=(const SynthEvent&) = delete;

    // Bytes of a note-parameter record with `inArgCount` (at least 2) arguments, in 64 bits so
    // that no count can wrap it. [any-thread]
    static constexpr size_t ParamsSize(UInt32 inArgCount)
    {
        return offsetof(MusicDeviceNoteParams, mControls) +
               sizeof(NoteParamsControlValue) * (static_cast<size_t>(inArgCount) - 2);
    }

    // Stores the event and a copy of `inParams` (none for null). A record with fewer than 2
    // arguments answers -50 and a copy that cannot be allocated -108; either leaves the event
    // as it was. [host-thread]
    OSStatus Set(UInt32 inType, MusicDeviceGroupID inGroupID, NoteInstanceID inNoteID,
                 UInt32 inStartFrame, const MusicDeviceNoteParams* inParams);
    // Releases a heap copy; the event then has no parameters. [host-thread]
    void Free();

    // [render-thread]
    UInt32 GetType() const { return mType; }
    MusicDeviceGroupID GetGroupID() const { return mGroup; }
    NoteInstanceID GetNoteID() const { return mNote; }
    UInt32 GetStartFrame() const { return mStartFrame; }
    const MusicDeviceNoteParams* GetParams() const { return mParams; }

private:
    bool ParamsAreInline() const { return mParams == nullptr || mParams == &mParamsInline; }

    UInt32 mType = 0;
    MusicDeviceGroupID mGroup = 0;
    NoteInstanceID mNote = 0;
    UInt32 mStartFrame = 0;
    MusicDeviceNoteParams* mParams = nullptr;
    MusicDeviceNoteParams mParamsInline{};
};
