// Format flags and description builders shared by the stream-format test files.
#pragma once

#include "CAStreamBasicDescription.h"

namespace stream_format_test {

constexpr UInt32 kFloat = kAudioFormatFlagIsFloat;
constexpr UInt32 kBigEndian = kAudioFormatFlagIsBigEndian;
constexpr UInt32 kSigned = kAudioFormatFlagIsSignedInteger;
constexpr UInt32 kPacked = kAudioFormatFlagIsPacked;
constexpr UInt32 kAlignedHigh = kAudioFormatFlagIsAlignedHigh;
constexpr UInt32 kNonInterleaved = kAudioFormatFlagIsNonInterleaved;
constexpr UInt32 kNonMixable = kAudioFormatFlagIsNonMixable;

// Linear PCM, interleaved unless the flags say otherwise.
inline CAStreamBasicDescription Pcm(Float64 rate, UInt32 channels, UInt32 bits, UInt32 wordBytes,
                                    UInt32 flags)
{
    const UInt32 bytesPerFrame = (flags & kNonInterleaved) ? wordBytes : wordBytes * channels;
    return CAStreamBasicDescription(rate, kAudioFormatLinearPCM, bytesPerFrame, 1, bytesPerFrame,
                                    channels, bits, flags);
}

inline CAStreamBasicDescription Canonical(Float64 rate, UInt32 channels, bool interleaved)
{
    CAStreamBasicDescription desc;
    desc.mSampleRate = rate;
    desc.SetAUCanonical(channels, interleaved);
    return desc;
}

} // namespace stream_format_test
