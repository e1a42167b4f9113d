// Turns a MIDI file's ticks into positions on a clock of any rate (samples, microseconds) with
// exact integer arithmetic. Each position is computed from the exact time of its tempo segment's
// start, never by adding up rounded steps, so an hour of music does not drift by one sample.
#pragma once

#include <MacTypes.h>

#include <string>
#include <vector>

class TempoMap {
public:
    // A map for a header's division word: ticks per quarter note (at 120 beats per minute until
    // the first tempo change), or SMPTE frames per second and ticks per frame. An invalid
    // division (no ticks, an unknown frame rate) leaves the map unusable and Problem() says why.
    explicit TempoMap(UInt16 division);

    // What is wrong with the division, empty when the map can be used.
    const std::string& Problem() const { return mProblem; }

    // A tempo change (microseconds per quarter note, above 0) at tick. Changes come in tick
    // order; one at the tick of the previous change replaces it. Under SMPTE division, where
    // time does not depend on tempo, changes are ignored. [host-thread]
    void AddTempoChange(UInt64 tick, UInt32 microsecondsPerQuarter);

    // The position of tick on a clock of unitsPerSecond units per second, rounded to the
    // nearest unit; UINT64_MAX where it would not fit. [any-thread]
    UInt64 PositionAt(UInt64 tick, UInt32 unitsPerSecond) const;

private:
    __extension__ typedef unsigned __int128 UInt128;

    // From mTick on, every tick lasts mUnitsPerTick / mUnitsPerSecond seconds; mUnitsBefore
    // counts the exact time before mTick in the same units.
    struct Segment {
        UInt64 mTick;
        UInt64 mUnitsPerTick;
        UInt128 mUnitsBefore;
    };

    std::string mProblem;
    bool mSMPTE = false;
    UInt64 mUnitsPerSecond = 1;
    std::vector<Segment> mSegments;
};
