// A hand-off of packets from one producing thread to one consuming thread or callback (a MIDI
// backend's, or a destination's read procedure and the thread that reads what it recorded): a
// ring of slots allocated once, with nothing but two atomic counters between the sides, so that
// neither side ever waits, locks or allocates.
#pragma once

#include "MIDIScheduledPacket.h"

#include <atomic>
#include <memory>

class MIDIPacketRing {
public:
    // capacity must be a power of two.
    explicit MIDIPacketRing(UInt32 capacity)
        : mMask(capacity - 1), mSlots(new MIDIScheduledPacket[capacity])
    {
    }

    // False when the ring is full. [single-producer]
    bool Push(const MIDIScheduledPacket& packet)
    {
        const UInt32 write = mWrite.load(std::memory_order_relaxed);
        if (write - mRead.load(std::memory_order_acquire) > mMask)
            return false;
        mSlots[write & mMask] = packet;
        mWrite.store(write + 1, std::memory_order_release);
        return true;
    }

    // False when the ring is empty. [single-consumer]
    bool Pop(MIDIScheduledPacket& packet)
    {
        const UInt32 read = mRead.load(std::memory_order_relaxed);
        if (read == mWrite.load(std::memory_order_acquire))
            return false;
        packet = mSlots[read & mMask];
        mRead.store(read + 1, std::memory_order_release);
        return true;
    }

private:
    const UInt32 mMask;
    std::unique_ptr<MIDIScheduledPacket[]> mSlots;
    alignas(64) std::atomic<UInt32> mWrite{0};
    alignas(64) std::atomic<UInt32> mRead{0};
};
