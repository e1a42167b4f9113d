#include <libkern/OSAtomic.h>

#include "Watchdog.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {
constexpr int kThreads = 4;
constexpr int kIterations = 100000;

template <typename Body> void RunOnThreads(Body body)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(body);
    for (std::thread& thread : threads)
        thread.join();
}
} // namespace

TEST(OSAtomicConcurrency, AddLosesNoIncrement)
{
    Watchdog watchdog(60, "OSAtomicAdd32 under contention");
    volatile int32_t counter = 0;
    RunOnThreads([&] {
        for (int i = 0; i < kIterations; ++i)
            OSAtomicAdd32Barrier(1, &counter);
    });
    EXPECT_EQ(counter, kThreads * kIterations);
}

TEST(OSAtomicConcurrency, CompareAndSwapLoopsLoseNoUpdate)
{
    Watchdog watchdog(60, "OSAtomicCompareAndSwap under contention");
    volatile int32_t counter32 = 0;
    volatile int64_t counter64 = 0;
    // The payload written before each successful swap must be seen by whoever wins next,
    // which holds only if the swap is a barrier.
    int64_t payload = 0;
    RunOnThreads([&] {
        for (int i = 0; i < kIterations; ++i) {
            int32_t seen;
            do {
                seen = __atomic_load_n(&counter32, __ATOMIC_RELAXED);
            } while (!OSAtomicCompareAndSwap32Barrier(seen, seen + 1, &counter32));
            // -1 marks the counter as taken: a tiny lock built from the 64-bit swap.
            int64_t seen64;
            while (true) {
                seen64 = __atomic_load_n(&counter64, __ATOMIC_RELAXED);
                if (seen64 != -1 && OSAtomicCompareAndSwap64Barrier(seen64, -1, &counter64))
                    break;
                std::this_thread::yield();
            }
            EXPECT_EQ(payload, seen64);
            payload = seen64 + 1;
            OSAtomicCompareAndSwap64Barrier(-1, seen64 + 1, &counter64);
        }
    });
    EXPECT_EQ(counter32, kThreads * kIterations);
    EXPECT_EQ(payload, int64_t(kThreads) * kIterations);
    EXPECT_EQ(counter64, int64_t(kThreads) * kIterations);
}
