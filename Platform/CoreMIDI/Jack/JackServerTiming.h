// The JACK server's timing as the backend needs it: the delivery delay its period makes, its
// sample rate, and each process cycle as the callback begins it, timed by both clocks and kept
// for hosts that run in the server's cycles.
#pragma once

#include "JackCycleTiming.h"

#include <jack/jack.h>

#include <atomic>

class JackServerTiming {
public:
    // Time allowed for a packet to go from its send to the process callback; with one period it
    // makes the delivery delay, so that a packet stamped at its send is still in time for the
    // cycle it falls in.
    static constexpr UInt64 kSendToCallbackAllowanceNanos = 1000000;

    // One cycle as the process callback sees it.
    struct Cycle {
        JackCycle mCycle;
        JackClockReading mClocks;
    };

    JackServerTiming() { Follow(256, 48000); }

    // The server's period and rate from now on. [backend-thread] [jack-callback-thread]
    void Follow(jack_nframes_t frames, jack_nframes_t rate);
    // A new period at the same rate. [jack-callback-thread]
    void FollowPeriod(jack_nframes_t frames) { Follow(frames, SampleRate()); }
    jack_nframes_t SampleRate() const { return mSampleRate.load(); }
    // One period and the allowance. [any-thread]
    UInt32 DelayMicros() const { return mDelayMicros.load(std::memory_order_relaxed); }

    // Times the cycle that begins and keeps it as the latest. [jack-process-thread]
    Cycle BeginCycle(jack_client_t* client, jack_nframes_t frames);
    // The cycle in progress, or the one before it. [any-thread]
    bool LatestCycle(MIDIAudioServerCycle& cycle) const { return mCycleRecord.Load(cycle); }
    // No cycle until the next begins, once the client is gone. [backend-thread]
    void ForgetCycles() { mCycleRecord.Clear(); }

private:
    std::atomic<jack_nframes_t> mSampleRate{48000};
    std::atomic<UInt32> mDelayMicros{0};
    JackCycleRecord mCycleRecord;
};
