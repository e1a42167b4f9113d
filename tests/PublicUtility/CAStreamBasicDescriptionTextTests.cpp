#include "CAStreamBasicDescription.h"
#include "OutputCapture.h"
#include "StreamFormatTestFormats.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace stream_format_test;

constexpr char kSentinel = '#';

CAStreamBasicDescription CanonicalStereo(bool interleaved)
{
    return Canonical(44100.0, 2, interleaved);
}

std::string AsString(const CAStreamBasicDescription& desc, bool brief)
{
    char text[256];
    return desc.AsString(text, sizeof(text), brief);
}

std::string SimpleName(const AudioStreamBasicDescription& desc, bool abbreviate,
                       bool includeSampleRate = false)
{
    char name[256];
    CAStreamBasicDescription::GetSimpleName(desc, name, sizeof(name), abbreviate,
                                            includeSampleRate);
    return name;
}

// Writes into a buffer of exactly size bytes followed by sentinels, and checks that nothing
// beyond size was touched.
template <typename Write> std::string WriteBounded(size_t size, Write write)
{
    std::vector<char> buffer(size + 8, kSentinel);
    write(buffer.data(), size);
    for (size_t i = size; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], kSentinel) << "byte " << i << " written past a buffer of " << size;
    }
    if (size == 0) {
        return {};
    }
    EXPECT_NE(std::memchr(buffer.data(), '\0', size), nullptr) << "not terminated";
    return std::string(buffer.data());
}

struct ParseResult {
    bool ok;
    AudioStreamBasicDescription desc;
    std::string errors;
};

ParseResult Parse(const char* text)
{
    OutputCapture errors(OutputCapture::kStderr);
    ParseResult result;
    std::memset(&result.desc, 0x55, sizeof(result.desc));
    result.ok = CAStreamBasicDescription::FromText(text, result.desc);
    result.errors = errors.Take();
    return result;
}

std::string FailureMessage(const std::string& cause, const std::string& text)
{
    return cause + "Invalid format string: " + text + "\nSyntax of format strings is: \n";
}

} // namespace

TEST(CAStreamBasicDescriptionText, AsStringOfCanonicalStereo)
{
    EXPECT_EQ(AsString(CanonicalStereo(true), false),
              " 2 ch,  44100 Hz, 'lpcm' (0x00000009) 32-bit little-endian float");
    EXPECT_EQ(AsString(CanonicalStereo(false), false),
              " 2 ch,  44100 Hz, 'lpcm' (0x00000029) 32-bit little-endian float, deinterleaved");
    EXPECT_EQ(AsString(CanonicalStereo(true), true), " 2 ch,  44100 Hz, Float32, inter");
    EXPECT_EQ(AsString(CanonicalStereo(false), true), " 2 ch,  44100 Hz, Float32, non-inter");
}

TEST(CAStreamBasicDescriptionText, AsStringBriefNamesCommonFormatsOnly)
{
    EXPECT_EQ(AsString(Pcm(48000, 1, 16, 2, kSigned | kPacked), true), " 1 ch,  48000 Hz, Int16");
    EXPECT_EQ(AsString(Pcm(48000, 2, 32, 4, kSigned | kPacked | (24U << 7)), true),
              " 2 ch,  48000 Hz, Int8.24, inter");
    EXPECT_EQ(AsString(Pcm(96000, 8, 64, 8, kFloat | kPacked | kNonInterleaved), true),
              " 8 ch,  96000 Hz, Float64, non-inter");
    EXPECT_EQ(AsString(CAStreamBasicDescription(), true), " 0 ch,      0 Hz");
    EXPECT_EQ(AsString(Pcm(48000, 2, 24, 3, kSigned | kPacked), true),
              " 2 ch,  48000 Hz, 'lpcm' (0x0000000C) 24-bit little-endian signed integer");
}

TEST(CAStreamBasicDescriptionText, AsStringDescribesEveryPcmDetail)
{
    EXPECT_EQ(AsString(Pcm(48000, 2, 24, 4, kSigned | kAlignedHigh), false),
              " 2 ch,  48000 Hz, 'lpcm' (0x00000014) 24-bit little-endian signed integer, "
              "unpacked in 4 bytes high-aligned");
    EXPECT_EQ(AsString(Pcm(48000, 2, 24, 4, kSigned | kPacked), false),
              " 2 ch,  48000 Hz, 'lpcm' (0x0000000C) 24-bit little-endian signed integer, "
              "packed in 4 bytes low-aligned");
    EXPECT_EQ(AsString(Pcm(22050, 1, 12, 2, kBigEndian), false),
              " 1 ch,  22050 Hz, 'lpcm' (0x00000002) 12-bit big-endian unsigned integer, "
              "unpacked in 2 bytes low-aligned");
    EXPECT_EQ(AsString(Pcm(8000, 1, 8, 1, kPacked), false),
              " 1 ch,   8000 Hz, 'lpcm' (0x00000008) 8-bit unsigned integer");
    EXPECT_EQ(AsString(Pcm(44100, 2, 32, 4, kSigned | kPacked | (24U << 7) | kNonMixable), false),
              " 2 ch,  44100 Hz, 'lpcm' (0x00000C4C) 8.24-bit little-endian signed integer");
}

TEST(CAStreamBasicDescriptionText, AsStringOfOtherFormats)
{
    CAStreamBasicDescription lossless(44100, kAudioFormatLosslessALAC, 0, 4096, 0, 2, 0,
                                      kLosslessFormatFlag_24BitSourceData);
    EXPECT_EQ(AsString(lossless, false),
              " 2 ch,  44100 Hz, 'alac' (0x00000003) from 24-bit source, 4096 frames/packet");
    lossless.mFormatFlags = 9;
    EXPECT_EQ(AsString(lossless, true), " 2 ch,  44100 Hz, 'alac' (0x00000009) from UNKNOWN "
                                        "source bit depth, 4096 frames/packet");
    const CAStreamBasicDescription aac(48000, kAudioFormatMPEG4AAC, 0, 1024, 0, 6, 0, 0);
    EXPECT_EQ(AsString(aac, false), " 6 ch,  48000 Hz, 'aac ' (0x00000000) 0 bits/channel, 0 "
                                    "bytes/packet, 1024 frames/packet, 0 bytes/frame");
}

TEST(CAStreamBasicDescriptionText, AsStringStaysInsideTheBuffer)
{
    const std::string full = AsString(CanonicalStereo(false), false);
    for (size_t size : {0, 1, 2, 10, 17, 30, 60}) {
        const std::string cut = WriteBounded(size, [](char* buffer, size_t n) {
            CanonicalStereo(false).AsString(buffer, n, false);
        });
        EXPECT_EQ(cut, full.substr(0, size == 0 ? 0 : size - 1));
    }
}

TEST(CAStreamBasicDescriptionText, StringForOSType)
{
    const auto text = [](UInt32 code, size_t size) {
        return WriteBounded(size,
                            [code](char* buffer, size_t n) { CAStringForOSType(code, buffer, n); });
    };
    EXPECT_EQ(text(kAudioFormatLinearPCM, 24), "'lpcm'");
    EXPECT_EQ(text(10, 24), "0x0000000A");
    EXPECT_EQ(text(0x615C6263, 24), "0x615C6263"); // a backslash is never printed as is
    EXPECT_EQ(text(kAudioFormatLinearPCM, 4), "'lp");
    EXPECT_EQ(text(10, 5), "0x00");
    EXPECT_EQ(text(10, 0), "");
}

TEST(CAStreamBasicDescriptionText, SimpleNamesOfPcm)
{
    EXPECT_EQ(SimpleName(CanonicalStereo(true), false), "Mixable 2 Channel 32 Bit Floating Point");
    EXPECT_EQ(SimpleName(CanonicalStereo(true), true), "Mixable 2 Ch Float32");
    EXPECT_EQ(SimpleName(CanonicalStereo(true), true, true), "44100 Mixable 2 Ch Float32");

    const CAStreamBasicDescription bigPacked = Pcm(44100, 2, 16, 2, kSigned | kPacked | kBigEndian);
    EXPECT_EQ(SimpleName(bigPacked, false), "Mixable 2 Channel 16 Bit Big Endian Signed Integer");
    EXPECT_EQ(SimpleName(bigPacked, true), "Mixable 2 Ch Big Endian SInt16");

    const CAStreamBasicDescription littleLoose = Pcm(44100, 2, 24, 4, kSigned | kAlignedHigh);
    EXPECT_EQ(SimpleName(littleLoose, false),
              "Mixable 2 Channel 24 Bit Signed Integer Aligned High in 32 Bits");
    EXPECT_EQ(SimpleName(littleLoose, true), "Mixable 2 Ch High SInt24/SInt32");

    const CAStreamBasicDescription bigLoose = Pcm(44100, 2, 20, 4, kBigEndian | kNonMixable);
    EXPECT_EQ(SimpleName(bigLoose, false),
              "Unmixable 2 Channel 20 Bit Big Endian Unsigned Integer Aligned Low in 32 Bits");
    EXPECT_EQ(SimpleName(bigLoose, true), "Unmixable 2 Ch Big Endian Low UInt20/UInt32");
}

TEST(CAStreamBasicDescriptionText, SimpleNameWithoutChannelsHasNoContainerSize)
{
    CAStreamBasicDescription noChannels = Pcm(44100, 2, 24, 4, kSigned | kAlignedHigh);
    noChannels.mChannelsPerFrame = 0;
    EXPECT_EQ(SimpleName(noChannels, false),
              "Mixable 0 Channel 24 Bit Signed Integer Aligned High in 0 Bits");
}

TEST(CAStreamBasicDescriptionText, SimpleNamesOfOtherFormatsStayInsideTheBuffer)
{
    CAStreamBasicDescription desc;
    desc.mFormatID = kAudioFormat60958AC3;
    EXPECT_EQ(SimpleName(desc, false), "AC-3 for SPDIF");
    desc.mFormatID = kAudioFormatAC3;
    EXPECT_EQ(SimpleName(desc, true), "AC-3");
    desc.mFormatID = kAudioFormatMPEG4AAC;
    EXPECT_EQ(SimpleName(desc, false), "aac ");

    const auto name = [](UInt32 formatID, size_t size, bool withRate) {
        CAStreamBasicDescription d = CanonicalStereo(false);
        d.mFormatID = formatID;
        return WriteBounded(size, [&](char* buffer, size_t n) {
            CAStreamBasicDescription::GetSimpleName(d, buffer, static_cast<UInt32>(n), true,
                                                    withRate);
        });
    };
    EXPECT_EQ(name(kAudioFormatMPEG4AAC, 3, false), "aa");
    EXPECT_EQ(name(kAudioFormatMPEG4AAC, 0, false), "");
    EXPECT_EQ(name(kAudioFormatMPEG4AAC, 8, true), "44100 a");
    EXPECT_EQ(name(kAudioFormat60958AC3, 5, false), "AC-3");
    EXPECT_EQ(name(kAudioFormatLinearPCM, 10, false), "Mixable 2");
    EXPECT_EQ(name(kAudioFormatLinearPCM, 4, true), "441");
}

TEST(CAStreamBasicDescriptionFromText, ExamplesGiveTheWholeDescription)
{
    using C = CAStreamBasicDescription;
    const struct {
        const char* text;
        CAStreamBasicDescription expected;
    } cases[] = {
        {"F32@48000,2", C(48000, kAudioFormatLinearPCM, 8, 1, 8, 2, 32, 0x9)},
        {"I24", C(0, kAudioFormatLinearPCM, 3, 1, 3, 1, 24, 0xC)},
        {"UI12", C(0, kAudioFormatLinearPCM, 2, 1, 2, 1, 12, 0x10)},
        {"aac", C(0, kAudioFormatMPEG4AAC, 0, 0, 0, 0, 0, 0)},
        {"alac#4096,2", C(0, kAudioFormatLosslessALAC, 0, 4096, 0, 2, 0, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const ParseResult r = Parse(c.text);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.errors, "");
        EXPECT_TRUE(CAStreamBasicDescription(r.desc).IsEqual(c.expected, false));
    }
}

TEST(CAStreamBasicDescriptionFromText, ExamplesOfPcm)
{
    ParseResult r = Parse("I8.24");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.desc.mBitsPerChannel, 32U);
    EXPECT_EQ(r.desc.mFormatFlags, 0xC0CU);
    EXPECT_EQ(r.desc.mBytesPerFrame, 4U);
}

TEST(CAStreamBasicDescriptionFromText, OptionalFieldsOfPcm)
{
    struct Case {
        const char* text;
        UInt32 flags, bytesPerFrame, framesPerPacket, channels, bits;
        Float64 rate;
    };
    const Case cases[] = {
        {"BEI16,2", 0xE, 4, 1, 2, 16, 0}, {"-LEF32@44100,2D", 0x29, 4, 1, 2, 32, 44100},
        {"-UI8,2I", 0x8, 2, 1, 2, 8, 0},  {"F32/2b", 0x2B, 4, 1, 1, 32, 0},
        {"F32#1", 0x9, 4, 1, 1, 32, 0},   {"I24:L4,2", 0x4, 8, 1, 2, 24, 0},
        {"I24:H4", 0x14, 4, 1, 1, 24, 0}, {"I20@96000/C#1:H4,6D", 0x34, 4, 1, 6, 20, 96000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const ParseResult r = Parse(c.text);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.errors, "");
        EXPECT_EQ(r.desc.mFormatID, static_cast<UInt32>(kAudioFormatLinearPCM));
        EXPECT_EQ(r.desc.mFormatFlags, c.flags);
        EXPECT_EQ(r.desc.mBytesPerFrame, c.bytesPerFrame);
        EXPECT_EQ(r.desc.mBytesPerPacket, c.bytesPerFrame);
        EXPECT_EQ(r.desc.mFramesPerPacket, c.framesPerPacket);
        EXPECT_EQ(r.desc.mChannelsPerFrame, c.channels);
        EXPECT_EQ(r.desc.mBitsPerChannel, c.bits);
        EXPECT_EQ(r.desc.mSampleRate, c.rate);
        EXPECT_EQ(r.desc.mReserved, 0U);
    }
}

TEST(CAStreamBasicDescriptionFromText, FormatCodes)
{
    ParseResult r = Parse("aac@44100");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.desc.mFormatID, static_cast<UInt32>(kAudioFormatMPEG4AAC));
    EXPECT_EQ(r.desc.mSampleRate, 44100.0);

    r = Parse("\\x2Emp3,2");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.desc.mFormatID, static_cast<UInt32>(kAudioFormatMPEGLayer3));
    EXPECT_EQ(r.desc.mChannelsPerFrame, 2U);

    r = Parse("ab\\x63\\x40");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.desc.mFormatID, 0x61626340U); // an escaped '@' is part of the code
}

TEST(CAStreamBasicDescriptionFromText, UnreadableCodesFailWithoutMessage)
{
    for (const char* text : {"", "ab", "\\q", "a\\x4", "a\\x4G", "\\x"}) {
        SCOPED_TRACE(text);
        const ParseResult r = Parse(text);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.errors, "");
    }
}

TEST(CAStreamBasicDescriptionFromText, FailuresReportTheirCause)
{
    ParseResult r = Parse("F32x");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors, FailureMessage("extra characters at end of format string: x\n", "F32x"));
    EXPECT_EQ(r.desc.mFormatID, static_cast<UInt32>(kAudioFormatLinearPCM));
    EXPECT_EQ(r.desc.mBitsPerChannel, 32U); // what was parsed before the failure stays

    r = Parse("I8.");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors, FailureMessage("Expected fractional bits following '.'\n", "I8."));

    r = Parse("I16:X2");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors, FailureMessage("", "I16:X2"));

    r = Parse("alac,2D");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors,
              FailureMessage("non-interleaved flag invalid for non-PCM formats\n", "alac,2D"));
    EXPECT_EQ(r.desc.mChannelsPerFrame, 2U);

    r = Parse("F32,2 ");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors, FailureMessage("extra characters at end of format string:  \n", "F32,2 "));
}

TEST(CAStreamBasicDescriptionFromText, TextsOfCommonFormatsAreRecognised)
{
    using C = CAStreamBasicDescription;
    struct Case {
        const char* text;
        C::CommonPCMFormat format;
        bool interleaved;
    };
    const Case cases[] = {
        {"F32", C::kCommonPCMFormat_Float32, true},
        {"F32@44100,2", C::kCommonPCMFormat_Float32, true},
        {"LEF32@48000,6D", C::kCommonPCMFormat_Float32, false},
        {"F64,2I", C::kCommonPCMFormat_Float64, true},
        {"-F64@96000,2D", C::kCommonPCMFormat_Float64, false},
        {"I16", C::kCommonPCMFormat_Int16, true},
        {"-LEI16@48000,2", C::kCommonPCMFormat_Int16, true},
        {"I16,8D", C::kCommonPCMFormat_Int16, false},
        {"I8.24,2", C::kCommonPCMFormat_Fixed824, true},
        {"I8.24@44100,2D", C::kCommonPCMFormat_Fixed824, false},
        {"BEF32,2", C::kCommonPCMFormat_Other, true},
        {"UI16,2", C::kCommonPCMFormat_Other, true},
        {"I24,2", C::kCommonPCMFormat_Other, true},
        {"I32", C::kCommonPCMFormat_Other, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const ParseResult r = Parse(c.text);
        ASSERT_TRUE(r.ok);
        const CAStreamBasicDescription desc(r.desc);
        C::CommonPCMFormat format;
        bool interleaved = !c.interleaved;
        EXPECT_TRUE(desc.IdentifyCommonPCMFormat(format, &interleaved));
        EXPECT_EQ(format, c.format);
        EXPECT_EQ(interleaved, c.interleaved);
        EXPECT_TRUE(SanityCheck(desc));
    }
}
