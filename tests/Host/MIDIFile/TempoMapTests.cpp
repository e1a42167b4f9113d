// Positions of ticks under tempo changes and SMPTE division, exact to the sample over an hour.
// The expected figures are worked out with fractions, rounded to the nearest sample.
#include "MIDIFile/TempoMap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace {

struct Position {
    const char* mWhat;
    UInt16 mDivision;
    std::vector<std::pair<UInt64, UInt32>> mTempoChanges; // tick, microseconds per quarter
    UInt64 mTick;
    UInt32 mRate;
    UInt64 mExpected;
};

const Position kPositions[] = {
    // 500000 / 96 us per tick: 229.6875 samples at 44100 Hz.
    {"one tick at the default tempo, rounded", 96, {}, 1, 44100, 230},
    {"a quarter note at the default tempo", 96, {}, 96, 44100, 22050},
    {"one tick on a microsecond clock", 96, {}, 1, 1000000, 5208},
    // 806400 ticks of 428571 / 96 us: 172799827.2 samples.
    {"an hour at 428571 us per quarter", 96, {{0, 428571}}, 806400, 48000, 172799827},
    // 2995202 ticks of 461538 / 384 us: 158759947.25 samples.
    {"an hour at 461538 us per quarter", 384, {{0, 461538}}, 2995202, 44100, 158759947},
    {"half an hour, at the change",
     480,
     {{0, 500000}, {3456000, 600000}},
     3456000,
     44100,
     158760000},
    {"half an hour at 120 then at 100 beats per minute",
     480,
     {{0, 500000}, {3456000, 600000}},
     4896000,
     44100,
     238140000},
    {"a second change at one tick replaces the first",
     480,
     {{0, 500000}, {0, 1000000}},
     480,
     48000,
     48000},
    // SMPTE: 24 frames of 10 ticks, 1/240 s per tick: 183.75 samples.
    {"24 frames per second", 0xE80A, {}, 1, 44100, 184},
    {"25 frames per second, whatever the tempo", 0xE728, {{0, 1000000}}, 1000, 48000, 48000},
    // 1001 / 2400000 s per tick, 8640000 ticks: 3603.6 s.
    {"drop-frame time code over an hour", 0xE350, {}, 8640000, 48000, 172972800},
    {"30 frames per second", 0xE264, {}, 3000, 96000, 96000},
    {"a position beyond 64 bits is held at the largest",
     1,
     {{0, 0xFFFFFF}},
     UINT64_MAX,
     384000,
     UINT64_MAX},
};

class TempoMapTest : public ::testing::TestWithParam<Position> {};

TEST_P(TempoMapTest, TickLandsOnItsExactPosition)
{
    const Position& position = GetParam();
    TempoMap map(position.mDivision);
    ASSERT_EQ(map.Problem(), "");
    for (const auto& [tick, tempo] : position.mTempoChanges) {
        map.AddTempoChange(tick, tempo);
    }
    EXPECT_EQ(map.PositionAt(position.mTick, position.mRate), position.mExpected) << position.mWhat;
}

INSTANTIATE_TEST_SUITE_P(Positions, TempoMapTest, ::testing::ValuesIn(kPositions));

} // namespace
