#include <CoreAudio/HostTime.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <time.h>

TEST(HostTime, TicksAreMonotonicNanoseconds)
{
    EXPECT_EQ(AudioGetHostClockFrequency(), 1e9);
    timespec before{};
    clock_gettime(CLOCK_MONOTONIC, &before);
    const UInt64 start = AudioGetCurrentHostTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const UInt64 end = AudioGetCurrentHostTime();

    const UInt64 beforeNanos = UInt64(before.tv_sec) * 1000000000ull + UInt64(before.tv_nsec);
    EXPECT_GE(start, beforeNanos);
    EXPECT_LT(start - beforeNanos, 1000000000ull) << "host time is not CLOCK_MONOTONIC";
    EXPECT_GE(end - start, 20000000ull);
}

TEST(HostTime, ConversionsAreIdentitiesAndDeltaIsPositive)
{
    for (UInt64 value : {0ull, 1ull, 123456789ull, ~0ull}) {
        EXPECT_EQ(AudioConvertHostTimeToNanos(value), value);
        EXPECT_EQ(AudioConvertNanosToHostTime(value), value);
    }
    EXPECT_GE(AudioGetHostClockMinimumTimeDelta(), 1u);
}
