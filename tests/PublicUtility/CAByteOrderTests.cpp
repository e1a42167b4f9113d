#include "CAByteOrder.h"

#include <gtest/gtest.h>

TEST(CAByteOrder, BigEndianDataIsReversedOnThisHost)
{
    EXPECT_EQ(CFSwapInt16BigToHost(0x1234), 0x3412);
    EXPECT_EQ(CFSwapInt32BigToHost(0x11223344U), 0x44332211U);
    EXPECT_EQ(CFSwapInt32HostToBig(0x11223344U), 0x44332211U);
    EXPECT_EQ(CFSwapInt32(0x000000FFU), 0xFF000000U);
    EXPECT_EQ(CFSwapInt16LittleToHost(0x1234), 0x1234);
    EXPECT_EQ(CFSwapInt32LittleToHost(0x11223344U), 0x11223344U);
}

TEST(CAByteOrder, FloatSwapsReverseTheBitPattern)
{
    const Float32 swapped = CASwapFloat32(1.5f); // 0x3FC00000 becomes 0x0000C03F
    UInt32 bits;
    std::memcpy(&bits, &swapped, sizeof(bits));
    EXPECT_EQ(bits, 0x0000C03FU);
    EXPECT_EQ(CASwapFloat32BigToHost(swapped), 1.5f);
    EXPECT_EQ(CASwapFloat32LittleToHost(1.5f), 1.5f);
}
