// An instrument of one timbre: every note plays part 0, and a note beyond the polyphony limit
// first fast-releases a voice.
#pragma once

#include "AUInstrumentBase.h"

class AUMonotimbralInstrumentBase : public AUInstrumentBase {
public:
    // [host-thread]
    using AUInstrumentBase::AUInstrumentBase;

    // -1 when no voice can be had; a note that refuses to start goes back to the pool.
    // [render-thread]
    OSStatus RealTimeStartNote(SynthGroupElement* inGroup, NoteInstanceID inNoteInstanceID,
                               UInt32 inOffsetSampleFrame,
                               const MusicDeviceNoteParams& inParams) override;
};
