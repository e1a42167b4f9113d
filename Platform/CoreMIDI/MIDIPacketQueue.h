// The hand-off of sent packets from any number of sending threads to one consumer (a scheduler
// thread, or a backend's own callback): a pool of packet slots, a lock-free free list, and a
// lock-free stack of submitted packets that the consumer takes whole. Sending never allocates,
// locks or waits; the pool grows on the grower's thread, in chunks that stay until the queue
// ends, once a quarter of it is in use.
#pragma once

#include "MIDIMessageSplitter.h"
#include "MIDIPacketSink.h"
#include "MIDIScheduledPacket.h"

#include <CoreMIDI/MIDIServices.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

class MIDIPoolGrower;

// The timing of a send to the destination now, whose packets the backend delays by delayMicros.
// Reads the record through its atomics only, as a disposal may be reusing it. [render-thread]
MIDISendTiming SendTimingOf(const MIDIObjectRecord& record, UInt32 delayMicros);

// The messages of a packet (what is left of it, once partly delivered): counted by whoever
// delivers, drops or discards it, never at the send, which they would slow down.
inline UInt16 MessagesOf(const MIDIScheduledPacket& packet)
{
    return CountMessages(packet.mData, packet.mLength);
}

// Delivery order: earlier due time first; at equal times, smaller stamp, then earlier send.
bool DueBefore(const MIDIScheduledPacket& a, const MIDIScheduledPacket& b);

struct MIDIQueuedPacket : MIDIScheduledPacket {
    std::atomic<UInt32> mNext{0}; // 1 + index of the next slot in a list, 0 at the end
};

// What a submission found out for its caller.
struct MIDISubmission {
    UInt64 mEarliestDue = ~UInt64(0);
    UInt32 mLateAtSend = 0; // packets that the destination's shifts put before their send
};

class MIDIPacketQueue {
public:
    static constexpr UInt32 kNone = ~0u;
    static constexpr UInt32 kChunkSlots = 4096;

    // Starts with initialSlots (rounded up to whole chunks) and grows up to maxSlots through the
    // grower, if any.
    MIDIPacketQueue(UInt32 initialSlots, UInt32 maxSlots, MIDIPoolGrower* grower);
    ~MIDIPacketQueue();
    MIDIPacketQueue(const MIDIPacketQueue&) = delete;
    MIDIPacketQueue& operator=(const MIDIPacketQueue&) = delete;

    // Submits every packet of the list for the destination, or none of them, each due at its
    // stamp moved as timing says. [render-thread]
    MIDISubmitResult Submit(MIDIEndpointRef destination, UInt32 presence,
                            const MIDIPacketList& list, const MIDISendTiming& timing,
                            MIDISubmission& submission);
    // Whether submitted packets wait to be taken. [single-consumer]
    bool HasSubmitted() const { return mSubmittedHead.load(std::memory_order_seq_cst) != 0; }

    // Takes every submitted packet and calls visit(index) for each, in no particular order.
    // [single-consumer]
    template <typename Visit> void TakeSubmitted(Visit visit);
    MIDIQueuedPacket& At(UInt32 index)
    {
        return mChunks[index / kChunkSlots].load(std::memory_order_acquire)[index % kChunkSlots];
    }
    // Returns a delivered or dropped slot to the pool. [single-consumer]
    void Recycle(UInt32 index)
    {
        PushBack(index);
        mFreeSlots.fetch_add(1, std::memory_order_relaxed);
    }

    UInt32 Capacity() const { return mCapacity.load(); }
    UInt32 MaxCapacity() const { return mMaxCapacity; }
    // Adds chunks while a quarter of the pool or more is in use, up to the largest size.
    // [pool-grower-thread]
    void GrowWhileLow();

private:
    UInt32 PopFree();
    // Gives back a slot popped by a submission that then failed, which never counted it.
    void PushBack(UInt32 index);
    bool AddChunk();
    // Wakes the grower once a quarter of the pool is in use. [render-thread]
    void AskForRoomIfLow();

    const UInt32 mMaxCapacity;
    MIDIPoolGrower* const mGrower;
    std::unique_ptr<std::atomic<MIDIQueuedPacket*>[]> mChunks;
    std::atomic<UInt32> mCapacity{0};
    std::atomic<bool> mGrowthAsked{false};
    // Free list head: a change count in the high half against reuse of a popped slot (ABA),
    // 1 + slot index in the low half, 0 when empty.
    alignas(64) std::atomic<UInt64> mFreeHead{0};
    // The slots free, less those of a submission in progress; changed once a list by senders.
    alignas(64) std::atomic<SInt64> mFreeSlots{0};
    alignas(64) std::atomic<UInt32> mSubmittedHead{0};
    std::atomic<UInt64> mNextSequence{0};
};

template <typename Visit> void MIDIPacketQueue::TakeSubmitted(Visit visit)
{
    UInt32 link = mSubmittedHead.exchange(0, std::memory_order_acquire);
    while (link != 0) {
        const UInt32 index = link - 1;
        link = At(index).mNext.load(std::memory_order_relaxed);
        visit(index);
    }
}

// The packets a consumer took from its queue and holds, earliest due first (DueBefore): a heap of
// slot indices with room for the whole pool, so that holding never allocates. [single-consumer]
class MIDIDueHeap {
public:
    explicit MIDIDueHeap(MIDIPacketQueue& queue) : mQueue(queue)
    {
        mIndices.reserve(queue.MaxCapacity());
    }

    bool Empty() const { return mIndices.empty(); }
    size_t Size() const { return mIndices.size(); }
    // The packet due first, of a heap that is not empty.
    UInt32 First() const { return mIndices.front(); }
    MIDIQueuedPacket& FirstPacket() { return mQueue.At(mIndices.front()); }
    void Push(UInt32 index)
    {
        mIndices.push_back(index);
        std::push_heap(mIndices.begin(), mIndices.end(), LaterDue{&mQueue});
    }
    UInt32 Pop()
    {
        std::pop_heap(mIndices.begin(), mIndices.end(), LaterDue{&mQueue});
        const UInt32 index = mIndices.back();
        mIndices.pop_back();
        return index;
    }
    // Takes every packet submitted to the queue.
    void TakeSubmitted()
    {
        mQueue.TakeSubmitted([this](UInt32 index) { Push(index); });
    }
    // Lets go of the packets for which release(index) is true, which then owns their slots.
    template <typename Release> void ReleaseIf(Release release)
    {
        mIndices.erase(std::remove_if(mIndices.begin(), mIndices.end(), release), mIndices.end());
        std::make_heap(mIndices.begin(), mIndices.end(), LaterDue{&mQueue});
    }

private:
    // Heap order: the packet due last sinks to the bottom.
    struct LaterDue {
        MIDIPacketQueue* mQueue;
        bool operator()(UInt32 a, UInt32 b) const
        {
            return DueBefore(mQueue->At(b), mQueue->At(a));
        }
    };

    MIDIPacketQueue& mQueue;
    std::vector<UInt32> mIndices;
};
