#include "CAStereoRender.h"

#include <gtest/gtest.h>

#include <cstdint>

// Hosts lay channel buffers out on cache lines (a memset or copy of a misaligned one is slower,
// which would also skew every render measured against a memset), silent, and apart.
TEST(CAStereoOutput, ChannelsStartOnCacheLinesSilentAndApartAfterEveryAllocation)
{
    CAStereoOutput output;
    for (const UInt32 frames : {1u, 17u, 512u, 4096u, 3u}) {
        SCOPED_TRACE(frames);
        output.Allocate(frames);
        Float32* left = output.Channel(0);
        Float32* right = output.Channel(1);
        ASSERT_NE(left, nullptr);
        ASSERT_NE(right, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(left) % CAStereoOutput::kAlignment, 0u);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(right) % CAStereoOutput::kAlignment, 0u);
        EXPECT_TRUE(right >= left + frames || left >= right + frames);
        for (UInt32 i = 0; i < frames; ++i) {
            ASSERT_EQ(left[i], 0.0f);
            ASSERT_EQ(right[i], 0.0f);
        }
        // Written, so that the next allocation's silence is its own.
        left[frames - 1] = 1.0f;
        right[0] = 1.0f;
    }
}
