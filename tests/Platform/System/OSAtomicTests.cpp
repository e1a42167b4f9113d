#include <libkern/OSAtomic.h>

#include <gtest/gtest.h>

#include <climits>

TEST(OSAtomic, CompareAndSwapStoresOnlyOnMatch)
{
    volatile int32_t value32 = 5;
    EXPECT_FALSE(OSAtomicCompareAndSwap32(4, 9, &value32));
    EXPECT_EQ(value32, 5);
    EXPECT_TRUE(OSAtomicCompareAndSwap32(5, 9, &value32));
    EXPECT_EQ(value32, 9);
    EXPECT_TRUE(OSAtomicCompareAndSwap32Barrier(9, -1, &value32));
    EXPECT_FALSE(OSAtomicCompareAndSwap32Barrier(9, 0, &value32));
    EXPECT_EQ(value32, -1);

    // The full width counts: values that agree in their low half must not be mistaken.
    volatile int64_t value64 = 0x100000001ll;
    EXPECT_FALSE(OSAtomicCompareAndSwap64Barrier(1, 2, &value64));
    EXPECT_EQ(value64, 0x100000001ll);
    EXPECT_TRUE(OSAtomicCompareAndSwap64Barrier(0x100000001ll, INT64_MIN, &value64));
    EXPECT_EQ(value64, INT64_MIN);
    EXPECT_TRUE(OSAtomicCompareAndSwap64(INT64_MIN, 3, &value64));
    EXPECT_EQ(value64, 3);

    int target = 0, other = 0;
    void* volatile pointer = &target;
    EXPECT_FALSE(OSAtomicCompareAndSwapPtrBarrier(&other, nullptr, &pointer));
    EXPECT_TRUE(OSAtomicCompareAndSwapPtrBarrier(&target, &other, &pointer));
    EXPECT_EQ(pointer, &other);
    EXPECT_TRUE(OSAtomicCompareAndSwapPtr(&other, nullptr, &pointer));
    EXPECT_EQ(pointer, nullptr);
}

TEST(OSAtomic, AddReturnsTheNewValueAndWraps)
{
    volatile int32_t value = 10;
    EXPECT_EQ(OSAtomicAdd32(5, &value), 15);
    EXPECT_EQ(OSAtomicAdd32Barrier(-20, &value), -5);
    EXPECT_EQ(value, -5);
    value = INT32_MAX;
    EXPECT_EQ(OSAtomicAdd32(1, &value), INT32_MIN);
}

TEST(OSAtomic, NullTargetsAreRefused)
{
    EXPECT_FALSE(OSAtomicCompareAndSwap32(0, 1, nullptr));
    EXPECT_FALSE(OSAtomicCompareAndSwap64Barrier(0, 1, nullptr));
    EXPECT_FALSE(OSAtomicCompareAndSwapPtrBarrier(nullptr, nullptr, nullptr));
    EXPECT_EQ(OSAtomicAdd32(4, nullptr), 4);
}
