#include "MIDIFile/TempoMap.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr UInt32 kDefaultMicrosecondsPerQuarter = 500000;
constexpr UInt64 kMicrosecondsPerSecond = 1000000;

} // namespace

TempoMap::TempoMap(UInt16 division)
{
    UInt64 unitsPerTick = 0;
    if ((division & 0x8000) == 0) {
        // A tick lasts tempo / (ticks per quarter * 1e6) seconds.
        const UInt64 ticksPerQuarter = division;
        if (ticksPerQuarter == 0) {
            mProblem = "division of 0 ticks per quarter note";
            return;
        }
        mUnitsPerSecond = ticksPerQuarter * kMicrosecondsPerSecond;
        unitsPerTick = kDefaultMicrosecondsPerQuarter;
    } else {
        // A tick lasts framesDenominator / (framesNumerator * ticks per frame) seconds; 29 stands
        // for the 30000/1001 frames per second of drop-frame time code.
        mSMPTE = true;
        const int framesPerSecond = -static_cast<int>(static_cast<signed char>(division >> 8));
        const UInt64 ticksPerFrame = division & 0xFF;
        UInt64 framesNumerator = 0;
        UInt64 framesDenominator = 1;
        switch (framesPerSecond) {
        case 24:
        case 25:
        case 30:
            framesNumerator = static_cast<UInt64>(framesPerSecond);
            break;
        case 29:
            framesNumerator = 30000;
            framesDenominator = 1001;
            break;
        default:
            mProblem = "unknown SMPTE frame rate " + std::to_string(framesPerSecond) +
                       " (24, 25, 29 or 30 expected)";
            return;
        }
        if (ticksPerFrame == 0) {
            mProblem = "SMPTE division of 0 ticks per frame";
            return;
        }
        mUnitsPerSecond = framesNumerator * ticksPerFrame;
        unitsPerTick = framesDenominator;
    }
    mSegments.push_back(Segment{0, unitsPerTick, 0});
}

void TempoMap::AddTempoChange(UInt64 tick, UInt32 microsecondsPerQuarter)
{
    if (mSMPTE || mSegments.empty()) {
        return;
    }
    Segment& last = mSegments.back();
    if (tick <= last.mTick) {
        last.mUnitsPerTick = microsecondsPerQuarter;
        return;
    }
    const UInt128 before = last.mUnitsBefore + UInt128(tick - last.mTick) * last.mUnitsPerTick;
    mSegments.push_back(Segment{tick, microsecondsPerQuarter, before});
}

UInt64 TempoMap::PositionAt(UInt64 tick, UInt32 unitsPerSecond) const
{
    if (mSegments.empty()) {
        return 0;
    }
    auto after = std::upper_bound(mSegments.begin(), mSegments.end(), tick,
                                  [](UInt64 t, const Segment& s) { return t < s.mTick; });
    const Segment& segment = *(after - 1);
    // Ticks reach 2^64 and a tick lasts at most 2^24 units, so the time fits in 88 bits and its
    // product with a 32-bit rate in 120.
    const UInt128 units =
        segment.mUnitsBefore + UInt128(tick - segment.mTick) * segment.mUnitsPerTick;
    const UInt128 position = (units * unitsPerSecond + mUnitsPerSecond / 2) / mUnitsPerSecond;
    return position > UINT64_MAX ? UINT64_MAX : static_cast<UInt64>(position);
}
