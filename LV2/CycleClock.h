// The time of each audio cycle for a host that gives none: a delay-locked loop over the cycles'
// arrival times and frame counts, as audio drivers run one, that gives each cycle the host time
// of its first frame at the audio clock's own rate, free of the jitter of single arrivals, and a
// sample time that runs on without a gap. The loop's line runs through the arrivals' mean, as an
// audio server's own loop runs through its driver's wake-ups: a host that runs the plug-in some
// time into each cycle puts its stamps that much later, constantly.
//
// A busy machine wakes the host's audio thread late now and then, by milliseconds, and then
// catches up on the same timeline: such an arrival is not the cycle's time and moves nothing. Only
// arrivals that stay off the line for a run of cycles move it, at once, to the nearest of them: the
// host's timeline itself moved (it skipped cycles, or the loop started on a late arrival).
#pragma once

#include <MacTypes.h>

class CycleClock {
public:
    // The loop's bandwidth: narrow, so that the arrivals' jitter moves the stamps by a few
    // microseconds, yet a few seconds settle it.
    static constexpr Float64 kBandwidthHz = 0.1;
    // Arrivals further than this (in seconds) off the loop's estimate are off the line.
    static constexpr Float64 kOffLineSeconds = 0.0005;
    // This many cycles in a row off the line, on one side, move it.
    static constexpr UInt32 kCyclesToMove = 16;
    // An arrival this much off the line (in seconds, or cycles if more) restarts the loop there at
    // once: the host stopped for a while, or ran ahead of real time and came back to it.
    static constexpr Float64 kPauseSeconds = 0.05;
    static constexpr Float64 kPauseCycles = 8;
    // The furthest the estimated rate may stray from the nominal one, as a fraction of it.
    static constexpr Float64 kMaxRateError = 0.1;

    struct Cycle {
        Float64 sampleTime;
        UInt64 hostTime;
        Float64 ticksPerFrame;
    };

    CycleClock(Float64 sampleRate, Float64 ticksPerSecond);

    // The next cycle, of `frames`, which arrived at host time `arrival`. [render-thread]
    Cycle Next(UInt64 arrival, UInt32 frames);
    // The next cycle starts the loop afresh at its arrival; the sample time runs on.
    // [render-thread]
    void Restart() { mRunning = false; }

private:
    // Where the cycle that arrived `now` starts, from the arrival's distance to the line; sets the
    // error the loop takes from it (none from an arrival off the line).
    Float64 StartOf(Float64 now, Float64& loopError);
    // Counts an arrival `error` off the line; true once the run is long enough to move it, with
    // `move` set to the nearest arrival of the run.
    bool OffLine(Float64 error, Float64& move);
    // The loop's gains and bounds for cycles of `frames`, kept until the length changes.
    void SetCoefficients(UInt32 frames);

    Float64 mSampleRate;
    Float64 mNominalTicksPerFrame;
    Float64 mOffLineTicks;
    bool mRunning = false;
    Float64 mSampleTime = 0;
    // The predicted arrival of the next cycle and the estimated ticks per frame.
    Float64 mPredicted = 0;
    // Where the cycle before ended at the rate estimated then, how long it was, and when it
    // arrived.
    Float64 mEnd = 0;
    Float64 mLastSpan = 0;
    Float64 mLastArrival = 0;
    UInt32 mCoefficientFrames = 0;
    Float64 mPhaseGain = 0, mRateGain = 0, mPauseTicks = 0;
    Float64 mTicksPerFrame;
    // The run of arrivals off the line: its length, its side (+1 late, -1 early) and the
    // distance of its nearest arrival.
    UInt32 mOffLineRun = 0;
    int mOffLineSide = 0;
    Float64 mOffLineNearest = 0;
};
