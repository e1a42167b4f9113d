#include "JackMIDIWriter.h"

#include "MIDIBackend.h"
#include "MIDIMessageSplitter.h"
#include "MIDIObjectTable.h"

#include <jack/midiport.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

void Drop(MIDIObjectRecord& destination, const MIDIScheduledPacket& packet)
{
    destination.mDroppedPackets.fetch_add(1, std::memory_order_relaxed);
    destination.mDroppedMessages.fetch_add(MessagesOf(packet), std::memory_order_relaxed);
}

} // namespace

JackMIDIWriter::JackMIDIWriter(JackDestinationSlots& slots, JackServerTiming& timing,
                               MIDIPoolGrower& grower)
    : mSlots(slots), mTiming(timing), mQueue(kInitialPoolSlots, kMaxPoolSlots, &grower)
{
    mHeldBack.reserve(mQueue.MaxCapacity());
}

MIDISubmitResult JackMIDIWriter::Submit(MIDIEndpointRef destination, MIDIObjectRecord& record,
                                        UInt32 presence, const MIDIPacketList& list)
{
    MIDISubmission submission;
    const MIDISubmitResult result = mQueue.Submit(
        destination, presence, list, SendTimingOf(record, mTiming.DelayMicros()), submission);
    if (result == MIDISubmitResult::Taken && submission.mLateAtSend != 0)
        record.mLatePackets.fetch_add(submission.mLateAtSend, std::memory_order_relaxed);
    return result;
}

void JackMIDIWriter::WaitForCycleToEnd() const
{
    const UInt64 cycle = mCycle.load(std::memory_order_seq_cst);
    if (cycle % 2 == 0)
        return;
    while (mCycle.load(std::memory_order_seq_cst) == cycle)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
}

void JackMIDIWriter::FallSilent()
{
    mSilent.store(true, std::memory_order_seq_cst);
    // A cycle that begins after the cycle count is read here finds the flag set: the one in
    // progress, if any, may still write, the one after it empties the buffers.
    const UInt64 seen = mCycle.load(std::memory_order_seq_cst);
    const UInt64 emptied = seen + (seen % 2 == 0 ? 2 : 3);
    const auto giveUp = std::chrono::steady_clock::now() +
                        std::chrono::microseconds(kSilenceWaitPeriods * mTiming.DelayMicros());
    while (mCycle.load(std::memory_order_seq_cst) < emptied &&
           std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void JackMIDIWriter::DropEverythingHeld()
{
    mPending.TakeSubmitted();
    mPending.ReleaseIf([this](UInt32 index) {
        if (!DiscardIfGone(index)) {
            // Nothing of this backend is online while its server is gone; should a destination
            // be, the packet still waits for nothing.
            if (MIDIObjectRecord* destination =
                    mRegistry->FindDestination(mQueue.At(index).mDestination))
                destination->mOfflineMessages.fetch_add(MessagesOf(mQueue.At(index)));
            mQueue.Recycle(index);
        }
        return true;
    });
}

// ---- Process callback: no allocation, no lock ----------------------------------------------

void JackMIDIWriter::Process(jack_client_t* client, jack_nframes_t frames)
{
    mCycle.fetch_add(1, std::memory_order_seq_cst);
    const JackServerTiming::Cycle cycle = mTiming.BeginCycle(client, frames);
    OpenBuffers(frames);
    if (!mSilent.load(std::memory_order_seq_cst)) {
        mPending.TakeSubmitted();
        if (mGoneRequested.exchange(false))
            mPending.ReleaseIf([this](UInt32 index) { return DiscardIfGone(index); });
        WriteDuePackets(cycle);
    }
    mCycle.fetch_add(1, std::memory_order_seq_cst);
}

void JackMIDIWriter::OpenBuffers(jack_nframes_t frames)
{
    for (UInt32 index = 0; index < JackDestinationSlots::kCapacity; ++index) {
        PortBuffer& port = mPorts[index];
        jack_port_t* output = mSlots[index].mOutput.load(std::memory_order_acquire);
        port.mBuffer = output != nullptr ? jack_port_get_buffer(output, frames) : nullptr;
        if (port.mBuffer != nullptr)
            jack_midi_clear_buffer(port.mBuffer);
        port.mLastFrame = 0;
        port.mWritten = 0;
        port.mFull = false;
    }
}

void JackMIDIWriter::WriteDuePackets(const JackServerTiming::Cycle& cycle)
{
    while (!mPending.Empty()) {
        MIDIScheduledPacket& packet = mPending.FirstPacket();
        UInt32 frame = 0;
        const UInt64 due = HostTimeToJackNanos(packet.mDue, cycle.mClocks);
        const JackPlacement placement = PlaceInCycle(due, cycle.mCycle, frame);
        if (placement == JackPlacement::Later)
            break;
        const UInt32 index = mPending.Pop();
        if (Write(packet, placement, frame,
                  packet.mTiming.mSent + kPortWaitNanos < cycle.mClocks.mHostNanos))
            mQueue.Recycle(index);
        else
            mHeldBack.push_back(index);
    }
    for (UInt32 index : mHeldBack)
        mPending.Push(index);
    mHeldBack.clear();
}

bool JackMIDIWriter::DiscardIfGone(UInt32 index)
{
    const MIDIQueuedPacket& packet = mQueue.At(index);
    MIDIObjectRecord* destination = mRegistry->FindDestination(packet.mDestination);
    if (destination != nullptr && destination->mPresence.load() == packet.mPresence)
        return false;
    if (destination != nullptr) // offline since the send: what waited for it is lost
        destination->mOfflineMessages.fetch_add(MessagesOf(packet), std::memory_order_relaxed);
    mQueue.Recycle(index);
    return true;
}

bool JackMIDIWriter::Write(MIDIScheduledPacket& packet, JackPlacement placement, UInt32 frame,
                           bool stale)
{
    MIDIObjectRecord* destination = mRegistry->FindDestination(packet.mDestination);
    if (destination == nullptr || packet.mLength == 0)
        return true; // disposed: what was sent to it goes with it
    if (destination->mPresence.load() != packet.mPresence) {
        destination->mOfflineMessages.fetch_add(MessagesOf(packet), std::memory_order_relaxed);
        return true;
    }
    PortBuffer& port = mPorts[destination->mBackendSlot];
    if (port.mBuffer == nullptr) {
        if (mSlots[destination->mBackendSlot].mState.load() != kJackSlotFailed && !stale)
            return false; // its port is being made and connected
        Drop(*destination, packet);
        return true;
    }
    if (port.mFull)
        return false; // after a packet that did not fit, to keep the order
    if (placement == JackPlacement::PastDue && !packet.mLateAccounted) {
        packet.mLateAccounted = true;
        destination->mLatePackets.fetch_add(1, std::memory_order_relaxed);
    }
    if (WriteMessages(port, *destination, packet, std::max(frame, port.mLastFrame)))
        return true;
    if (port.mWritten == 0) {
        // Too long for even an empty buffer: it can never be written.
        Drop(*destination, packet);
        return true;
    }
    // The buffer is full: the rest of the packet, and everything after it for this destination,
    // waits for the next cycle, where it is past due.
    port.mFull = true;
    return false;
}

bool JackMIDIWriter::WriteMessages(PortBuffer& port, MIDIObjectRecord& destination,
                                   MIDIScheduledPacket& packet, UInt32 frame)
{
    // One message per event, all at the packet's frame.
    MIDIMessageSplitter messages(packet.mData, packet.mLength);
    const Byte* message = nullptr;
    UInt16 length = 0;
    UInt16 written = 0;
    bool whole = true;
    while (whole && messages.Next(message, length)) {
        if (jack_midi_event_write(port.mBuffer, frame, message, length) == 0) {
            port.mLastFrame = frame;
            ++port.mWritten;
            ++written;
            continue;
        }
        whole = false;
    }
    destination.mDeliveredMessages.fetch_add(written, std::memory_order_relaxed);
    if (!whole && port.mWritten != 0)
        KeepRest(packet, messages.MessageStart(), messages.RunningStatus());
    return whole;
}

void JackMIDIWriter::KeepRest(MIDIScheduledPacket& packet, UInt16 from, Byte runningStatus)
{
    // A message under running status begins with a data byte; its status goes in front again
    // (there is room: the status byte it follows was in front of it).
    const bool restore = packet.mData[from] < 0x80 && runningStatus != 0;
    const UInt16 rest = UInt16(packet.mLength - from);
    std::memmove(packet.mData + (restore ? 1 : 0), packet.mData + from, rest);
    if (restore)
        packet.mData[0] = runningStatus;
    packet.mLength = UInt16(rest + (restore ? 1 : 0));
}
