#include "SynthEvent.h"

#include <cstdlib>
#include <cstring>

static_assert(sizeof(MusicDeviceNoteParams) == SynthEvent::ParamsSize(SynthEvent::kInlineArgCount),
              "the inline record holds exactly the arguments of an inline copy");

OSStatus SynthEvent::Set(UInt32 inType, MusicDeviceGroupID inGroupID, NoteInstanceID inNoteID,
                         UInt32 inStartFrame, const MusicDeviceNoteParams* inParams)
{
    MusicDeviceNoteParams* copy = nullptr;
    if (inParams != nullptr) {
        if (inParams->argCount < 2)
            return kAudio_ParamError;
        const size_t size = ParamsSize(inParams->argCount);
        copy = inParams->argCount <= kInlineArgCount
                   ? &mParamsInline
                   : static_cast<MusicDeviceNoteParams*>(std::malloc(size));
        if (copy == nullptr)
            return kAudio_MemFullError;
        Free();
        std::memcpy(copy, inParams, size);
    } else {
        Free();
    }
    mType = inType;
    mGroup = inGroupID;
    mNote = inNoteID;
    mStartFrame = inStartFrame;
    mParams = copy;
    return noErr;
}

void SynthEvent::Free()
{
    if (!ParamsAreInline())
        std::free(mParams);
    mParams = nullptr;
}
