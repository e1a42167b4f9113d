// The ring that carries events from one producing thread to the render thread without locks:
// the consumer performs items in order and only steps past them; the producer frees performed
// items itself, on its next write, so that whatever an item holds is released off the render
// thread. At most capacity - 1 items wait at once. Several producers must take turns outside.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>

#include <atomic>
#include <memory>

template <class ITEM> class LockFreeFIFOWithFree {
public:
    // Rounds the slot count up to a power of two; the slots are allocated here, once.
    // [host-thread]
    explicit LockFreeFIFOWithFree(UInt32 inMaxSize)
        : mIndexMask(static_cast<SInt32>(RoundUpToPowerOfTwo(inMaxSize)) - 1),
          mSlots(new ITEM[static_cast<size_t>(mIndexMask) + 1])
    {
    }
    LockFreeFIFOWithFree(const LockFreeFIFOWithFree&) = delete;
    LockFreeFIFOWithFree& operator=(const LockFreeFIFOWithFree&) = delete;

    UInt32 Capacity() const { return static_cast<UInt32>(mIndexMask) + 1; }

    // ---- Producer ----
    // Frees what the consumer has performed, then hands out the next slot to fill, or null when
    // the ring is full. [host-thread]
    ITEM* WriteItem()
    {
        FreeItems();
        const SInt32 writePos = mWritePos.load(std::memory_order_relaxed);
        if (Next(writePos) == mFreePos.load(std::memory_order_relaxed))
            return nullptr;
        return &mSlots[writePos];
    }
    // Publishes the filled slot to the consumer. [host-thread]
    void AdvanceWritePtr()
    {
        mWritePos.store(Next(mWritePos.load(std::memory_order_relaxed)), std::memory_order_release);
    }
    // The oldest performed item not yet freed, or null. [host-thread]
    ITEM* FreeItem() { return SlotUpTo(mFreePos, mReadPos); }
    // Frees every performed item (ITEM::Free) and makes its slot writable again. [host-thread]
    void FreeItems()
    {
        for (ITEM* item = FreeItem(); item != nullptr; item = FreeItem()) {
            item->Free();
            mFreePos.store(Next(mFreePos.load(std::memory_order_relaxed)),
                           std::memory_order_relaxed);
        }
    }

    // ---- Consumer ----
    // Whether an item waits to be performed. [render-thread]
    bool HasItems() const
    {
        return mReadPos.load(std::memory_order_relaxed) !=
               mWritePos.load(std::memory_order_acquire);
    }
    // The oldest item waiting to be performed, or null. [render-thread]
    ITEM* ReadItem() { return SlotUpTo(mReadPos, mWritePos); }
    // Hands the item just performed back to the producer. [render-thread]
    void AdvanceReadPtr()
    {
        mReadPos.store(Next(mReadPos.load(std::memory_order_relaxed)), std::memory_order_release);
    }

private:
    static UInt32 RoundUpToPowerOfTwo(UInt32 size)
    {
        UInt32 power = 2;
        while (power < size && power < (1u << 30))
            power <<= 1;
        return power;
    }
    SInt32 Next(SInt32 position) const { return (position + 1) & mIndexMask; }
    // The slot a position of this side stands at, or null when it has caught up with the side
    // ahead of it, whose slots it then sees filled.
    ITEM* SlotUpTo(const std::atomic<SInt32>& position, const std::atomic<SInt32>& ahead)
    {
        const SInt32 at = position.load(std::memory_order_relaxed);
        return at == ahead.load(std::memory_order_acquire) ? nullptr : &mSlots[at];
    }

    std::atomic<SInt32> mReadPos{0};
    std::atomic<SInt32> mWritePos{0};
    std::atomic<SInt32> mFreePos{0};
    const SInt32 mIndexMask;
    std::unique_ptr<ITEM[]> mSlots;
};
