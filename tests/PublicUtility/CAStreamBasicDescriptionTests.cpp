#include "CAStreamBasicDescription.h"
#include "FormatExpectations.h"
#include "OutputCapture.h"
#include "StreamFormatTestFormats.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace stream_format_test;

TEST(CAStreamBasicDescriptionWildcards, ZeroSampleRateMatchesAnyRateOnlyWithWildcards)
{
    const CAStreamBasicDescription fixedRate = Canonical(44100.0, 2, false);
    const CAStreamBasicDescription anyRate = Canonical(0.0, 2, false);
    EXPECT_TRUE(fixedRate == anyRate);
    EXPECT_TRUE(fixedRate.IsEqual(anyRate, true));
    EXPECT_FALSE(fixedRate.IsEqual(anyRate, false));
    EXPECT_FALSE(fixedRate == Canonical(48000.0, 2, false));
}

TEST(CAStreamBasicDescriptionWildcards, EveryCountFieldIsAWildcardWhenZero)
{
    using Field = UInt32 AudioStreamBasicDescription::*;
    const Field fields[] = {&AudioStreamBasicDescription::mFormatID,
                            &AudioStreamBasicDescription::mBytesPerPacket,
                            &AudioStreamBasicDescription::mFramesPerPacket,
                            &AudioStreamBasicDescription::mBytesPerFrame,
                            &AudioStreamBasicDescription::mChannelsPerFrame,
                            &AudioStreamBasicDescription::mBitsPerChannel};
    const CAStreamBasicDescription reference = Pcm(44100.0, 2, 16, 2, kSigned | kPacked);
    for (Field field : fields) {
        SCOPED_TRACE(&(reference.*field) - &reference.mFormatID);
        CAStreamBasicDescription other = reference;
        other.*field = 0;
        EXPECT_TRUE(reference == other);
        other.*field = reference.*field + 1;
        EXPECT_FALSE(reference == other);
    }
}

TEST(CAStreamBasicDescriptionWildcards, ExactComparisonIgnoresOnlyTheReservedField)
{
    const CAStreamBasicDescription reference = Canonical(44100.0, 2, true);
    CAStreamBasicDescription other = reference;
    other.mReserved = 7;
    EXPECT_TRUE(reference.IsEqual(other, false));
    other.mFormatFlags |= kAlignedHigh;
    EXPECT_FALSE(reference.IsEqual(other, false));
    EXPECT_TRUE(reference.IsEqual(other, true));
}

TEST(CAStreamBasicDescriptionWildcards, FlagsThatMeanNothingAreNormalisedAway)
{
    // Each case compares a format with the same one plus an extra flag.
    const struct {
        const char* what;
        UInt32 channels, bits, wordBytes, flags, extra;
        bool equal;
    } cases[] = {
        {"alignment of packed samples", 2, 16, 2, kSigned | kPacked, kAlignedHigh, true},
        {"alignment of unpacked samples", 2, 20, 3, kSigned, kAlignedHigh, false},
        {"interleaving of one channel", 1, 32, 4, kFloat | kPacked, kNonInterleaved, true},
        {"interleaving of two channels", 2, 32, 4, kFloat | kPacked, kNonInterleaved, false},
        {"byte order of one-byte samples", 2, 8, 1, kSigned | kPacked, kBigEndian, true},
        {"byte order of two-byte samples", 2, 16, 2, kSigned | kPacked, kBigEndian, false},
        {"sign bit of float samples", 2, 32, 4, kFloat | kPacked, kSigned, true},
        {"the all-clear marker", 2, 32, 4, kFloat | kPacked, kAudioFormatFlagsAreAllClear, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Pcm(44100, c.channels, c.bits, c.wordBytes, c.flags) ==
                      Pcm(44100, c.channels, c.bits, c.wordBytes, c.flags | c.extra),
                  c.equal);
    }
}

TEST(CAStreamBasicDescriptionWildcards, ZeroFormatOrZeroFlagsMakeTheFlagsMatch)
{
    CAStreamBasicDescription unknownFormat = Pcm(44100, 2, 16, 2, kSigned | kPacked | kBigEndian);
    unknownFormat.mFormatID = 0;
    const CAStreamBasicDescription floatFormat = Pcm(44100, 2, 16, 2, kFloat);
    EXPECT_TRUE(unknownFormat == floatFormat);
    CAStreamBasicDescription noFlags = floatFormat;
    noFlags.mFormatFlags = 0;
    EXPECT_TRUE(noFlags == Pcm(44100, 2, 16, 2, kSigned | kBigEndian));
}

TEST(CAStreamBasicDescriptionWildcards, FlagsOfOtherFormatsCompareUnchanged)
{
    CAStreamBasicDescription lossless16(44100, kAudioFormatLosslessALAC, 0, 4096, 0, 2, 0,
                                        kLosslessFormatFlag_16BitSourceData);
    CAStreamBasicDescription lossless24 = lossless16;
    lossless24.mFormatFlags = kLosslessFormatFlag_24BitSourceData;
    EXPECT_FALSE(lossless16 == lossless24);
}

TEST(CAStreamBasicDescriptionWildcards, ConverterMatchingAlsoIgnoresPackingAndMixability)
{
    const CAStreamBasicDescription mixable = Pcm(44100, 2, 16, 2, kSigned | kPacked);
    const CAStreamBasicDescription unmixable =
        Pcm(44100, 2, 16, 2, kSigned | kPacked | kNonMixable);
    EXPECT_FALSE(mixable == unmixable);
    EXPECT_TRUE(CAStreamBasicDescription::IsFunctionallyEquivalent(mixable, unmixable));

    // 16 bits in 2 bytes: packed or not is the same layout.
    const CAStreamBasicDescription unpacked = Pcm(44100, 2, 16, 2, kSigned);
    EXPECT_FALSE(mixable == unpacked);
    EXPECT_TRUE(CAStreamBasicDescription::IsFunctionallyEquivalent(mixable, unpacked));

    // 24 bits in 4 bytes: where the bits sit matters.
    EXPECT_FALSE(CAStreamBasicDescription::IsFunctionallyEquivalent(
        Pcm(44100, 2, 24, 4, kSigned), Pcm(44100, 2, 24, 4, kSigned | kAlignedHigh)));
    EXPECT_FALSE(CAStreamBasicDescription::IsFunctionallyEquivalent(
        mixable, Pcm(48000, 2, 16, 2, kSigned | kPacked)));
}

TEST(CAStreamBasicDescriptionWildcards, ModifyFormatFlagsClearsEachSideSeparately)
{
    const CAStreamBasicDescription eightBit = Pcm(44100, 1, 8, 1, kSigned | kPacked | kBigEndian);
    const CAStreamBasicDescription sixteenBit =
        Pcm(44100, 1, 16, 2, kSigned | kPacked | kBigEndian | kNonInterleaved);
    UInt32 flagsA = eightBit.mFormatFlags;
    UInt32 flagsB = sixteenBit.mFormatFlags;
    CAStreamBasicDescription::ModifyFormatFlagsForMatching(eightBit, sixteenBit, flagsA, flagsB,
                                                           false);
    EXPECT_EQ(flagsA, kSigned | kPacked);
    EXPECT_EQ(flagsB, kSigned | kPacked | kBigEndian);
}

TEST(CAStreamBasicDescriptionOrdering, FollowsTheRulesInTurn)
{
    const CAStreamBasicDescription pcm = Canonical(44100, 2, true);
    const CAStreamBasicDescription aac(44100, kAudioFormatMPEG4AAC, 0, 1024, 0, 2, 0, 0);
    const CAStreamBasicDescription alac(44100, kAudioFormatLosslessALAC, 0, 4096, 0, 2, 0, 1);
    EXPECT_TRUE(pcm < aac);
    EXPECT_FALSE(aac < pcm);
    EXPECT_TRUE(aac < alac); // 'aac ' is the smaller code
    EXPECT_FALSE(alac < aac);

    const CAStreamBasicDescription unmixable =
        Pcm(44100, 2, 16, 2, kSigned | kPacked | kNonMixable);
    EXPECT_TRUE(pcm < unmixable); // mixable first, before any other rule
    EXPECT_FALSE(unmixable < pcm);

    const CAStreamBasicDescription int32 = Pcm(44100, 2, 32, 4, kSigned | kPacked);
    EXPECT_TRUE(int32 < pcm); // integer before float
    EXPECT_FALSE(pcm < int32);

    EXPECT_TRUE(Pcm(48000, 2, 16, 2, kSigned) < Pcm(44100, 2, 24, 3, kSigned)); // depth first
    EXPECT_TRUE(Pcm(44100, 6, 16, 2, kSigned) < Pcm(48000, 2, 16, 2, kSigned)); // then rate
    EXPECT_TRUE(Pcm(44100, 1, 16, 2, kSigned) < Pcm(44100, 2, 16, 2, kSigned)); // then channels
    EXPECT_TRUE(Pcm(0, 1, 16, 2, kSigned) < Pcm(48000, 2, 16, 2, kSigned));     // rate 0 skipped
    EXPECT_FALSE(pcm < pcm);

    CAStreamBasicDescription unknownFormat = aac;
    unknownFormat.mChannelsPerFrame = 1;
    unknownFormat.mFormatID = 0;
    EXPECT_TRUE(unknownFormat < pcm); // no format rule: decided by channels
}

TEST(CAStreamBasicDescriptionCanonical, AudioUnitCanonicalForms)
{
    CAStreamBasicDescription desc;
    desc.mSampleRate = 96000.0;
    desc.SetAUCanonical(2, false);
    ExpectFormat(desc, {96000.0, kAudioFormatLinearPCM, 0x29U, 4U, 1U, 4U, 2U, 32U, 0U});

    desc.SetAUCanonical(6, true);
    EXPECT_EQ(desc.mFormatFlags, 0x9U);
    EXPECT_EQ(desc.mBytesPerFrame, 24U);
    EXPECT_EQ(desc.mBytesPerPacket, 24U);
}

TEST(CAStreamBasicDescriptionCanonical, NormalizeTurnsMixablePcmIntoPackedFloat)
{
    CAStreamBasicDescription desc = Pcm(44100, 2, 16, 2, kSigned | kPacked | kNonInterleaved);
    CAStreamBasicDescription::NormalizeLinearPCMFormat(desc);
    EXPECT_TRUE(desc.IsEqual(Canonical(44100, 2, true), false));

    desc = Pcm(44100, 2, 24, 3, kSigned | kPacked);
    CAStreamBasicDescription::NormalizeLinearPCMFormat(false, desc);
    EXPECT_EQ(desc.mFormatFlags, 0xBU);
    EXPECT_EQ(desc.mBytesPerFrame, 8U);

    const CAStreamBasicDescription unmixable = Pcm(44100, 2, 16, 2, kSigned | kNonMixable);
    desc = unmixable;
    CAStreamBasicDescription::NormalizeLinearPCMFormat(desc);
    EXPECT_TRUE(desc.IsEqual(unmixable, false));

    const CAStreamBasicDescription aac(44100, kAudioFormatMPEG4AAC, 0, 1024, 0, 2, 0, 0);
    desc = aac;
    CAStreamBasicDescription::NormalizeLinearPCMFormat(desc);
    EXPECT_TRUE(desc.IsEqual(aac, false));
}

TEST(CAStreamBasicDescriptionCanonical, ResetAndFillOut)
{
    CAStreamBasicDescription desc = Canonical(44100, 2, false);
    desc.mReserved = 5;
    CAStreamBasicDescription::ResetFormat(desc);
    EXPECT_TRUE(desc.IsEqual(CAStreamBasicDescription(), false));
    EXPECT_EQ(desc.mReserved, 5U);

    CAStreamBasicDescription partial;
    partial.mChannelsPerFrame = 6;
    partial.mFormatFlags = kSigned;
    CAStreamBasicDescription::FillOutFormat(partial, Canonical(48000, 2, true));
    EXPECT_EQ(partial.mSampleRate, 48000.0);
    EXPECT_EQ(partial.mFormatID, static_cast<UInt32>(kAudioFormatLinearPCM));
    EXPECT_EQ(partial.mFormatFlags, kSigned);
    EXPECT_EQ(partial.mChannelsPerFrame, 6U);
    EXPECT_EQ(partial.mBytesPerFrame, 8U);
    EXPECT_EQ(partial.mBytesPerPacket, 8U);
    EXPECT_EQ(partial.mFramesPerPacket, 1U);
    EXPECT_EQ(partial.mBitsPerChannel, 32U);
}

TEST(CAStreamBasicDescriptionPredicates, ChannelStreamsAndWordSizes)
{
    const CAStreamBasicDescription separate = Pcm(44100, 6, 32, 4, kFloat | kNonInterleaved);
    EXPECT_EQ(separate.NumberChannelStreams(), 6U);
    EXPECT_EQ(separate.NumberInterleavedChannels(), 1U);
    EXPECT_EQ(separate.SampleWordSize(), 4U);
    const CAStreamBasicDescription interleaved = Pcm(44100, 6, 16, 2, kSigned);
    EXPECT_EQ(interleaved.NumberChannelStreams(), 1U);
    EXPECT_EQ(interleaved.NumberInterleavedChannels(), 6U);
    EXPECT_EQ(interleaved.SampleWordSize(), 2U);

    CAStreamBasicDescription noChannels = interleaved;
    noChannels.mChannelsPerFrame = 0;
    EXPECT_EQ(noChannels.SampleWordSize(), 0U);
}

TEST(CAStreamBasicDescriptionPredicates, PackingAndAlignmentSignificance)
{
    OutputCapture errors(OutputCapture::kStderr);
    EXPECT_FALSE(Pcm(44100, 2, 16, 2, kSigned).PackednessIsSignificant());
    EXPECT_TRUE(Pcm(44100, 2, 24, 4, kSigned).PackednessIsSignificant());
    EXPECT_TRUE(Pcm(44100, 2, 24, 4, kSigned).AlignmentIsSignificant());
    EXPECT_TRUE(Pcm(44100, 2, 12, 2, kSigned).AlignmentIsSignificant());
    EXPECT_FALSE(Pcm(44100, 2, 16, 2, kSigned).AlignmentIsSignificant());
    EXPECT_EQ(errors.Take(), "");

    const CAStreamBasicDescription aac(44100, kAudioFormatMPEG4AAC, 0, 1024, 0, 2, 0, 0);
    EXPECT_FALSE(aac.PackednessIsSignificant());
    EXPECT_EQ(errors.Take(), "PackednessIsSignificant only applies for PCM\n");
}

TEST(CAStreamBasicDescriptionPredicates, IdentifyCommonPCMFormat)
{
    struct Case {
        CAStreamBasicDescription desc;
        bool recognised;
        CAStreamBasicDescription::CommonPCMFormat format;
    };
    using C = CAStreamBasicDescription;
    CAStreamBasicDescription notPcm = Canonical(44100, 2, true);
    notPcm.mFormatID = kAudioFormatULaw;
    CAStreamBasicDescription twoFramesPerPacket = Canonical(44100, 2, true);
    twoFramesPerPacket.mFramesPerPacket = 2;
    const Case cases[] = {
        {Canonical(44100, 2, true), true, C::kCommonPCMFormat_Float32},
        {Canonical(44100, 2, false), true, C::kCommonPCMFormat_Float32},
        {Pcm(44100, 2, 64, 8, kFloat | kPacked), true, C::kCommonPCMFormat_Float64},
        {Pcm(44100, 2, 16, 2, kSigned | kPacked), true, C::kCommonPCMFormat_Int16},
        {Pcm(44100, 2, 32, 4, kSigned | kPacked | (24U << 7)), true, C::kCommonPCMFormat_Fixed824},
        {Pcm(44100, 2, 32, 4, kFloat | kPacked | kBigEndian), true, C::kCommonPCMFormat_Other},
        {Pcm(44100, 2, 16, 2, kPacked), true, C::kCommonPCMFormat_Other},
        {Pcm(44100, 2, 24, 4, kSigned), true, C::kCommonPCMFormat_Other},
        {Pcm(44100, 2, 32, 4, kSigned | kPacked), true, C::kCommonPCMFormat_Other},
        {Pcm(44100, 2, 32, 4, kFloat | kSigned | kPacked), false, C::kCommonPCMFormat_Other},
        {Pcm(44100, 2, 32, 4, kFloat | kPacked | (3U << 7)), false, C::kCommonPCMFormat_Other},
        {Pcm(44100, 0, 32, 4, kFloat | kPacked), false, C::kCommonPCMFormat_Other},
        {Pcm(44100, 2, 32, 2, kFloat | kPacked | kNonInterleaved), false,
         C::kCommonPCMFormat_Other},
        {CAStreamBasicDescription(44100, kAudioFormatLinearPCM, 6, 1, 6, 4, 16, kSigned), false,
         C::kCommonPCMFormat_Other},
        {notPcm, false, C::kCommonPCMFormat_Other},
        {twoFramesPerPacket, false, C::kCommonPCMFormat_Other},
    };
    for (const Case& c : cases) {
        C::CommonPCMFormat format = C::kCommonPCMFormat_Float64;
        bool interleaved = false;
        char text[128];
        SCOPED_TRACE(c.desc.AsString(text, sizeof(text), false));
        EXPECT_EQ(c.desc.IdentifyCommonPCMFormat(format, &interleaved), c.recognised);
        EXPECT_EQ(format, c.format);
    }
    bool interleaved = true;
    C::CommonPCMFormat format;
    EXPECT_TRUE(Canonical(44100, 2, false).IdentifyCommonPCMFormat(format, &interleaved));
    EXPECT_FALSE(interleaved);
    EXPECT_TRUE(Canonical(44100, 2, true).IdentifyCommonPCMFormat(format, nullptr));
}

TEST(CAStreamBasicDescriptionPredicates, SanityCheckBounds)
{
    EXPECT_TRUE(SanityCheck(Canonical(44100, 2, false)));
    EXPECT_TRUE(SanityCheck(Canonical(0, 1024, false)));
    EXPECT_TRUE(
        SanityCheck(CAStreamBasicDescription(44100, kAudioFormatMPEG4AAC, 0, 1024, 0, 2, 0, 0)));
    const auto broken = [](auto change) {
        CAStreamBasicDescription desc = Canonical(44100, 2, true);
        change(desc);
        return !SanityCheck(desc);
    };
    EXPECT_TRUE(broken([](auto& d) { d.mSampleRate = NAN; }));
    EXPECT_TRUE(broken([](auto& d) { d.mSampleRate = -1.0; }));
    EXPECT_TRUE(broken([](auto& d) { d.mSampleRate = 3000000.0; }));
    EXPECT_TRUE(broken([](auto& d) { d.mChannelsPerFrame = 1025; }));
    EXPECT_TRUE(broken([](auto& d) { d.mBitsPerChannel = 1025; }));
    EXPECT_TRUE(broken([](auto& d) { d.mBytesPerFrame = d.mBytesPerPacket = 1000000; }));
    EXPECT_TRUE(broken([](auto& d) { d.mFormatID = 0; }));
    EXPECT_TRUE(broken([](auto& d) { d.mFramesPerPacket = 2; }));
    EXPECT_TRUE(broken([](auto& d) { d.mBytesPerPacket = 16; }));
}
