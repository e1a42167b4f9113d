#include "JackServerTiming.h"

#include <CoreAudio/HostTime.h>

#include <algorithm>

namespace {

constexpr UInt64 kNanosPerSecond = 1000000000;

// Both clocks read together: of a few tries, the one least spread out, as a preemption between
// the reads would skew the pair by up to half the time it took.
JackClockReading ReadClocks()
{
    JackClockReading best{};
    UInt64 bestSpread = ~UInt64(0);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const UInt64 before = AudioGetCurrentHostTime();
        const jack_time_t jack = jack_get_time();
        const UInt64 after = AudioGetCurrentHostTime();
        if (after - before < bestSpread) {
            bestSpread = after - before;
            best = {before + (after - before) / 2, jack};
        }
    }
    return best;
}

} // namespace

void JackServerTiming::Follow(jack_nframes_t frames, jack_nframes_t rate)
{
    mSampleRate.store(rate);
    const UInt64 period = UInt64(frames) * kNanosPerSecond / std::max(rate, jack_nframes_t(1));
    mDelayMicros.store(UInt32((period + kSendToCallbackAllowanceNanos) / 1000));
}

JackServerTiming::Cycle JackServerTiming::BeginCycle(jack_client_t* client, jack_nframes_t frames)
{
    jack_nframes_t firstFrame = 0;
    jack_time_t current = 0, next = 0;
    float periodMicros = 0;
    if (jack_get_cycle_times(client, &firstFrame, &current, &next, &periodMicros) != 0 ||
        next <= current) {
        current = jack_get_time();
        next = current + UInt64(frames) * 1000000 / std::max(mSampleRate.load(), 1u);
    }
    const Cycle cycle{{current * 1000, next * 1000, frames}, ReadClocks()};
    mCycleRecord.Store({JackNanosToHostTime(cycle.mCycle.mStartNanos, cycle.mClocks),
                        JackNanosToHostTime(cycle.mCycle.mEndNanos, cycle.mClocks),
                        cycle.mClocks.mHostNanos, firstFrame, frames,
                        mSampleRate.load(std::memory_order_relaxed)});
    return cycle;
}
