#include "MIDIScheduler.h"

#include "MIDIBackend.h"

#include <CoreAudio/HostTime.h>
#include <RealTimeScheduling.h>

#include <chrono>
#include <pthread.h>
#include <sys/prctl.h>
#include <thread>

namespace {
constexpr UInt64 kNever = ~UInt64(0);
} // namespace

MIDIScheduler::MIDIScheduler(MIDIObjectTable& table, MIDIBackend& backend, MIDIPoolGrower& grower)
    : mTable(table), mBackend(backend), mQueue(kInitialPoolSlots, kMaxPoolSlots, &grower)
{
}

MIDISubmitResult MIDIScheduler::Submit(MIDIEndpointRef destination, MIDIObjectRecord& record,
                                       UInt32 presence, const MIDIPacketList& list)
{
    // The destination's settings at the send hold for its packets.
    const MIDISendTiming timing = SendTimingOf(record, mBackend.DelayMicros());
    MIDISubmission submission;
    const MIDISubmitResult result = mQueue.Submit(destination, presence, list, timing, submission);
    if (result != MIDISubmitResult::Taken)
        return result;
    if (submission.mLateAtSend != 0)
        record.mLatePackets.fetch_add(submission.mLateAtSend, std::memory_order_relaxed);
    if (submission.mEarliestDue < mWakeAt.load(std::memory_order_seq_cst))
        mThread.Wake();
    return result;
}

void MIDIScheduler::DropPacketsOfDisposedEndpoints()
{
    mDropRequested.store(true);
    mThread.Wake();
}

void MIDIScheduler::AnnounceSetupChange()
{
    mSetupChanged.store(true);
    mThread.Wake();
}

void MIDIScheduler::WaitForCallsToEnd(MIDIObjectRef object) const
{
    if (mThread.IsThisThread())
        return;
    while (mCalling.load(std::memory_order_seq_cst) == object)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
}

void MIDIScheduler::Run()
{
    pthread_setname_np(pthread_self(), kThreadName);
    // Where the system refuses, the thread runs at normal priority, only later under load.
    RequestRealTimeScheduling(kRealTimePriorityMIDIDelivery);
    // The kernel may otherwise defer a timed wake-up by 50 us to batch timers; every microsecond
    // of that is lateness of a packet. Failure only costs precision.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    while (!mThread.Stopping()) {
        mWakeAt.store(0, std::memory_order_seq_cst);
        TakeSubmitted();
        if (mDropRequested.exchange(false))
            DropDisposed();
        if (mSetupChanged.exchange(false))
            NotifyClients();
        DeliverDuePackets(AudioGetCurrentHostTime());
        WaitForWork();
    }
}

void MIDIScheduler::TakeSubmitted()
{
    // Consume the remaining wake-ups first: every submission they announce is then visible.
    mThread.TakeWakeUps();
    mPending.TakeSubmitted();
}

void MIDIScheduler::DropDisposed()
{
    mPending.ReleaseIf([this](UInt32 index) {
        if (mTable.Find(mQueue.At(index).mDestination) != nullptr)
            return false;
        mQueue.Recycle(index);
        return true;
    });
}

void MIDIScheduler::DeliverDuePackets(UInt64 now)
{
    while (!mPending.Empty() && mPending.FirstPacket().mDue <= now) {
        const UInt32 index = mPending.Pop();
        DeliverDuePacket(mQueue.At(index));
        mQueue.Recycle(index);
        if (mPending.Empty() || mPending.FirstPacket().mDue > now)
            now = AudioGetCurrentHostTime(); // a slow read procedure lets later packets fall due
    }
}

template <typename Use>
void MIDIScheduler::CallIntoLiveObject(MIDIObjectRef object, MIDIObjectKind kind, Use use)
{
    // Announce the call before checking that the object lives; a disposal retires the
    // reference before looking here, so one of the two always sees the other.
    mCalling.store(object, std::memory_order_seq_cst);
    if (MIDIObjectRecord* record = mTable.Find(object, kind))
        use(*record);
    mCalling.store(0, std::memory_order_seq_cst);
}

void MIDIScheduler::DeliverDuePacket(const MIDIQueuedPacket& packet)
{
    CallIntoLiveObject(packet.mDestination, MIDIObjectKind::Endpoint,
                       [&](MIDIObjectRecord& destination) {
                           const UInt16 messages = MessagesOf(packet);
                           if (destination.mPresence.load() != packet.mPresence) {
                               // It went offline after the send: what waited for it is lost.
                               destination.mOfflineMessages.fetch_add(messages);
                           } else if (mBackend.Deliver(destination, packet)) {
                               destination.mDeliveredMessages.fetch_add(messages);
                           } else {
                               destination.mDroppedPackets.fetch_add(1);
                               destination.mDroppedMessages.fetch_add(messages);
                           }
                       });
}

void MIDIScheduler::NotifyClients()
{
    const MIDINotification setupChanged = {kMIDIMsgSetupChanged, sizeof(MIDINotification)};
    for (UInt32 index = 0; index < MIDIObjectTable::kCapacity; ++index) {
        const MIDIObjectRef object = mTable.At(index).mRef.load();
        if (object == 0)
            continue;
        CallIntoLiveObject(object, MIDIObjectKind::Client, [&](MIDIObjectRecord& client) {
            if (client.mNotifyProc != nullptr)
                client.mNotifyProc(&setupChanged, client.mNotifyRefCon);
        });
    }
}

void MIDIScheduler::WaitForWork()
{
    const UInt64 due = mPending.Empty() ? kNever : mPending.FirstPacket().mDue;
    // Publish the wake-up time before the last look at the submissions: a sender either sees the
    // time and wakes the thread for anything earlier, or its packets are seen here.
    mWakeAt.store(due, std::memory_order_seq_cst);
    if (mQueue.HasSubmitted())
        return;
    if (due == kNever)
        mThread.Wait();
    else
        mThread.WaitUntil(due);
}
