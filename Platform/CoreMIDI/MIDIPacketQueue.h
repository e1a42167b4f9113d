// The hand-off of sent packets from any number of sending threads to the one scheduler thread:
// a pool of packet slots allocated once, a lock-free free list, and a lock-free stack of
// submitted packets that the scheduler takes whole. Sending never allocates, locks or waits.
#pragma once

#include <CoreMIDI/MIDIServices.h>

#include <atomic>
#include <memory>

// What a send fixes for each of its packets: when it happened, and where the destination's delay
// and latency offset (mLateness) and its advance time put delivery against a packet's stamp.
struct MIDISendTiming {
    UInt64 mSent = 0;
    SInt64 mLatenessNanos = 0;
    SInt64 mAdvanceNanos = 0;
};

// One sent packet on its way to its destination.
struct MIDIScheduledPacket {
    MIDITimeStamp mStamp = 0;
    MIDISendTiming mTiming;
    UInt64 mDue = 0;      // host time of delivery, set by the scheduler
    UInt64 mSequence = 0; // send order, across all senders
    MIDIEndpointRef mDestination = 0;
    // Counted as delivered after its due time already, or never to be (a stamp of 0, "now").
    bool mLateAccounted = false;
    UInt16 mLength = 0;
    Byte mData[sizeof(MIDIPacket::data)] = {};
};

// Delivery order: earlier due time first; at equal times, smaller stamp, then earlier send.
bool DueBefore(const MIDIScheduledPacket& a, const MIDIScheduledPacket& b);

struct MIDIQueuedPacket : MIDIScheduledPacket {
    std::atomic<UInt32> mNext{0}; // 1 + index of the next slot in a list, 0 at the end
};

class MIDIPacketQueue {
public:
    static constexpr UInt32 kNone = ~0u;

    explicit MIDIPacketQueue(UInt32 capacity);

    // Submits every packet of the list for the destination, or none of them: false when the
    // pool has too few free slots or a packet is longer than a slot holds. Sets earliestStamp to
    // the smallest stamp of the list. [render-thread]
    bool Submit(MIDIEndpointRef destination, const MIDIPacketList& list,
                const MIDISendTiming& timing, MIDITimeStamp& earliestStamp);
    // Whether submitted packets wait to be taken. [scheduler-thread]
    bool HasSubmitted() const { return mSubmittedHead.load(std::memory_order_seq_cst) != 0; }

    // Takes every submitted packet and calls visit(index) for each, in no particular order.
    // [scheduler-thread]
    template <typename Visit> void TakeSubmitted(Visit visit);
    MIDIQueuedPacket& At(UInt32 index) { return mSlots[index]; }
    // Returns a delivered or dropped slot to the pool. [scheduler-thread]
    void Recycle(UInt32 index) { PushFree(index); }

private:
    UInt32 PopFree();
    void PushFree(UInt32 index);

    const UInt32 mCapacity;
    std::unique_ptr<MIDIQueuedPacket[]> mSlots;
    // Free list head: a change count in the high half against reuse of a popped slot (ABA),
    // 1 + slot index in the low half, 0 when empty.
    std::atomic<UInt64> mFreeHead{0};
    std::atomic<UInt32> mSubmittedHead{0};
    std::atomic<UInt64> mNextSequence{0};
};

template <typename Visit> void MIDIPacketQueue::TakeSubmitted(Visit visit)
{
    UInt32 link = mSubmittedHead.exchange(0, std::memory_order_acquire);
    while (link != 0) {
        const UInt32 index = link - 1;
        link = mSlots[index].mNext.load(std::memory_order_relaxed);
        visit(index);
    }
}
