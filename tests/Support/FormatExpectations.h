// Compares a stream format with the one expected field by field, so that a failure names the
// field that differs rather than two unreadable structs.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>

#include <gtest/gtest.h>

inline void ExpectFormat(const AudioStreamBasicDescription& actual,
                         const AudioStreamBasicDescription& expected)
{
    EXPECT_EQ(actual.mSampleRate, expected.mSampleRate);
    EXPECT_EQ(actual.mFormatID, expected.mFormatID);
    EXPECT_EQ(actual.mFormatFlags, expected.mFormatFlags);
    EXPECT_EQ(actual.mBytesPerPacket, expected.mBytesPerPacket);
    EXPECT_EQ(actual.mFramesPerPacket, expected.mFramesPerPacket);
    EXPECT_EQ(actual.mBytesPerFrame, expected.mBytesPerFrame);
    EXPECT_EQ(actual.mChannelsPerFrame, expected.mChannelsPerFrame);
    EXPECT_EQ(actual.mBitsPerChannel, expected.mBitsPerChannel);
}
