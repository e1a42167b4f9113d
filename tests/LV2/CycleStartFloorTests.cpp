// The floor under the plug-in's cycle times, over cycles whose line steps back after events were
// sent: a cycle never begins before the last event's stamp while the step is under a second, the
// line is followed again once it passes that stamp, and a longer step, or a pause, starts afresh
// for good.
#include "CycleStartFloor.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr Float64 kTicksPerSecond = 1e9;
constexpr UInt64 kMillis = 1000000;
constexpr UInt64 kT = 1000000 * kMillis;

// One cycle: where the host's line starts it, the event it sends (at that many ticks into the
// cycle as begun; none when 0), whether the host paused before it, and where it must begin.
struct Cycle {
    UInt64 line;
    UInt64 eventAt;
    bool paused;
    UInt64 begins;
};

struct Case {
    const char* what;
    std::vector<Cycle> cycles;
};

TEST(CycleStartFloor, NoCycleBeginsBeforeTheLastEventSentUnlessTheTimelineBeganAfresh)
{
    const Case cases[] = {
        {"a steady line is its own",
         {{kT, 1 * kMillis, false, kT}, {kT + 5 * kMillis, 4 * kMillis, false, kT + 5 * kMillis}}},
        {"a step back of 30 ms is held at the last stamp until the line passes it",
         {{kT, 4 * kMillis, false, kT},
          {kT - 25 * kMillis, 0, false, kT + 4 * kMillis},
          {kT - 20 * kMillis, 2 * kMillis, false, kT + 4 * kMillis},
          {kT + 5 * kMillis, 0, false, kT + 6 * kMillis},
          {kT + 10 * kMillis, 0, false, kT + 10 * kMillis}}},
        {"with nothing sent there is nothing to overtake",
         {{kT, 0, false, kT}, {kT - 30 * kMillis, 0, false, kT - 30 * kMillis}}},
        {"a step back of more than a second starts afresh, and holds nothing later",
         {{kT + 10000 * kMillis, 1 * kMillis, false, kT + 10000 * kMillis},
          {kT, 0, false, kT},
          {kT + 9500 * kMillis, 0, false, kT + 9500 * kMillis}}},
        {"a pause starts afresh",
         {{kT, 4 * kMillis, false, kT}, {kT - 30 * kMillis, 0, true, kT - 30 * kMillis}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CycleStartFloor floor(kTicksPerSecond);
        for (size_t k = 0; k < c.cycles.size(); ++k) {
            const Cycle& cycle = c.cycles[k];
            if (cycle.paused)
                floor.Restart();
            const UInt64 begins = floor.Start(cycle.line);
            EXPECT_EQ(begins, cycle.begins) << "cycle " << k;
            if (cycle.eventAt != 0)
                floor.Sent(begins + cycle.eventAt);
        }
    }
}

} // namespace
