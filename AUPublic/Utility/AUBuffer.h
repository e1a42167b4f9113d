// The memory one bus's audio passes through during a render call: an owned sample block sized
// for the largest slice, and the buffer-list header handed out for a call, pointing either into
// that block or into buffers supplied from outside.
#pragma once

#include "CAStreamBasicDescription.h"

#include <AudioUnit/AudioUnitProperties.h>
#include <CoreAudio/CoreAudioTypes.h>

// Returns c + a * b; throws std::bad_alloc when the result does not fit in 32 bits. [any-thread]
UInt32 SafeMultiplyAddUInt32(UInt32 a, UInt32 b, UInt32 c);

// Resizes with the C allocator; on failure for a non-zero size the old block is freed and
// std::bad_alloc thrown. [any-thread]
void* CA_realloc(void* old, size_t size);

class AUBufferList {
public:
    AUBufferList() = default;
    ~AUBufferList();
    AUBufferList(const AUBufferList&) = delete;
    AUBufferList& operator=(const AUBufferList&) = delete;

    // Sizes the header for the format's streams and the block for `frames` frames of each;
    // memory only grows. [host-thread]
    void Allocate(const CAStreamBasicDescription& format, UInt32 frames);
    // Frees the sample memory (the header stays). [host-thread]
    void Deallocate();

    // Points the header into the own block for `frames` frames; throws -10874 or -10868.
    // [render-thread]
    AudioBufferList& PrepareBuffer(const CAStreamBasicDescription& format, UInt32 frames);
    // A header with null data pointers, for a source that supplies its own memory.
    // [render-thread]
    AudioBufferList& PrepareNullBuffer(const CAStreamBasicDescription& format, UInt32 frames);

    // The header as last prepared or set; throws -1 when it was invalidated. [render-thread]
    AudioBufferList& GetBufferList() const
    {
        if (mPtrState == kPtrsInvalid)
            ThrowListError();
        return *mPtrs;
    }
    // Takes a caller's buffer descriptors (not the samples); throws -1 for more buffers than
    // allocated. [render-thread]
    AudioBufferList& SetBufferList(const AudioBufferList& list)
    {
        if (mPtrs == nullptr || list.mNumberBuffers > mAllocatedStreams)
            ThrowListError();
        // Field by field: the caller has just written these descriptors, and a block copy's
        // wide loads, spanning several of its narrow stores, would stall until they retire.
        mPtrs->mNumberBuffers = list.mNumberBuffers;
        for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
            const AudioBuffer& from = list.mBuffers[i];
            AudioBuffer& to = mPtrs->mBuffers[i];
            to.mNumberChannels = from.mNumberChannels;
            to.mDataByteSize = from.mDataByteSize;
            to.mData = from.mData;
        }
        mPtrState = kPtrsToExternalMemory;
        return *mPtrs;
    }
    // Copies the buffer descriptors into `list`; throws -1 when invalid. [render-thread]
    void CopyBufferListTo(AudioBufferList& list) const;
    // Copies the samples into `list`'s buffers, as much as each holds, repeating the last stream
    // into extra buffers; throws -1 when invalid. [render-thread]
    void CopyBufferContentsTo(AudioBufferList& list) const
    {
        // The usual end of a render into a caller's buffers: it wrote them in place, and the
        // header still describes them exactly, so nothing would move.
        if (!DescribesExactly(list))
            CopyContentsInto(list);
    }
    // [render-thread]
    void InvalidateBufferList() { mPtrState = kPtrsInvalid; }
    // Whether the header holds a caller's buffers and every one of them has memory, so that a
    // render can write into them in place. [render-thread]
    bool HoldsCallersMemory() const
    {
        if (mPtrState != kPtrsToExternalMemory)
            return false;
        for (UInt32 i = 0; i < mPtrs->mNumberBuffers; ++i)
            if (mPtrs->mBuffers[i].mData == nullptr)
                return false;
        return true;
    }

    // Adopts memory the host offers when it is at least as large as the current block; the
    // host keeps ownership. [host-thread & initialized]
    void UseExternalBuffer(const CAStreamBasicDescription& format,
                           const AudioUnitExternalBuffer& buffer);

    // For inspection of the allocation. [host-thread]
    UInt32 GetAllocatedFrames() const { return mAllocatedFrames; }
    UInt32 GetAllocatedBytes() const { return mAllocatedBytes; }
    UInt32 GetAllocatedStreams() const { return mAllocatedStreams; }
    bool HasExternalMemory() const { return mExternalMemory; }

private:
    enum PtrState { kPtrsInvalid = 0, kPtrsToMyMemory = 1, kPtrsToExternalMemory = 2 };

    // Whether the (valid) header has `list`'s buffers, each with the same memory and size.
    bool DescribesExactly(const AudioBufferList& list) const
    {
        if (mPtrState == kPtrsInvalid || mPtrs->mNumberBuffers != list.mNumberBuffers)
            return false;
        for (UInt32 i = 0; i < list.mNumberBuffers; ++i)
            if (mPtrs->mBuffers[i].mData != list.mBuffers[i].mData ||
                mPtrs->mBuffers[i].mDataByteSize != list.mBuffers[i].mDataByteSize)
                return false;
        return true;
    }
    void CopyContentsInto(AudioBufferList& list) const;
    // Throws -1, the status of a header used when invalid or given too many buffers.
    [[noreturn]] static void ThrowListError();
    static UInt32 Stride(const CAStreamBasicDescription& format, UInt32 frames);
    void EnsureStreams(UInt32 streams);
    void FillHeader(const CAStreamBasicDescription& format, UInt32 frames, Byte* base,
                    UInt32 stride);
    void ReleaseMemory();

    PtrState mPtrState = kPtrsInvalid;
    bool mExternalMemory = false;
    AudioBufferList* mPtrs = nullptr;
    Byte* mMemory = nullptr;
    UInt32 mAllocatedStreams = 0;
    UInt32 mAllocatedFrames = 0;
    UInt32 mAllocatedBytes = 0;
};
