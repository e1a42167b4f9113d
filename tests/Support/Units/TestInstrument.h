// Instruments for tests of the instrument framework, and how tests drive them. TestInstrument is
// monotimbral and plays TestNotes that share one call log; EmptyInstrument is shaped like the
// MIDI output unit (one input, one output, 16 groups, one part, no notes).
#pragma once

#include "AUMonotimbralInstrumentBase.h"
#include "TestNote.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace instrument_test {

// A note-parameter record with room for up to 9 arguments, laid out as the platform lays it out;
// control value i has id i + 1 and value i / 2. It converts to the record the note calls take.
struct NoteParamsRecord {
    static constexpr UInt32 kMaxArgCount = 9;
    operator const MusicDeviceNoteParams&() const { return params; }
    MusicDeviceNoteParams params;
    NoteParamsControlValue more[kMaxArgCount - 3];
};

inline NoteParamsRecord NoteParams(Float32 pitch, Float32 velocity = 100, UInt32 argCount = 2)
{
    NoteParamsRecord record{};
    record.params.argCount = argCount;
    record.params.mPitch = pitch;
    record.params.mVelocity = velocity;
    for (UInt32 i = 0; i + 2 < argCount && i + 2 < NoteParamsRecord::kMaxArgCount; ++i)
        (i == 0 ? record.params.mControls[0] : record.more[i - 1]) = {i + 1, Float32(i) / 2};
    return record;
}

class TestInstrument : public AUMonotimbralInstrumentBase {
public:
    explicit TestInstrument(UInt32 notes = 8, UInt32 maxActive = 8, UInt32 groups = 16,
                            UInt32 parts = 1)
        : AUMonotimbralInstrumentBase(nullptr, 1, 1, groups, parts), mNoteCount(notes),
          mMaxActive(maxActive), mNotes(new TestNote[notes])
    {
        for (UInt32 i = 0; i < notes; ++i)
            mNotes[i].mLog = &mLog;
    }

    // Hands the notes to the pool, as a sounding instrument does when it initializes.
    OSStatus Initialize() override
    {
        const OSStatus status = AUMonotimbralInstrumentBase::Initialize();
        if (status == noErr && mNoteCount > 0)
            SetNotes(mNoteCount, mMaxActive, &mNotes[0], sizeof(TestNote));
        return status;
    }

    // Voices are handed out from the last: the first note started plays Note(notes - 1).
    TestNote& Note(UInt32 i) { return mNotes[i]; }
    SynthGroupElement* Group(UInt32 i)
    {
        return static_cast<SynthGroupElement*>(Groups().GetElement(i));
    }

    using AUInstrumentBase::HandleAllNotesOff;
    using AUInstrumentBase::HandleAllSoundOff;
    using AUInstrumentBase::HandleChannelPressure;
    using AUInstrumentBase::HandleControlChange;
    using AUInstrumentBase::HandlePitchWheel;
    using AUInstrumentBase::HandlePolyPressure;
    using AUInstrumentBase::HandleProgramChange;
    using AUInstrumentBase::HandleResetAllControllers;
    using AUInstrumentBase::NextNoteID;

    NoteCallLog mLog;

private:
    UInt32 mNoteCount;
    UInt32 mMaxActive;
    std::unique_ptr<TestNote[]> mNotes;
};

class EmptyInstrument : public AUInstrumentBase {
public:
    EmptyInstrument() : AUInstrumentBase(nullptr, 1, 1, 16, 1) {}
};

template <class Unit> std::unique_ptr<Unit> MakeInitialized(std::unique_ptr<Unit> unit)
{
    unit->PostConstructor();
    EXPECT_EQ(unit->DoInitialize(), noErr);
    return unit;
}

// Runs `call` on a thread of its own and returns what it returned: never the render thread.
template <class Call> auto OnOtherThread(Call call)
{
    decltype(call()) result{};
    std::thread([&] { result = call(); }).join();
    return result;
}

} // namespace instrument_test
