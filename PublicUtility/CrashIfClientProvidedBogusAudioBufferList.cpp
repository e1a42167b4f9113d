#include "CrashIfClientProvidedBogusAudioBufferList.h"

#include <cstring>

namespace {

UInt32 ReadWord(const Byte* data, UInt32 index)
{
    UInt32 word;
    std::memcpy(&word, data + index * sizeof(UInt32), sizeof(word));
    return word;
}

} // namespace

int CrashIfClientProvidedBogusAudioBufferList(const AudioBufferList* list, bool nullOK)
{
    const AudioBuffer* buffers = list->mBuffers;
    UInt32 sum = 0;
    int sawNull = 0;
    for (UInt32 i = 0; i < list->mNumberBuffers; ++i) {
        const AudioBuffer& buffer = buffers[i];
        if (buffer.mData == nullptr) {
            sawNull = 1;
            if (nullOK) {
                continue;
            }
        }
        if (buffer.mData != nullptr && buffer.mDataByteSize >= sizeof(UInt32)) {
            const Byte* data = static_cast<const Byte*>(buffer.mData);
            sum += ReadWord(data, 0) + ReadWord(data, buffer.mDataByteSize / sizeof(UInt32) - 1);
        }
    }
    return sawNull | static_cast<int>(sum & ~1U);
}
