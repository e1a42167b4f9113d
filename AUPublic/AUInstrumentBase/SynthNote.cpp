#include "SynthNote.h"

bool SynthNote::NoteStart(SynthPartElement* inPart, SynthGroupElement* inGroup,
                          NoteInstanceID inNoteID, UInt64 inAbsoluteSampleFrame,
                          UInt32 /*inOffsetSampleFrame*/, const MusicDeviceNoteParams& /*inParams*/)
{
    mPart = inPart;
    mGroup = inGroup;
    mNoteInstanceID = inNoteID;
    mStartFrame = inAbsoluteSampleFrame;
    return true;
}
