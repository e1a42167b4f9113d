// The time of each audio cycle for a host that gives none: a delay-locked loop over the cycles'
// arrival times and frame counts, as audio drivers run one, that gives each cycle the host time
// of its first frame at the audio clock's own rate, free of the jitter of single arrivals, and a
// sample time that runs on without a gap. The loop's line runs through the arrivals' mean, as an
// audio server's own loop runs through its driver's wake-ups: a host that runs the plug-in some
// time into each cycle puts its stamps that much later, constantly.
#pragma once

#include <MacTypes.h>

class CycleClock {
public:
    // The loop's bandwidth: narrow, so that a late wake-up moves the stamps by a few
    // microseconds, yet a few seconds settle it.
    static constexpr Float64 kBandwidthHz = 0.1;
    // An arrival this far (in seconds, or cycles if more) off the loop's estimate restarts it
    // there: a host that stopped, skipped cycles or renders faster than real time.
    static constexpr Float64 kRestartSeconds = 0.005;
    static constexpr Float64 kRestartCycles = 2;
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
    // The loop's gains and restart bound for cycles of `frames`, kept until the length changes.
    void SetCoefficients(UInt32 frames);

    Float64 mSampleRate;
    Float64 mNominalTicksPerFrame;
    bool mRunning = false;
    Float64 mSampleTime = 0;
    // The predicted arrival of the next cycle and the estimated ticks per frame.
    Float64 mPredicted = 0;
    // Where the cycle before ended at the rate estimated then.
    Float64 mEnd = 0;
    UInt32 mCoefficientFrames = 0;
    Float64 mPhaseGain = 0, mRateGain = 0, mRestartFrames = 0;
    Float64 mTicksPerFrame;
};
