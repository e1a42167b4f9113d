#include "CAShowAudioBufferList.h"

#include "CAStreamBasicDescription.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

UInt32 ReadUnsigned(const Byte* sample, int size, bool bigEndian)
{
    UInt32 value = 0;
    for (int i = 0; i < size; ++i) {
        const Byte byte = bigEndian ? sample[i] : sample[size - 1 - i];
        value = (value << 8) | byte;
    }
    return value;
}

Float32 ReadFloat32(const Byte* sample, bool nativeOrder)
{
    Byte bytes[4];
    for (int i = 0; i < 4; ++i) {
        bytes[i] = nativeOrder ? sample[i] : sample[3 - i];
    }
    Float32 value;
    std::memcpy(&value, bytes, sizeof(value));
    return value;
}

// The bytes one sample of a word code takes; 0 for codes that print nothing.
int SampleBytes(int wordCode)
{
    switch (wordCode) {
    case 0:
    case 10:
    case -10:
        return 4;
    case 1:
    case 2:
    case 3:
    case 4:
    case -1:
    case -2:
    case -3:
    case -4:
        return std::abs(wordCode);
    default:
        return 0;
    }
}

void PrintSample(const Byte* sample, int wordCode)
{
    const bool bigEndian = wordCode > 0;
    switch (wordCode) {
    case 0:
        printf(" %6.3f", ReadFloat32(sample, true));
        break;
    case 10:
    case -10:
        printf(" %6.3f", ReadFloat32(sample, !bigEndian));
        break;
    case 1:
    case -1:
        printf(" %02X", sample[0]);
        break;
    case 2:
    case -2:
        printf(" %04X", ReadUnsigned(sample, 2, bigEndian));
        break;
    case 3:
    case -3:
        printf(" %06X", ReadUnsigned(sample, 3, bigEndian));
        break;
    case 4:
    case -4:
        printf(" %08X", ReadUnsigned(sample, 4, bigEndian));
        break;
    }
}

void PrintBufferList(const AudioBufferList& list, int framesToPrint, int wordCode, const char* note,
                     const char* label)
{
    printf("%s %p (%d fr%s):\n", label != nullptr ? label : "AudioBufferList",
           static_cast<const void*>(&list), framesToPrint, note != nullptr ? note : "");
    const int sampleBytes = SampleBytes(wordCode);
    const AudioBuffer* buffers = list.mBuffers;
    for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
        const AudioBuffer& buffer = buffers[i];
        printf("    [%2d] %5dbytes %dch @ %p", static_cast<int>(i),
               static_cast<int>(buffer.mDataByteSize), static_cast<int>(buffer.mNumberChannels),
               buffer.mData);
        if (framesToPrint != 0 && buffer.mData != nullptr) {
            printf(":");
            const Byte* data = static_cast<const Byte*>(buffer.mData);
            const int64_t wanted =
                framesToPrint > 0 ? int64_t{framesToPrint} * buffer.mNumberChannels : 0;
            const int64_t available = sampleBytes > 0 ? buffer.mDataByteSize / sampleBytes : 0;
            const int64_t count = wanted < available ? wanted : available;
            for (int64_t s = 0; s < count; ++s) {
                PrintSample(data + s * sampleBytes, wordCode);
            }
        }
        printf("\n");
    }
}

} // namespace

void CAShowAudioBufferList(const AudioBufferList& list, int framesToPrint, int wordSize,
                           const char* label)
{
    PrintBufferList(list, framesToPrint, wordSize, nullptr, label);
}

void CAShowAudioBufferList(const AudioBufferList& list, int framesToPrint,
                           const AudioStreamBasicDescription& format, const char* label)
{
    const CAStreamBasicDescription desc(format);
    int wordCode = 1;
    char note[80] = "";
    const bool bigEndian = (desc.mFormatFlags & kAudioFormatFlagIsBigEndian) != 0;
    if (desc.mFormatID == kAudioFormatLinearPCM) {
        if ((desc.mFormatFlags & kAudioFormatFlagIsFloat) == 0) {
            wordCode = static_cast<int>(desc.SampleWordSize());
            if (wordCode > 0) {
                const UInt32 fraction =
                    (desc.mFormatFlags & kLinearPCMFormatFlagsSampleFractionMask) >>
                    kLinearPCMFormatFlagsSampleFractionShift;
                const int bits = static_cast<int>(desc.mBitsPerChannel);
                if (fraction > 0) {
                    snprintf(note, sizeof(note), ", %d.%d-bit", bits - static_cast<int>(fraction),
                             static_cast<int>(fraction));
                } else {
                    snprintf(note, sizeof(note), ", %d-bit", bits);
                }
                if (bigEndian) {
                    strncat(note, " BEI", sizeof(note) - strlen(note) - 1);
                } else {
                    wordCode = -wordCode;
                    strncat(note, " LEI", sizeof(note) - strlen(note) - 1);
                }
            }
        } else if (desc.mBitsPerChannel == 32) {
            wordCode = bigEndian ? 10 : -10;
            snprintf(note, sizeof(note), "%s", bigEndian ? ", BEF" : ", LEF");
        }
    }
    PrintBufferList(list, framesToPrint, wordCode, note, label);
}

void CAShowAudioBufferList(const AudioBufferList* list, int framesToPrint, int wordSize)
{
    PrintBufferList(*list, framesToPrint, wordSize, nullptr, nullptr);
}
