// A buffer list that can own one block of sample memory shared out among its buffers, or point
// its buffers at memory owned elsewhere, with the byte accounting of producers and consumers.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>
#include <memory>

class CAStreamBasicDescription;

class CABufferList {
public:
    struct Deleter {
        void operator()(CABufferList* list) const { delete list; }
    };
    using Ptr = std::unique_ptr<CABufferList, Deleter>;

    // A list of numberBuffers empty buffers (no data, size 0) of channelsPerBuffer channels.
    // [host-thread]
    static Ptr New(const char* name, UInt32 numberBuffers, UInt32 channelsPerBuffer);
    // A list shaped for the format: one buffer per channel stream.
    // [host-thread]
    static Ptr New(const char* name, const CAStreamBasicDescription& format);

    ~CABufferList();
    CABufferList(const CABufferList&) = delete;
    CABufferList& operator=(const CABufferList&) = delete;
    void operator delete(void* memory) { ::operator delete(memory); }

    // Gives every buffer nBytes of owned, zeroed memory, keeping what the buffers held; does
    // nothing when buffer 0 already holds nBytes.
    // [host-thread]
    void AllocateBuffers(UInt32 nBytes);
    // Grows like AllocateBuffers while moving the source's bytes in, points setPointers at them
    // and consumes them from the source (when it is not setPointers itself).
    // [host-thread]
    void AllocateBuffersAndCopyFrom(UInt32 nBytes, CABufferList* source, CABufferList* setPointers);
    // [host-thread]
    void DeallocateBuffers();
    // Moves the source's bytes into this list's buffers (as many as they hold), points
    // setPointers at them and consumes them from the source (when it is not setPointers).
    // [any-thread]
    void CopyAllFrom(CABufferList* source, CABufferList* setPointers);
    // Advances every buffer past nBytes; a buffer holding fewer is reported and emptied.
    // [any-thread]
    void BytesConsumed(UInt32 nBytes);
    // Reports when this list owns memory that re-pointing its buffers would lose.
    // [any-thread]
    void VerifyNotTrashingOwnedBuffer();

    // [any-thread]
    UInt32 GetNumBytes() const { return mList.mBuffers[0].mDataByteSize; }
    // [any-thread]
    UInt32 GetNumberBuffers() const { return mList.mNumberBuffers; }
    // [any-thread]
    const char* GetName() const { return mName; }
    // [any-thread]
    bool OwnsMemory() const { return mBufferMemory != nullptr; }
    // [any-thread]
    const AudioBufferList& GetBufferList() const { return mList; }
    // For filling the buffers with pointers to memory owned elsewhere.
    // [any-thread]
    AudioBufferList& GetModifiableBufferList() { return mList; }

private:
    CABufferList(const char* name, UInt32 numberBuffers, UInt32 channelsPerBuffer);
    // Room for the object with numberBuffers entries in its buffer array.
    void* operator new(size_t size, UInt32 numberBuffers);
    void operator delete(void* memory, UInt32 numberBuffers);

    AudioBuffer* Buffers() { return mList.mBuffers; }
    static UInt32 OddStride(UInt32 nBytes, UInt32 numberBuffers);
    // Makes block the owned memory and hands back the block owned before, for freeing.
    Byte* InstallBlock(Byte* block, UInt32 bytesPerBuffer);

    const char* mName;
    Byte* mBufferMemory = nullptr;
    UInt32 mBytesPerBuffer = 0;
    AudioBufferList mList; // must stay last: the buffer array runs past the object's end
};
