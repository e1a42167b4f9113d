#include "AUBuffer.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr UInt32 kStreamAlignment = 16;

UInt32 HeaderSize(UInt32 streams)
{
    return SafeMultiplyAddUInt32(streams, sizeof(AudioBuffer), offsetof(AudioBufferList, mBuffers));
}

UInt64 RoundUpToAlignment(UInt64 bytes)
{
    return (bytes + kStreamAlignment - 1) & ~UInt64(kStreamAlignment - 1);
}

[[noreturn]] void ThrowTooManyFrames()
{
    fprintf(stderr, "kAudioUnitErr_TooManyFramesToProcess\n");
    throw static_cast<int>(kAudioUnitErr_TooManyFramesToProcess);
}

void CheckStreams(const CAStreamBasicDescription& format, UInt32 allocatedStreams)
{
    if (format.NumberChannelStreams() > allocatedStreams) {
        fprintf(stderr, "kAudioUnitErr_FormatNotSupported\n");
        throw static_cast<int>(kAudioUnitErr_FormatNotSupported);
    }
}

} // namespace

UInt32 SafeMultiplyAddUInt32(UInt32 a, UInt32 b, UInt32 c)
{
    if (a == 0 || b == 0)
        return c;
    const UInt64 result = UInt64(a) * b + c;
    if (result > std::numeric_limits<UInt32>::max())
        throw std::bad_alloc();
    return static_cast<UInt32>(result);
}

void* CA_realloc(void* old, size_t size)
{
    void* resized = std::realloc(old, size);
    if (resized == nullptr && size != 0) {
        std::free(old);
        throw std::bad_alloc();
    }
    return resized;
}

AUBufferList::~AUBufferList()
{
    Deallocate();
    std::free(mOwnPtrs);
}

UInt32 AUBufferList::Stride(const CAStreamBasicDescription& format, UInt32 frames)
{
    const UInt64 stride = RoundUpToAlignment(UInt64(frames) * format.mBytesPerFrame);
    if (stride > std::numeric_limits<UInt32>::max())
        throw std::bad_alloc();
    return static_cast<UInt32>(stride);
}

void AUBufferList::EnsureStreams(UInt32 streams)
{
    // A header always exists once allocation has run, even for a format without streams, so
    // that preparing it never writes through a null header.
    if (mOwnPtrs != nullptr && streams <= mAllocatedStreams)
        return;
    const UInt32 size = HeaderSize(streams);
    AudioBufferList* old = mOwnPtrs;
    mOwnPtrs = nullptr;
    InvalidateBufferList();
    mAllocatedStreams = 0;
    mOwnPtrs = static_cast<AudioBufferList*>(CA_realloc(old, size));
    mPtrs = mOwnPtrs;
    mAllocatedStreams = streams;
}

void AUBufferList::Allocate(const CAStreamBasicDescription& format, UInt32 frames)
{
    const UInt32 streams = format.NumberChannelStreams();
    EnsureStreams(streams);

    const UInt32 needed = SafeMultiplyAddUInt32(streams, Stride(format, frames), 0);
    if (needed > mAllocatedBytes) {
        if (mExternalMemory) {
            mExternalMemory = false;
            mMemory = nullptr;
        }
        // The free-on-failure growth leaves no block behind when it throws.
        Byte* old = mMemory;
        mMemory = nullptr;
        mAllocatedBytes = 0;
        mAllocatedFrames = 0;
        mMemory = static_cast<Byte*>(CA_realloc(old, needed));
        mAllocatedBytes = needed;
    }
    mAllocatedFrames = frames;
    InvalidateBufferList();
}

void AUBufferList::ReleaseMemory()
{
    if (mMemory != nullptr && !mExternalMemory)
        std::free(mMemory);
    mMemory = nullptr;
    mExternalMemory = false;
}

void AUBufferList::Deallocate()
{
    mAllocatedStreams = 0;
    mAllocatedFrames = 0;
    mAllocatedBytes = 0;
    ReleaseMemory();
    InvalidateBufferList();
}

void AUBufferList::FillHeader(const CAStreamBasicDescription& format, UInt32 frames, Byte* base,
                              UInt32 stride)
{
    const UInt32 streams = format.NumberChannelStreams();
    const UInt32 byteSize = frames * format.mBytesPerFrame;
    mPtrs = mOwnPtrs;
    mPtrs->mNumberBuffers = streams;
    for (UInt32 i = 0; i < streams; ++i) {
        AudioBuffer& buffer = mPtrs->mBuffers[i];
        buffer.mNumberChannels = format.NumberInterleavedChannels();
        buffer.mData = base != nullptr ? base + size_t(i) * stride : nullptr;
        buffer.mDataByteSize = byteSize;
    }
}

AudioBufferList& AUBufferList::PrepareBuffer(const CAStreamBasicDescription& format, UInt32 frames)
{
    if (frames > mAllocatedFrames)
        ThrowTooManyFrames();
    CheckStreams(format, mAllocatedStreams);
    if (mOwnPtrs == nullptr)
        ThrowTooManyFrames(); // never allocated: there is no room for any frame
    const UInt64 stride = RoundUpToAlignment(UInt64(mAllocatedFrames) * format.mBytesPerFrame);
    if (UInt64(format.NumberChannelStreams()) * stride > mAllocatedBytes)
        ThrowTooManyFrames();
    FillHeader(format, frames, mMemory, static_cast<UInt32>(stride));
    mPtrState = kPtrsToMyMemory;
    return *mPtrs;
}

AudioBufferList& AUBufferList::PrepareNullBuffer(const CAStreamBasicDescription& format,
                                                 UInt32 frames)
{
    CheckStreams(format, mAllocatedStreams);
    if (mOwnPtrs == nullptr) {
        fprintf(stderr, "kAudioUnitErr_FormatNotSupported\n");
        throw static_cast<int>(kAudioUnitErr_FormatNotSupported);
    }
    FillHeader(format, frames, nullptr, 0);
    mPtrState = kPtrsToExternalMemory;
    return *mPtrs;
}

void AUBufferList::ThrowListError()
{
    throw -1;
}

void AUBufferList::CopyBufferListTo(AudioBufferList& list) const
{
    if (mPtrState == kPtrsInvalid)
        ThrowListError();
    if (mPtrs == &list)
        return; // the borrowed list itself
    // Only as many descriptors as we hold: the rest of a longer list keeps what it had.
    const UInt32 count = std::min(list.mNumberBuffers, mPtrs->mNumberBuffers);
    std::memcpy(list.mBuffers, mPtrs->mBuffers, size_t(count) * sizeof(AudioBuffer));
}

void AUBufferList::CopyContentsInto(AudioBufferList& list) const
{
    if (mPtrState == kPtrsInvalid)
        ThrowListError();
    if (mPtrs->mNumberBuffers == 0)
        return;
    for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
        const AudioBuffer& source = mPtrs->mBuffers[std::min(i, mPtrs->mNumberBuffers - 1)];
        AudioBuffer& destination = list.mBuffers[i];
        if (destination.mData == source.mData) {
            destination.mDataByteSize = source.mDataByteSize;
            continue;
        }
        // A caller's buffer takes no more than it holds; one without memory takes nothing.
        const UInt32 bytes = destination.mData != nullptr && source.mData != nullptr
                                 ? std::min(source.mDataByteSize, destination.mDataByteSize)
                                 : 0;
        if (bytes != 0)
            std::memmove(destination.mData, source.mData, bytes);
        destination.mDataByteSize = bytes;
    }
}

void AUBufferList::UseExternalBuffer(const CAStreamBasicDescription& format,
                                     const AudioUnitExternalBuffer& buffer)
{
    const UInt32 usable = buffer.size & ~(kStreamAlignment - 1);
    const UInt32 streams = format.NumberChannelStreams();
    // A format without streams or without bytes per frame holds no frames in any block.
    if (mMemory == nullptr || usable < mAllocatedBytes || streams == 0 ||
        format.mBytesPerFrame == 0)
        return;
    ReleaseMemory();
    mMemory = buffer.buffer;
    mExternalMemory = true;
    mAllocatedBytes = usable;
    // Each stream starts on an aligned boundary, so the frames are those that fit one aligned
    // stride: then preparing that many frames never overruns the lent block.
    const UInt32 stride = (usable / streams) & ~(kStreamAlignment - 1);
    mAllocatedFrames = stride / format.mBytesPerFrame;
    InvalidateBufferList();
}
