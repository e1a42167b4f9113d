#include "CAAudioChannelLayout.h"
#include "CA_calloc.h"
#include "CountOnes.h"

#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <new>

namespace {

struct LayoutDeleter {
    void operator()(AudioChannelLayout* layout) const { CAAudioChannelLayout::Destroy(layout); }
};
using LayoutPtr = std::unique_ptr<AudioChannelLayout, LayoutDeleter>;

LayoutPtr Create(UInt32 descriptions)
{
    return LayoutPtr(CAAudioChannelLayout::Create(descriptions));
}

} // namespace

TEST(CAAudioChannelLayout, ByteSizes)
{
    EXPECT_EQ(CAAudioChannelLayout::CalculateByteSize(0), 12U);
    EXPECT_EQ(CAAudioChannelLayout::CalculateByteSize(1), 32U);
    EXPECT_EQ(CAAudioChannelLayout::CalculateByteSize(2), 52U);
}

TEST(CAAudioChannelLayout, CreatedLayoutsHaveUnknownChannels)
{
    const LayoutPtr layout = Create(3);
    EXPECT_EQ(layout->mChannelLayoutTag,
              static_cast<UInt32>(kAudioChannelLayoutTag_UseChannelDescriptions));
    EXPECT_EQ(layout->mChannelBitmap, 0U);
    ASSERT_EQ(layout->mNumberChannelDescriptions, 3U);
    const AudioChannelDescription* descriptions = layout->mChannelDescriptions;
    for (UInt32 i = 0; i < 3; ++i) {
        EXPECT_EQ(descriptions[i].mChannelLabel, static_cast<UInt32>(kAudioChannelLabel_Unknown));
        EXPECT_EQ(descriptions[i].mChannelFlags, 0U);
        EXPECT_EQ(descriptions[i].mCoordinates[2], 0.0f);
    }
    EXPECT_EQ(CAAudioChannelLayout::NumberChannels(*layout), 3U);
    EXPECT_NE(Create(0), nullptr);
}

TEST(CAAudioChannelLayout, CreateRefusesSizesBeyond32Bits)
{
    EXPECT_THROW(Create(UINT32_MAX / 20 + 1), std::bad_alloc);
}

TEST(CAAudioChannelLayout, NumberChannelsBySource)
{
    AudioChannelLayout layout{};
    layout.mChannelLayoutTag = kAudioChannelLayoutTag_UseChannelBitmap;
    layout.mChannelBitmap = 0x3;
    layout.mNumberChannelDescriptions = 5;
    EXPECT_EQ(CAAudioChannelLayout::NumberChannels(layout), 2U);
    layout.mChannelLayoutTag = 0x00650006;
    EXPECT_EQ(CAAudioChannelLayout::NumberChannels(layout), 6U);
    layout.mChannelLayoutTag = kAudioChannelLayoutTag_UseChannelDescriptions;
    EXPECT_EQ(CAAudioChannelLayout::NumberChannels(layout), 5U);
    EXPECT_EQ(AudioChannelLayoutTag_GetNumberOfChannels(kAudioChannelLayoutTag_MPEG_5_1_A), 6U);
}

TEST(CAAudioChannelLayout, EqualityCoversEveryDescription)
{
    const LayoutPtr a = Create(2);
    const LayoutPtr b = Create(2);
    EXPECT_TRUE(*a == *b);
    EXPECT_FALSE(*a != *b);
    b->mChannelDescriptions[1].mCoordinates[1] = 0.5f;
    EXPECT_FALSE(*a == *b);
    EXPECT_TRUE(*a != *b);
    EXPECT_TRUE(*Create(1) != *Create(2));
}

TEST(CountOnes, MatchesTheBitCount)
{
    EXPECT_EQ(CountOnes(0), 0U);
    EXPECT_EQ(CountOnes(0xFFFFFFFFU), 32U);
    EXPECT_EQ(CountOnes(0x80000001U), 2U);
    UInt32 value = 0x9E3779B9U;
    for (int i = 0; i < 1000; ++i) {
        value = value * 1664525U + 1013904223U;
        ASSERT_EQ(CountOnes(value), static_cast<UInt32>(__builtin_popcount(value))) << value;
    }
}

TEST(CA_calloc, ZeroesOrThrows)
{
    auto* bytes = static_cast<unsigned char*>(CA_calloc(16, 4));
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(bytes[i], 0);
    }
    free(bytes);
    free(CA_calloc(0, SIZE_MAX));
    EXPECT_THROW(CA_calloc(SIZE_MAX / 2, 3), std::bad_alloc);
}
