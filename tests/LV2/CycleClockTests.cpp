// The loop of the cycles' times against arrival times made up for each case: cycles that arrive
// on time, late by random amounts, from an audio clock that runs fast, after a pause, faster
// than real time, and disturbed by single late wake-ups or a timeline that moved. The stamps keep
// within microseconds to the audio clock's line through the arrivals, the rate follows it, a
// pause restarts the loop, a late wake-up moves nothing, and nothing drives the stamps backwards.
#include "CycleClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

namespace {

constexpr Float64 kRate = 48000;
constexpr Float64 kTicksPerSecond = 1e9;
constexpr UInt32 kFrames = 256;
constexpr Float64 kStart = 1e12;

struct Case {
    const char* what;
    Float64 clockError;      // the audio clock's rate against the host clock's, less 1
    Float64 jitterMicros;    // each arrival late by up to this much, uniformly
    Float64 toleranceMicros; // of every stamp from the line, once settled
};

TEST(CycleClock, StampsKeepToTheAudioClocksLine)
{
    const Case cases[] = {
        {"on time", 0, 0, 0.01},
        {"late by up to 200 us", 0, 200, 25},
        {"an audio clock 100 ppm fast", -100e-6, 50, 10},
        {"an audio clock 300 ppm slow", 300e-6, 50, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::mt19937 random(7);
        std::uniform_real_distribution<Float64> lateness(0, c.jitterMicros * 1000);
        CycleClock clock(kRate, kTicksPerSecond);
        const Float64 period = kFrames / kRate * kTicksPerSecond * (1 + c.clockError);
        // Late arrivals are on average half the jitter late: that is where the line lies.
        const Float64 offset = c.jitterMicros * 1000 / 2;
        Float64 worst = 0;
        CycleClock::Cycle cycle{};
        const int cycles = int(60 * kRate / kFrames);
        for (int k = 0; k < cycles; ++k) {
            cycle = clock.Next(UInt64(kStart + k * period + lateness(random)), kFrames);
            ASSERT_EQ(cycle.sampleTime, Float64(k) * kFrames);
            if (k * kFrames > 30 * kRate)
                worst =
                    std::fmax(worst, std::fabs(cycle.hostTime - (kStart + k * period + offset)));
        }
        EXPECT_LE(worst, c.toleranceMicros * 1000);
        EXPECT_NEAR(cycle.ticksPerFrame, period / kFrames, period / kFrames * 5e-6);
    }
}

TEST(CycleClock, PauseRestartsTheLoopAndTheSampleTimeRunsOn)
{
    CycleClock clock(kRate, kTicksPerSecond);
    const Float64 period = kFrames / kRate * kTicksPerSecond;
    for (int k = 0; k < 100; ++k)
        clock.Next(UInt64(kStart + k * period), kFrames);
    const UInt64 resumed = UInt64(kStart + 100 * period + 1e9);
    const CycleClock::Cycle cycle = clock.Next(resumed, kFrames);
    EXPECT_EQ(cycle.hostTime, resumed);
    EXPECT_EQ(cycle.sampleTime, 100.0 * kFrames);

    clock.Restart();
    const CycleClock::Cycle restarted = clock.Next(resumed + 12345, 64);
    EXPECT_EQ(restarted.hostTime, resumed + 12345);
    EXPECT_EQ(restarted.sampleTime, 101.0 * kFrames);
}

// A host that renders as fast as it can (an export, a benchmark): the stamps still never go
// backwards and the rate stays near the nominal one.
TEST(CycleClock, FasterThanRealTimeNeverRunsBackwards)
{
    CycleClock clock(kRate, kTicksPerSecond);
    UInt64 previous = 0;
    for (int k = 0; k < 100000; ++k) {
        const CycleClock::Cycle cycle = clock.Next(UInt64(kStart) + UInt64(k) * 2000, kFrames);
        ASSERT_GE(cycle.hostTime, previous) << k;
        ASSERT_NEAR(cycle.ticksPerFrame, kTicksPerSecond / kRate,
                    kTicksPerSecond / kRate * CycleClock::kMaxRateError * 1.0001);
        previous = cycle.hostTime;
    }
}

// Arrivals on the nominal line but for a disturbance; where each cycle's stamp must lie.
struct Disturbance {
    const char* what;
    std::function<Float64(int)> arrival;
    std::function<Float64(int)> expected;
};

TEST(CycleClock, LateWakeUpsMoveNothingAndAMovedTimelineIsFollowed)
{
    const Float64 period = kFrames / kRate * kTicksPerSecond;
    const Float64 millis = 1e6;
    const auto line = [=](int k) { return kStart + k * period; };
    const int moved = 500, settled = moved + int(CycleClock::kCyclesToMove);
    const int fastCycles = 2000;
    const Float64 backToRealTime = kStart + 1e9;
    const auto fastThenRealTime = [=](int k) {
        return k < fastCycles ? kStart + k * 2000.0 : backToRealTime + (k - fastCycles) * period;
    };
    const Disturbance cases[] = {
        {"one wake-up 3 ms late", [=](int k) { return line(k) + (k == moved ? 3 * millis : 0); },
         line},
        {"a few wake-ups 2 ms late, fewer than move the line",
         [=](int k) { return line(k) + (k >= moved && k < settled - 1 ? 2 * millis : 0); }, line},
        {"one wake-up 2 ms early", [=](int k) { return line(k) - (k == moved ? 2 * millis : 0); },
         line},
        {"the timeline moved 3 ms later",
         [=](int k) { return line(k) + (k >= moved ? 3 * millis : 0); },
         [=](int k) { return line(k) + (k >= settled - 1 ? 3 * millis : 0); }},
        {"the timeline moved 1 ms earlier",
         [=](int k) { return line(k) - (k >= moved ? 1 * millis : 0); },
         [=](int k) { return line(k) - (k >= settled - 1 ? 1 * millis : 0); }},
        // An export ran its cycles far ahead of the clock; playing again starts at the arrival.
        {"back to real time after running ahead of it", fastThenRealTime,
         [=](int k) { return k < fastCycles ? NAN : fastThenRealTime(k); }},
    };
    for (const Disturbance& c : cases) {
        SCOPED_TRACE(c.what);
        CycleClock clock(kRate, kTicksPerSecond);
        for (int k = 0; k < fastCycles + 1000; ++k) {
            const CycleClock::Cycle cycle = clock.Next(UInt64(c.arrival(k)), kFrames);
            const Float64 expected = c.expected(k);
            if (!std::isnan(expected)) {
                ASSERT_NEAR(Float64(cycle.hostTime), expected, 1000) << "cycle " << k;
            }
        }
    }
}

} // namespace
