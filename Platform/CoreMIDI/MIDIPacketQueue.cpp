#include "MIDIPacketQueue.h"

#include "MIDIObjectTable.h"
#include "MIDIPoolGrower.h"

#include <CoreAudio/HostTime.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {
constexpr SInt64 kNanosPerMicro = 1000;
constexpr UInt64 kNever = ~UInt64(0);

// A host time moved by shift nanoseconds, held at the ends of the clock's range.
UInt64 Shifted(MIDITimeStamp stamp, SInt64 shift)
{
    if (shift < 0)
        return stamp > UInt64(-shift) ? stamp - UInt64(-shift) : 0;
    return stamp < kNever - UInt64(shift) ? stamp + UInt64(shift) : kNever;
}

// Whether a quarter of the pool or more is in use: time to grow, while three quarters of it still
// give senders room until the grower has run.
bool LowOnRoom(SInt64 freeSlots, UInt32 capacity)
{
    return freeSlots < SInt64(capacity) / 4 * 3;
}

UInt32 WholeChunks(UInt32 slots)
{
    return (slots + MIDIPacketQueue::kChunkSlots - 1) / MIDIPacketQueue::kChunkSlots;
}
} // namespace

MIDISendTiming SendTimingOf(const MIDIObjectRecord& record, UInt32 delayMicros)
{
    MIDISendTiming timing;
    timing.mSent = AudioGetCurrentHostTime();
    timing.mLatenessNanos =
        (SInt64(delayMicros) + record.mLatencyOffsetMicros.load(std::memory_order_relaxed)) *
        kNanosPerMicro;
    const SInt32 advance = record.mAdvanceMicros.load(std::memory_order_relaxed);
    timing.mAtSend = advance == kMIDIAdvanceScheduleTimeUnlimited;
    timing.mAdvanceNanos =
        timing.mAtSend ? 0 : SInt64(std::max(advance, SInt32(0))) * kNanosPerMicro;
    return timing;
}

MIDIPacketQueue::MIDIPacketQueue(UInt32 initialSlots, UInt32 maxSlots, MIDIPoolGrower* grower)
    : mMaxCapacity(WholeChunks(std::max(initialSlots, maxSlots)) * kChunkSlots), mGrower(grower),
      mChunks(new std::atomic<MIDIQueuedPacket*>[WholeChunks(mMaxCapacity)])
{
    for (UInt32 chunk = 0; chunk < WholeChunks(mMaxCapacity); ++chunk)
        mChunks[chunk].store(nullptr);
    while (mCapacity.load() < initialSlots)
        if (!AddChunk())
            throw std::bad_alloc();
    if (mGrower != nullptr)
        mGrower->Add(*this);
}

MIDIPacketQueue::~MIDIPacketQueue()
{
    if (mGrower != nullptr)
        mGrower->Remove(*this);
    for (UInt32 chunk = 0; chunk < WholeChunks(mMaxCapacity); ++chunk)
        delete[] mChunks[chunk].load();
}

bool MIDIPacketQueue::AddChunk()
{
    const UInt32 first = mCapacity.load();
    if (first >= mMaxCapacity)
        return false;
    MIDIQueuedPacket* chunk = new (std::nothrow) MIDIQueuedPacket[kChunkSlots];
    if (chunk == nullptr)
        return false;
    mChunks[first / kChunkSlots].store(chunk, std::memory_order_release);
    mCapacity.store(first + kChunkSlots);
    // Pushed last first, so that the pool hands out its slots in order.
    for (UInt32 index = first + kChunkSlots; index-- > first;)
        PushBack(index);
    mFreeSlots.fetch_add(kChunkSlots);
    return true;
}

void MIDIPacketQueue::GrowWhileLow()
{
    // The request is taken back before looking, so that a sender who finds the pool low again
    // while it grows asks once more.
    mGrowthAsked.store(false);
    while (LowOnRoom(mFreeSlots.load(), mCapacity.load()) && AddChunk()) {
    }
}

void MIDIPacketQueue::AskForRoomIfLow()
{
    const UInt32 capacity = mCapacity.load(std::memory_order_relaxed);
    if (mGrower == nullptr || capacity >= mMaxCapacity ||
        !LowOnRoom(mFreeSlots.load(std::memory_order_relaxed), capacity) ||
        mGrowthAsked.load(std::memory_order_relaxed) || mGrowthAsked.exchange(true))
        return;
    mGrower->Request();
}

UInt32 MIDIPacketQueue::PopFree()
{
    UInt64 head = mFreeHead.load(std::memory_order_acquire);
    while (true) {
        const UInt32 link = UInt32(head);
        if (link == 0)
            return kNone;
        const UInt64 next = At(link - 1).mNext.load(std::memory_order_relaxed);
        const UInt64 replacement = ((head >> 32) + 1) << 32 | next;
        if (mFreeHead.compare_exchange_weak(head, replacement, std::memory_order_acquire,
                                            std::memory_order_acquire))
            return link - 1;
    }
}

void MIDIPacketQueue::PushBack(UInt32 index)
{
    MIDIQueuedPacket& slot = At(index);
    UInt64 head = mFreeHead.load(std::memory_order_relaxed);
    UInt64 replacement = 0;
    do {
        slot.mNext.store(UInt32(head), std::memory_order_relaxed);
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

MIDISubmitResult MIDIPacketQueue::Submit(MIDIEndpointRef destination, UInt32 presence,
                                         const MIDIPacketList& list, const MIDISendTiming& timing,
                                         MIDISubmission& submission)
{
    submission = MIDISubmission{};
    if (list.numPackets == 0)
        return MIDISubmitResult::Taken;
    if (list.numPackets > mMaxCapacity)
        return MIDISubmitResult::NoRoom;
    const UInt64 firstSequence =
        mNextSequence.fetch_add(list.numPackets, std::memory_order_relaxed);

    UInt32 first = kNone, last = kNone;
    const MIDIPacket* packet = &list.packet[0];
    for (UInt32 n = 0; n < list.numPackets; ++n, packet = MIDIPacketNext(packet)) {
        const bool wellFormed = packet->length <= sizeof(MIDIPacket::data);
        const UInt32 index = wellFormed ? PopFree() : kNone;
        if (index == kNone) {
            for (UInt32 link = first; link != kNone;) {
                const UInt32 next = link == last ? kNone : At(link).mNext.load() - 1;
                PushBack(link);
                link = next;
            }
            if (wellFormed)
                AskForRoomIfLow();
            return wellFormed ? MIDISubmitResult::NoRoom : MIDISubmitResult::Malformed;
        }
        MIDIQueuedPacket& slot = At(index);
        slot.mStamp = packet->timeStamp;
        slot.mTiming = timing;
        slot.mDue =
            timing.mAtSend ? 0 : Shifted(slot.mStamp, timing.mLatenessNanos - timing.mAdvanceNanos);
        // A stamp that the delay and offset put before the send is delivered at once, and late;
        // a stamp of 0 asks for exactly that and is never late, nor is anything the destination
        // wants at its send.
        const bool lateAtSend = slot.mStamp != 0 && !timing.mAtSend &&
                                Shifted(slot.mStamp, timing.mLatenessNanos) < timing.mSent;
        slot.mLateAccounted = slot.mStamp == 0 || timing.mAtSend || lateAtSend;
        submission.mLateAtSend += lateAtSend ? 1 : 0;
        submission.mEarliestDue = std::min(submission.mEarliestDue, slot.mDue);
        slot.mSequence = firstSequence + n;
        slot.mDestination = destination;
        slot.mPresence = presence;
        slot.mLength = packet->length;
        std::memcpy(slot.mData, packet->data, packet->length);
        if (first == kNone)
            first = index;
        else
            At(last).mNext.store(index + 1, std::memory_order_relaxed);
        last = index;
    }
    mFreeSlots.fetch_sub(list.numPackets, std::memory_order_relaxed);
    AskForRoomIfLow();

    MIDIQueuedPacket& tail = At(last);
    UInt32 head = mSubmittedHead.load(std::memory_order_relaxed);
    do {
        tail.mNext.store(head, std::memory_order_relaxed);
    } while (!mSubmittedHead.compare_exchange_weak(head, first + 1, std::memory_order_seq_cst,
                                                   std::memory_order_relaxed));
    return MIDISubmitResult::Taken;
}
