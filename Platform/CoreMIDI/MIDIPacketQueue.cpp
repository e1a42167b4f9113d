#include "MIDIPacketQueue.h"

#include <algorithm>
#include <cstring>

MIDIPacketQueue::MIDIPacketQueue(UInt32 capacity)
    : mCapacity(capacity), mSlots(new MIDIQueuedPacket[capacity])
{
    for (UInt32 index = capacity; index-- > 0;)
        PushFree(index);
}

UInt32 MIDIPacketQueue::PopFree()
{
    UInt64 head = mFreeHead.load(std::memory_order_acquire);
    while (true) {
        const UInt32 link = UInt32(head);
        if (link == 0)
            return kNone;
        const UInt64 next = mSlots[link - 1].mNext.load(std::memory_order_relaxed);
        const UInt64 replacement = ((head >> 32) + 1) << 32 | next;
        if (mFreeHead.compare_exchange_weak(head, replacement, std::memory_order_acquire,
                                            std::memory_order_acquire))
            return link - 1;
    }
}

void MIDIPacketQueue::PushFree(UInt32 index)
{
    UInt64 head = mFreeHead.load(std::memory_order_relaxed);
    UInt64 replacement = 0;
    do {
        mSlots[index].mNext.store(UInt32(head), std::memory_order_relaxed);
        replacement = ((head >> 32) + 1) << 32 | (index + 1);
    } while (!mFreeHead.compare_exchange_weak(head, replacement, std::memory_order_release,
                                              std::memory_order_relaxed));
}

bool DueBefore(const MIDIScheduledPacket& a, const MIDIScheduledPacket& b)
{
    if (a.mDue != b.mDue)
        return a.mDue < b.mDue;
    // Stamps that a destination's shift puts before the clock began all fall due at 0; they still
    // go in stamp order.
    if (a.mStamp != b.mStamp)
        return a.mStamp < b.mStamp;
    return a.mSequence < b.mSequence;
}

bool MIDIPacketQueue::Submit(MIDIEndpointRef destination, const MIDIPacketList& list,
                             const MIDISendTiming& timing, MIDITimeStamp& earliestStamp)
{
    earliestStamp = ~MIDITimeStamp(0);
    if (list.numPackets == 0)
        return true;
    if (list.numPackets > mCapacity)
        return false;
    const UInt64 firstSequence =
        mNextSequence.fetch_add(list.numPackets, std::memory_order_relaxed);

    UInt32 first = kNone, last = kNone;
    const MIDIPacket* packet = &list.packet[0];
    for (UInt32 n = 0; n < list.numPackets; ++n, packet = MIDIPacketNext(packet)) {
        const UInt32 index = packet->length <= sizeof(MIDIPacket::data) ? PopFree() : kNone;
        if (index == kNone) {
            for (UInt32 link = first; link != kNone;) {
                const UInt32 next = link == last ? kNone : mSlots[link].mNext.load() - 1;
                PushFree(link);
                link = next;
            }
            return false;
        }
        MIDIQueuedPacket& slot = mSlots[index];
        slot.mStamp = packet->timeStamp;
        earliestStamp = std::min(earliestStamp, slot.mStamp);
        slot.mTiming = timing;
        slot.mSequence = firstSequence + n;
        slot.mDestination = destination;
        slot.mLength = packet->length;
        std::memcpy(slot.mData, packet->data, packet->length);
        if (first == kNone)
            first = index;
        else
            mSlots[last].mNext.store(index + 1, std::memory_order_relaxed);
        last = index;
    }

    UInt32 head = mSubmittedHead.load(std::memory_order_relaxed);
    do {
        mSlots[last].mNext.store(head, std::memory_order_relaxed);
    } while (!mSubmittedHead.compare_exchange_weak(head, first + 1, std::memory_order_seq_cst,
                                                   std::memory_order_relaxed));
    return true;
}
