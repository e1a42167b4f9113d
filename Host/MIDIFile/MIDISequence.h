// A MIDI file read for playing: the events of all its tracks in one time-ordered list, each with
// its sample position at one sample rate, and the payloads of its SysEx and meta events. A player
// walks mEvents from the start; nothing in it needs allocation or a lock to read.
#pragma once

#include "MIDIFile/MIDIFileEvent.h"

#include <vector>

struct MIDISequence {
    UInt16 mFormat = 0; // 0, 1 or 2 (format 2 tracks are laid end to end)
    UInt16 mTrackCount = 0;
    UInt16 mDivision = 0;   // as in the header: ticks per quarter note, or SMPTE frames and ticks
    UInt32 mSampleRate = 0; // of every mSample and of mLengthSamples
    // Ordered by tick; at one tick by track, and within a track in file order. Sample positions
    // never decrease along the list. End-of-track events are not in it: mLength* says where the
    // last track ends.
    std::vector<MIDIFileEvent> mEvents;
    std::vector<Byte> mPayloads;
    UInt64 mLengthTicks = 0;
    UInt64 mLengthSamples = 0;

    // The first byte of an event's payload (SysEx and meta events). [any-thread]
    const Byte* Payload(const MIDIFileEvent& event) const
    {
        return mPayloads.data() + event.mPayloadOffset;
    }
};
