// What midicsv, a MIDI file reader we did not write, finds in a file: every event with its
// track, tick and bytes rebuilt from midicsv's fields, so that tests can hold our reader and
// writer against an independent reading.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MidicsvEvent {
    int mTrack = 0;     // counted from 0
    uint64_t mTick = 0; // from the start of its track
    // As HexText writes them: a channel message "90 3C 64"; SysEx "F0 .. F7"; an escaped
    // packet "F7 .."; a meta event "FF 51 07 A1 20" (type and data, no length).
    std::string mBytes;

    bool operator==(const MidicsvEvent& other) const
    {
        return mTrack == other.mTrack && mTick == other.mTick && mBytes == other.mBytes;
    }
};

struct MidicsvFile {
    int mFormat = 0;
    int mTrackCount = 0;
    int mDivision = 0;                 // as midicsv prints it: negative for SMPTE division
    std::vector<MidicsvEvent> mEvents; // in file order, without start and end of track
    std::vector<uint64_t> mTrackEnds;  // the tick of each track's end-of-track event
};

// Runs midicsv on the file. Throws std::runtime_error when it fails or prints a record this
// reading does not know.
MidicsvFile ReadWithMidicsv(const std::string& path);
