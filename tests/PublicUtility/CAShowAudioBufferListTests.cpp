#include "CAShowAudioBufferList.h"
#include "CAShowAudioChannelLayout.h"
#include "CAStreamBasicDescription.h"
#include "CrashIfClientProvidedBogusAudioBufferList.h"
#include "OutputCapture.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

// A buffer list with room for two buffers.
struct TwoBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[2];
    AudioBufferList& List() { return *reinterpret_cast<AudioBufferList*>(this); }
};

TwoBufferList ListOf(std::vector<Byte>& first, UInt32 channels)
{
    TwoBufferList list{};
    list.mNumberBuffers = 1;
    list.mBuffers[0] = AudioBuffer{channels, static_cast<UInt32>(first.size()), first.data()};
    return list;
}

std::string Format(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    return text;
}

template <typename Show> std::string Printed(Show show)
{
    OutputCapture output(OutputCapture::kStdout);
    show();
    return output.Take();
}

std::string Header(const char* label, const void* list, int frames, const char* note)
{
    return Format("%s %p (%d fr%s):\n", label, list, frames, note);
}

std::string BufferLine(int index, const AudioBuffer& buffer, const char* samples)
{
    return Format("    [%2d] %5dbytes %dch @ %p%s\n", index, static_cast<int>(buffer.mDataByteSize),
                  static_cast<int>(buffer.mNumberChannels), buffer.mData, samples);
}

CAStreamBasicDescription Pcm(UInt32 channels, UInt32 bits, UInt32 wordBytes, UInt32 flags)
{
    const UInt32 bytesPerFrame = wordBytes * channels;
    return CAStreamBasicDescription(44100, kAudioFormatLinearPCM, bytesPerFrame, 1, bytesPerFrame,
                                    channels, bits, flags);
}

} // namespace

TEST(CAShowAudioBufferList, SixteenBitLittleEndianStereo)
{
    std::vector<Byte> bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    TwoBufferList list = ListOf(bytes, 2);
    const CAStreamBasicDescription format =
        Pcm(2, 16, 2, kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked);
    EXPECT_EQ(Printed([&] { CAShowAudioBufferList(list.List(), 2, format, nullptr); }),
              Header("AudioBufferList", &list, 2, ", 16-bit LEI") +
                  BufferLine(0, list.mBuffers[0], ": 0201 0403 0605 0807"));
}

TEST(CAShowAudioBufferList, WordCodesFollowTheFormat)
{
    std::vector<Byte> bytes = {0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x3F};
    TwoBufferList list = ListOf(bytes, 1);
    const AudioBuffer& buffer = list.mBuffers[0];
    const auto show = [&](const CAStreamBasicDescription& format) {
        return Printed([&] { CAShowAudioBufferList(list.List(), 2, format, "in"); });
    };
    EXPECT_EQ(show(Pcm(1, 32, 4, kAudioFormatFlagIsFloat | kAudioFormatFlagIsBigEndian)),
              Header("in", &list, 2, ", BEF") + BufferLine(0, buffer, ":  0.500  0.000"));
    EXPECT_EQ(show(Pcm(1, 32, 4, kAudioFormatFlagIsFloat)),
              Header("in", &list, 2, ", LEF") + BufferLine(0, buffer, ":  0.000  1.500"));
    EXPECT_EQ(show(Pcm(1, 24, 3, kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsBigEndian)),
              Header("in", &list, 2, ", 24-bit BEI") + BufferLine(0, buffer, ": 3F0000 000000"));
    EXPECT_EQ(show(Pcm(1, 32, 4, kAudioFormatFlagIsSignedInteger | (24U << 7))),
              Header("in", &list, 2, ", 8.24-bit LEI") +
                  BufferLine(0, buffer, ": 0000003F 3FC00000"));
    EXPECT_EQ(show(CAStreamBasicDescription(44100, kAudioFormatMPEG4AAC, 0, 1024, 0, 1, 0, 0)),
              Header("in", &list, 2, "") + BufferLine(0, buffer, ": 3F 00"));
}

TEST(CAShowAudioBufferList, WordSizeForms)
{
    std::vector<Byte> bytes = {0x00, 0x00, 0x80, 0x3F, 0xAB, 0xCD, 0xEF, 0x01};
    std::vector<Byte> second = {0x00, 0x00, 0x40, 0x40};
    TwoBufferList list = ListOf(bytes, 1);
    list.mNumberBuffers = 2;
    list.mBuffers[1] = AudioBuffer{1, 4, second.data()};
    const AudioBuffer* buffers = list.mBuffers;

    EXPECT_EQ(Printed([&] { CAShowAudioBufferList(&list.List(), 1, 0); }),
              Header("AudioBufferList", &list, 1, "") + BufferLine(0, buffers[0], ":  1.000") +
                  BufferLine(1, buffers[1], ":  3.000"));
    EXPECT_EQ(Printed([&] { CAShowAudioBufferList(list.List(), 2, -3, "x"); }),
              Header("x", &list, 2, "") + BufferLine(0, buffers[0], ": 800000 CDAB3F") +
                  BufferLine(1, buffers[1], ": 400000"));
    EXPECT_EQ(Printed([&] { CAShowAudioBufferList(list.List(), 1, 4, "x"); }),
              Header("x", &list, 1, "") + BufferLine(0, buffers[0], ": 0000803F") +
                  BufferLine(1, buffers[1], ": 00004040"));
    EXPECT_EQ(Printed([&] { CAShowAudioBufferList(list.List(), 2, 7, "x"); }),
              Header("x", &list, 2, "") + BufferLine(0, buffers[0], ":") +
                  BufferLine(1, buffers[1], ":"));
    EXPECT_EQ(Printed([&] { CAShowAudioBufferList(list.List(), 0, 1, "x"); }),
              Header("x", &list, 0, "") + BufferLine(0, buffers[0], "") +
                  BufferLine(1, buffers[1], ""));
}

TEST(CAShowAudioBufferList, NeverReadsPastTheBuffer)
{
    // Exactly sized heap blocks, so that AddressSanitizer sees any read beyond them.
    std::unique_ptr<Byte[]> odd(new Byte[6]{0xA1, 0xA2, 0xB1, 0xB2, 0xC1, 0xC2});
    TwoBufferList list{};
    list.mNumberBuffers = 2;
    list.mBuffers[0] = AudioBuffer{2, 6, odd.get()};
    list.mBuffers[1] = AudioBuffer{2, 0, nullptr};
    EXPECT_EQ(Printed([&] { CAShowAudioBufferList(list.List(), 4, 2, "x"); }),
              Header("x", &list, 4, "") + BufferLine(0, list.mBuffers[0], ": A1A2 B1B2 C1C2") +
                  BufferLine(1, list.mBuffers[1], ""));
}

TEST(CAShowAudioChannelLayout, TagBitmapAndDescriptions)
{
    EXPECT_EQ(Printed([] { CAShowAudioChannelLayout(stdout, nullptr); }), "\tNULL layout\n");

    AudioChannelLayout bitmap{};
    bitmap.mChannelLayoutTag = kAudioChannelLayoutTag_UseChannelBitmap;
    bitmap.mChannelBitmap = 0x3;
    EXPECT_EQ(Printed([&] { CAShowAudioChannelLayout(stdout, &bitmap); }),
              "\tTag=0x10000, Using Bitmap:0x3\n");

    AudioChannelLayout described{};
    described.mNumberChannelDescriptions = 1;
    described.mChannelDescriptions[0] =
        AudioChannelDescription{kAudioChannelLabel_Unknown, 2, {30.0f, -15.5f, 1.0f}};
    EXPECT_EQ(Printed([&] { CAShowAudioChannelLayout(stdout, &described); }),
              "\tTag=0x0, Num Chan Descs=1\n"
              "\t\tLabel=-1, Flags=0x2, [az=30.000000,el=-15.500000,dist=1.000000]\n");

    AudioChannelLayout tagged{};
    tagged.mChannelLayoutTag = kAudioChannelLayoutTag_Stereo;
    EXPECT_EQ(Printed([&] { CAShowAudioChannelLayout(stdout, &tagged); }),
              "\tTag=0x650002, Num Chan Descs=0\n");
}

TEST(CrashIfClientProvidedBogusAudioBufferList, FlagsNullBuffersWhateverNullOKSays)
{
    UInt32 words[3] = {2, 0, 4};
    TwoBufferList list{};
    list.mNumberBuffers = 2;
    list.mBuffers[0] = AudioBuffer{1, sizeof(words), words};
    list.mBuffers[1] = AudioBuffer{1, 64, nullptr};
    EXPECT_EQ(CrashIfClientProvidedBogusAudioBufferList(&list.List(), true), 1 | 6);
    EXPECT_EQ(CrashIfClientProvidedBogusAudioBufferList(&list.List(), false), 1 | 6);

    list.mNumberBuffers = 1;
    EXPECT_EQ(CrashIfClientProvidedBogusAudioBufferList(&list.List(), false), 6);
}

TEST(CrashIfClientProvidedBogusAudioBufferList, ReadsOnlyWholeWordsInsideEachBuffer)
{
    std::unique_ptr<Byte[]> seven(new Byte[7]{8, 0, 0, 0, 0xFF, 0xFF, 0xFF});
    std::unique_ptr<Byte[]> three(new Byte[3]{0xFF, 0xFF, 0xFF});
    TwoBufferList list{};
    list.mNumberBuffers = 2;
    list.mBuffers[0] = AudioBuffer{1, 7, seven.get()};
    list.mBuffers[1] = AudioBuffer{1, 3, three.get()};
    EXPECT_EQ(CrashIfClientProvidedBogusAudioBufferList(&list.List(), false), 16);
}
