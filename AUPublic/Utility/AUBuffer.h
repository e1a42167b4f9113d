// The memory one bus's audio passes through during a render call: an owned sample block sized
// for the largest slice, and the buffer-list header handed out for a call: its own, pointing into
// that block or into buffers supplied from outside, or a caller's list borrowed for the call.
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

    // The header as last prepared or borrowed; throws -1 when it was invalidated.
    // [render-thread]
    AudioBufferList& GetBufferList() const
    {
        if (mPtrState == kPtrsInvalid)
            ThrowListError();
        return *mPtrs;
    }
    // Borrows a caller's buffer list for one call: the header handed out is the caller's own,
    // not a copy, so what a render writes through it reaches the caller directly; the next
    // prepare or invalidation puts the own header back, and nothing here ever writes into or
    // frees the borrowed list. Throws -1 for more buffers than allocated. [render-thread]
    AudioBufferList& SetBufferList(AudioBufferList& list)
    {
        if (mOwnPtrs == nullptr || list.mNumberBuffers > mAllocatedStreams)
            ThrowListError();
        mPtrs = &list;
        mPtrState = EveryBufferHasMemory(list) ? kPtrsToCallersMemory : kPtrsToExternalMemory;
        return list;
    }
    // Copies the buffer descriptors into `list`; throws -1 when invalid. [render-thread]
    void CopyBufferListTo(AudioBufferList& list) const;
    // Copies the samples into `list`'s buffers, as much as each holds, repeating the last stream
    // into extra buffers; nothing when `list` is the borrowed header. Throws -1 when invalid.
    // [render-thread]
    void CopyBufferContentsTo(AudioBufferList& list) const
    {
        // The usual end of a render into a caller's buffers: it wrote them in place through the
        // borrowed header, so nothing would move.
        if (mPtrs != &list)
            CopyContentsInto(list);
    }
    // Forgets the header, and any caller's list borrowed. [render-thread]
    void InvalidateBufferList()
    {
        mPtrs = mOwnPtrs;
        mPtrState = kPtrsInvalid;
    }
    // Whether the header is a caller's list whose every buffer has memory, so that a render
    // can write into them in place. [render-thread]
    bool HoldsCallersMemory() const { return mPtrState == kPtrsToCallersMemory; }

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
    enum PtrState {
        kPtrsInvalid = 0,
        kPtrsToMyMemory = 1,
        kPtrsToExternalMemory = 2,
        kPtrsToCallersMemory = 3
    };

    static bool EveryBufferHasMemory(const AudioBufferList& list)
    {
        for (UInt32 i = 0; i < list.mNumberBuffers; ++i)
            if (list.mBuffers[i].mData == nullptr)
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
    // The header handed out: the own one, or a caller's list borrowed for one call.
    AudioBufferList* mPtrs = nullptr;
    AudioBufferList* mOwnPtrs = nullptr;
    Byte* mMemory = nullptr;
    UInt32 mAllocatedStreams = 0;
    UInt32 mAllocatedFrames = 0;
    UInt32 mAllocatedBytes = 0;
};
