// Which server cycle a host runs in and when the server's times are taken for it: a host that
// runs after the services began the cycle, one that runs before, each also woken late now and
// then, and hosts whose cycles are not the server's (none known, other lengths, a record gone
// stale, cycles skipped).
#include "ServerCycleFollower.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

constexpr UInt32 kFrames = 1024;
constexpr UInt32 kRate = 48000;
constexpr UInt64 kSpan = UInt64(kFrames) * 1000000000 / kRate; // ns; host ticks are ns
constexpr UInt64 kOrigin = 1000000000000;
constexpr UInt64 kMicros = 1000;
constexpr int kRuns = 24;
constexpr int kSkipAt = 10;
constexpr int kLateEvery = 6;

// Server cycle k as the services record it, begun 100 us into it; frame counts start at `first`.
MIDIAudioServerCycle ServerCycle(int k, UInt32 first = 0)
{
    const UInt64 start = kOrigin + UInt64(k) * kSpan;
    return {start,   start + kSpan, start + 100 * kMicros, first + UInt32(k) * kFrames,
            kFrames, kRate};
}

UInt64 StartOf(int k)
{
    return kOrigin + UInt64(k) * kSpan;
}

struct Case {
    const char* what;
    // The services' record as run k finds it; nothing while none is known.
    std::function<std::optional<MIDIAudioServerCycle>(int)> record;
    std::function<UInt64(int)> arrival;
    UInt32 frames;
    // Whether run k is given the server's time (then that of cycle k's first frame).
    std::function<bool(int)> given;
};

TEST(ServerCycleFollower, TheHostsCycleIsTheServersOnceTheyRunInStep)
{
    const auto inStep = [](int k) { return k >= int(ServerCycleFollower::kCyclesInStep); };
    const auto never = [](int) { return false; };
    const Case cases[] = {
        {"the host runs after the services began its cycle", [](int k) { return ServerCycle(k); },
         [](int k) { return StartOf(k) + 300 * kMicros; }, kFrames, inStep},
        // What the services began last is the cycle before the host's.
        {"the host runs before the services begin its cycle",
         [](int k) { return ServerCycle(k - 1); }, [](int k) { return StartOf(k) + 50 * kMicros; },
         kFrames, inStep},
        // A busy machine wakes the host late now and then, more than half a cycle in.
        {"the host runs after the services began its cycle, now and then late",
         [](int k) { return ServerCycle(k); },
         [](int k) { return StartOf(k) + (k % kLateEvery == 1 ? kSpan * 3 / 4 : 300 * kMicros); },
         kFrames, inStep},
        {"the host runs before the services begin its cycle, now and then late",
         [](int k) { return ServerCycle(k - 1); },
         [](int k) { return StartOf(k) + (k % kLateEvery == 1 ? kSpan * 3 / 4 : 50 * kMicros); },
         kFrames, inStep},
        {"no server's cycle is known", [](int) { return std::nullopt; },
         [](int k) { return StartOf(k) + 300 * kMicros; }, kFrames, never},
        {"the host's cycles are shorter than the server's", [](int k) { return ServerCycle(k); },
         [](int k) { return StartOf(k) + 300 * kMicros; }, kFrames / 2, never},
        {"the services stopped seeing the server", [](int) { return ServerCycle(0); },
         [](int k) { return StartOf(k) + 300 * kMicros; }, kFrames, never},
        // A cycle the server gave up on: its frames jump ahead, and in step takes a few runs again.
        {"the server skipped a cycle",
         [](int k) { return ServerCycle(k, k >= kSkipAt ? kFrames : 0); },
         [](int k) { return StartOf(k) + 300 * kMicros; }, kFrames,
         [=](int k) {
             return inStep(k) &&
                    (k < kSkipAt || k >= kSkipAt + int(ServerCycleFollower::kCyclesInStep));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ServerCycleFollower follower;
        for (int k = 0; k < kRuns; ++k) {
            const std::optional<MIDIAudioServerCycle> record = c.record(k);
            const auto start =
                follower.Follow(record ? &*record : nullptr, c.arrival(k), c.frames, kRate);
            ASSERT_EQ(start.has_value(), c.given(k)) << "run " << k;
            if (start) {
                EXPECT_EQ(start->hostTime, StartOf(k)) << "run " << k;
                EXPECT_DOUBLE_EQ(start->ticksPerFrame, double(kSpan) / kFrames);
            }
        }
    }
}

} // namespace
