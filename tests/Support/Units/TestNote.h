// A voice for tests of the instrument framework: it plays at a set amplitude and writes every
// call the framework makes on it into a call log, which several notes may share.
#pragma once

#include "SynthGroupElement.h"
#include "SynthNote.h"

#include <vector>

namespace instrument_test {

enum class NoteCallKind { Reset, Start, Render, Kill, Release, FastRelease };

struct NoteCall {
    NoteCallKind kind;
    const SynthNote* note;
    NoteInstanceID noteID;
    UInt64 frame; // the absolute frame of a start or render, else the call's frame
    Float32 pitch;
    bool operator==(const NoteCall& other) const
    {
        return kind == other.kind && note == other.note && noteID == other.noteID &&
               frame == other.frame;
    }
};

using NoteCallLog = std::vector<NoteCall>;

inline int Count(const NoteCallLog& log, NoteCallKind kind)
{
    int count = 0;
    for (const NoteCall& call : log)
        count += call.kind == kind;
    return count;
}

class TestNote : public SynthNote {
public:
    void ResetNote() override { Log(NoteCallKind::Reset, 0); }
    bool NoteStart(SynthPartElement* inPart, SynthGroupElement* inGroup, NoteInstanceID inNoteID,
                   UInt64 inAbsoluteSampleFrame, UInt32 inOffsetSampleFrame,
                   const MusicDeviceNoteParams& inParams) override
    {
        SynthNote::NoteStart(inPart, inGroup, inNoteID, inAbsoluteSampleFrame, inOffsetSampleFrame,
                             inParams);
        mLastParams = inParams;
        Log(NoteCallKind::Start, inAbsoluteSampleFrame, inParams.mPitch);
        return mStarts;
    }
    // A note that ends after its release ends here, as a decaying voice ends when it has
    // faded out.
    OSStatus RenderNote(UInt64 inAbsoluteSampleFrame, UInt32, AudioBufferList** inOutputs,
                        UInt32 inOutBusCount) override
    {
        mOutputsSeen = inOutBusCount;
        mMemorySeen = inOutBusCount > 0 && inOutputs[0]->mNumberBuffers > 0
                          ? inOutputs[0]->mBuffers[0].mData
                          : nullptr;
        Log(NoteCallKind::Render, inAbsoluteSampleFrame);
        if (mEndsAfterRelease && GetState() == kSynthNoteState_Released)
            GetGroup()->NoteEnded(this, 0);
        return mRenderResult;
    }
    void KillNote(UInt32 inFrame) override { Log(NoteCallKind::Kill, inFrame); }
    void ReleaseNote(UInt32 inFrame) override { Log(NoteCallKind::Release, inFrame); }
    void FastReleaseNote(UInt32 inFrame) override { Log(NoteCallKind::FastRelease, inFrame); }
    Float32 GetAmplitude() override { return mAmplitude; }

    Float32 mAmplitude = 0.5f;
    bool mStarts = true;
    bool mEndsAfterRelease = false;
    OSStatus mRenderResult = noErr;
    UInt32 mOutputsSeen = 0;
    // Where the last render call had the note write: the first buffer of the first output.
    const void* mMemorySeen = nullptr;
    MusicDeviceNoteParams mLastParams{};
    NoteCallLog* mLog = nullptr;

private:
    void Log(NoteCallKind kind, UInt64 frame, Float32 pitch = 0)
    {
        if (mLog != nullptr)
            mLog->push_back({kind, this, GetNoteID(), frame, pitch});
    }
};

} // namespace instrument_test
