#include "ThreadScheduling.h"

#include <RealTimeScheduling.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sched.h>
#include <thread>

namespace {

// Asks on a thread of its own, which ends with it, and tells what the thread then had.
std::pair<bool, ThreadScheduling> RequestOnNewThread(int priority)
{
    std::pair<bool, ThreadScheduling> result{};
    std::thread([&] {
        result.first = RequestRealTimeScheduling(priority) != 0;
        result.second = CurrentThreadScheduling();
    }).join();
    return result;
}

// JACK's default priority for its clients' process threads, which ours stay below.
constexpr int kJackClientPriority = 5;

} // namespace

TEST(RealTimeScheduling, IsGrantedWhereAllowedAtThePriorityAsked)
{
    for (int priority : {int(kRealTimePriorityMIDIPool), int(kRealTimePriorityRender),
                         int(kRealTimePriorityMIDIDelivery)}) {
        SCOPED_TRACE(priority);
        EXPECT_LT(priority, kJackClientPriority);
        const auto [granted, scheduling] = RequestOnNewThread(priority);
        EXPECT_EQ(granted, RealTimeAllowed(priority));
        if (granted) {
            EXPECT_EQ(scheduling.policy, SCHED_FIFO);
            EXPECT_EQ(scheduling.priority, priority);
        } else {
            EXPECT_EQ(scheduling.policy, SCHED_OTHER);
        }
    }
    // The caller's own thread is left as it was.
    EXPECT_EQ(CurrentThreadScheduling().policy, SCHED_OTHER);
}

namespace {

[[noreturn]] void RequestWithoutPermission()
{
    if (!GiveUpRealTime()) {
        fprintf(stderr, "could not give up real-time scheduling\n");
        std::exit(2);
    }
    bool anyGranted = false;
    bool anyChanged = false;
    for (int priority :
         {int(kRealTimePriorityRender), int(kRealTimePriorityMIDIDelivery), 0, 100}) {
        const auto [granted, scheduling] = RequestOnNewThread(priority);
        anyGranted |= granted;
        anyChanged |= scheduling.policy != SCHED_OTHER;
    }
    fprintf(stderr, "%s\n", anyGranted || anyChanged ? "granted" : "refused");
    std::exit(0);
}

} // namespace

TEST(RealTimeScheduling, IsRefusedQuietlyWithoutPermission)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Nothing but the child's own verdict on its standard error.
    EXPECT_EXIT(RequestWithoutPermission(), ::testing::ExitedWithCode(0),
                ::testing::Eq("refused\n"));
}
