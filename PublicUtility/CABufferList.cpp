#include "CABufferList.h"

#include "CAStreamBasicDescription.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr int kBytesConsumedAssertLine = 222;
constexpr int kOwnedBufferAssertLine = 314;

// A broken contract is reported and the operation goes on, as callers on the render path
// cannot be stopped.
void ReportFailedAssertion(int line, const char* condition)
{
    fprintf(stderr, "%s:%d: error: failed assertion: %s\n", "PublicUtility/CABufferList", line,
            condition);
}

} // namespace

void* CABufferList::operator new(size_t size, UInt32 numberBuffers)
{
    const size_t extraBuffers = numberBuffers > 1 ? numberBuffers - 1 : 0;
    return ::operator new(size + extraBuffers * sizeof(AudioBuffer));
}

void CABufferList::operator delete(void* memory, UInt32)
{
    ::operator delete(memory);
}

CABufferList::Ptr CABufferList::New(const char* name, UInt32 numberBuffers,
                                    UInt32 channelsPerBuffer)
{
    return Ptr(new (numberBuffers) CABufferList(name, numberBuffers, channelsPerBuffer));
}

CABufferList::Ptr CABufferList::New(const char* name, const CAStreamBasicDescription& format)
{
    return New(name, format.NumberChannelStreams(), format.NumberInterleavedChannels());
}

CABufferList::CABufferList(const char* name, UInt32 numberBuffers, UInt32 channelsPerBuffer)
    : mName(name)
{
    mList.mNumberBuffers = numberBuffers;
    AudioBuffer* buffers = Buffers();
    buffers[0] = AudioBuffer{0, 0, nullptr};
    for (UInt32 i = 0; i < numberBuffers; ++i) {
        buffers[i] = AudioBuffer{channelsPerBuffer, 0, nullptr};
    }
}

CABufferList::~CABufferList()
{
    delete[] mBufferMemory;
}

// Several buffers get a stride that is an odd multiple of 16 bytes, so that their starts do
// not all fall on the same cache sets.
UInt32 CABufferList::OddStride(UInt32 nBytes, UInt32 numberBuffers)
{
    if (numberBuffers <= 1) {
        return nBytes;
    }
    if (nBytes > UINT32_MAX - 15) {
        throw std::bad_alloc();
    }
    return ((nBytes + 15) & ~15U) | 16U;
}

Byte* CABufferList::InstallBlock(Byte* block, UInt32 bytesPerBuffer)
{
    Byte* previous = mBufferMemory;
    mBufferMemory = block;
    mBytesPerBuffer = bytesPerBuffer;
    return previous;
}

void CABufferList::AllocateBuffers(UInt32 nBytes)
{
    if (nBytes <= GetNumBytes()) {
        return;
    }
    const UInt32 numberBuffers = mList.mNumberBuffers;
    nBytes = OddStride(nBytes, numberBuffers);
    Byte* block = new Byte[static_cast<size_t>(nBytes) * numberBuffers]();
    AudioBuffer* buffers = Buffers();
    for (UInt32 i = 0; i < numberBuffers; ++i) {
        Byte* slice = block + static_cast<size_t>(i) * nBytes;
        AudioBuffer& buffer = buffers[i];
        if (buffer.mData != nullptr && buffer.mDataByteSize != 0) {
            std::memcpy(slice, buffer.mData, std::min(buffer.mDataByteSize, nBytes));
        }
        buffer.mDataByteSize = nBytes;
        buffer.mData = slice;
    }
    delete[] InstallBlock(block, nBytes);
}

void CABufferList::AllocateBuffersAndCopyFrom(UInt32 nBytes, CABufferList* source,
                                              CABufferList* setPointers)
{
    const UInt32 numberBuffers = mList.mNumberBuffers;
    if (source->mList.mNumberBuffers != numberBuffers ||
        setPointers->mList.mNumberBuffers != numberBuffers) {
        return;
    }
    if (nBytes <= GetNumBytes()) {
        CopyAllFrom(source, setPointers);
        return;
    }
    setPointers->VerifyNotTrashingOwnedBuffer();
    const UInt32 fromByteSize = source->GetNumBytes();
    nBytes = OddStride(nBytes, numberBuffers);
    Byte* block = new Byte[static_cast<size_t>(nBytes) * numberBuffers]();
    for (UInt32 i = 0; i < numberBuffers; ++i) {
        Byte* slice = block + static_cast<size_t>(i) * nBytes;
        const AudioBuffer from = source->Buffers()[i];
        const UInt32 moved = std::min(from.mDataByteSize, nBytes);
        if (from.mData != nullptr && moved != 0) {
            std::memmove(slice, from.mData, moved);
        }
        Buffers()[i].mDataByteSize = nBytes;
        Buffers()[i].mData = slice;
        setPointers->Buffers()[i].mDataByteSize = moved;
        setPointers->Buffers()[i].mData = slice;
    }
    Byte* previous = InstallBlock(block, nBytes);
    if (source != setPointers) {
        source->BytesConsumed(std::min(fromByteSize, nBytes));
    }
    delete[] previous;
}

void CABufferList::CopyAllFrom(CABufferList* source, CABufferList* setPointers)
{
    setPointers->VerifyNotTrashingOwnedBuffer();
    const UInt32 fromByteSize = source->GetNumBytes();
    const AudioBuffer& firstDestination = Buffers()[0];
    const UInt32 consumed = firstDestination.mData != nullptr
                                ? std::min(fromByteSize, firstDestination.mDataByteSize)
                                : 0;
    const UInt32 numberBuffers = std::min(
        {mList.mNumberBuffers, source->mList.mNumberBuffers, setPointers->mList.mNumberBuffers});
    for (UInt32 i = 0; i < numberBuffers; ++i) {
        const AudioBuffer from = source->Buffers()[i];
        const AudioBuffer to = Buffers()[i];
        const UInt32 fitting =
            to.mData != nullptr ? std::min(from.mDataByteSize, to.mDataByteSize) : 0;
        if (from.mData != nullptr && fitting != 0) {
            std::memmove(to.mData, from.mData, fitting);
        }
        setPointers->Buffers()[i].mData = to.mData;
        setPointers->Buffers()[i].mDataByteSize = fitting;
    }
    if (source != setPointers) {
        source->BytesConsumed(consumed);
    }
}

void CABufferList::DeallocateBuffers()
{
    AudioBuffer* buffers = Buffers();
    for (UInt32 i = 0; i < mList.mNumberBuffers; ++i) {
        buffers[i].mData = nullptr;
        buffers[i].mDataByteSize = 0;
    }
    delete[] InstallBlock(nullptr, 0);
}

void CABufferList::BytesConsumed(UInt32 nBytes)
{
    VerifyNotTrashingOwnedBuffer();
    AudioBuffer* buffers = Buffers();
    for (UInt32 i = 0; i < mList.mNumberBuffers; ++i) {
        AudioBuffer& buffer = buffers[i];
        UInt32 advance = nBytes;
        if (buffer.mDataByteSize < nBytes) {
            ReportFailedAssertion(kBytesConsumedAssertLine, "nBytes <= buf->mDataByteSize");
            advance = buffer.mDataByteSize;
        }
        if (buffer.mData != nullptr) {
            buffer.mData = static_cast<Byte*>(buffer.mData) + advance;
        }
        buffer.mDataByteSize -= advance;
    }
}

void CABufferList::VerifyNotTrashingOwnedBuffer()
{
    if (mBufferMemory != nullptr) {
        ReportFailedAssertion(kOwnedBufferAssertLine, "mBufferMemory == NULL");
    }
}
