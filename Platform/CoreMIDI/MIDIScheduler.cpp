#include "MIDIScheduler.h"

#include "MIDIBackend.h"

#include <CoreAudio/HostTime.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/prctl.h>
#include <system_error>

namespace {
constexpr SInt64 kNanosPerMicro = 1000;
constexpr UInt64 kNanosPerSecond = 1000000000;
constexpr UInt64 kNever = ~UInt64(0);

// A host time moved by shift nanoseconds, held at the ends of the clock's range.
UInt64 Shifted(MIDITimeStamp stamp, SInt64 shift)
{
    if (shift < 0)
        return stamp > UInt64(-shift) ? stamp - UInt64(-shift) : 0;
    return stamp < kNever - UInt64(shift) ? stamp + UInt64(shift) : kNever;
}

// The host time at which a packet falls due: its stamp moved by the destination's delay and
// latency offset, less the advance time by which it wants packets early.
UInt64 DueTime(MIDITimeStamp stamp, const MIDISendTiming& timing)
{
    return Shifted(stamp, timing.mLatenessNanos - timing.mAdvanceNanos);
}
} // namespace

MIDIScheduler::MIDIScheduler(MIDIObjectTable& table, MIDIBackend& backend)
    : mTable(table), mBackend(backend), mQueue(kPoolCapacity)
{
    mPending.reserve(kPoolCapacity);
    if (sem_init(&mWake, 0, 0) != 0)
        throw std::system_error(errno, std::generic_category(), "MIDI scheduler semaphore");
    try {
        mThread = std::thread(&MIDIScheduler::Run, this);
    } catch (...) {
        sem_destroy(&mWake);
        throw;
    }
}

MIDIScheduler::~MIDIScheduler()
{
    mStopping.store(true);
    sem_post(&mWake);
    mThread.join();
    sem_destroy(&mWake);
}

bool MIDIScheduler::Submit(MIDIEndpointRef destination, const MIDIObjectRecord& record,
                           const MIDIPacketList& list)
{
    // The destination's settings at the send hold for its packets. The record is read through
    // its atomics only, as a disposal may be reusing it.
    MIDISendTiming timing;
    timing.mSent = AudioGetCurrentHostTime();
    timing.mLatenessNanos = (SInt64(mBackend.DelayMicros()) +
                             record.mLatencyOffsetMicros.load(std::memory_order_relaxed)) *
                            kNanosPerMicro;
    timing.mAdvanceNanos =
        SInt64(std::max(record.mAdvanceMicros.load(std::memory_order_relaxed), SInt32(0))) *
        kNanosPerMicro;
    MIDITimeStamp earliest = 0;
    if (!mQueue.Submit(destination, list, timing, earliest))
        return false;
    if (HandOverTime(DueTime(earliest, timing)) < mWakeAt.load(std::memory_order_seq_cst))
        sem_post(&mWake);
    return true;
}

UInt64 MIDIScheduler::HandOverTime(UInt64 due) const
{
    const UInt64 lead = mBackend.LeadNanos();
    return due > lead ? due - lead : 0;
}

void MIDIScheduler::DropPacketsOfDisposedEndpoints()
{
    mDropRequested.store(true);
    sem_post(&mWake);
}

void MIDIScheduler::AnnounceSetupChange()
{
    mSetupChanged.store(true);
    sem_post(&mWake);
}

void MIDIScheduler::WaitForCallsToEnd(MIDIObjectRef object) const
{
    if (std::this_thread::get_id() == mThread.get_id())
        return;
    while (mCalling.load(std::memory_order_seq_cst) == object)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
}

void MIDIScheduler::Run()
{
    // The kernel may otherwise defer a timed wake-up by 50 us to batch timers; every microsecond
    // of that is lateness of a packet. Failure only costs precision.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    while (!mStopping.load()) {
        mWakeAt.store(0, std::memory_order_seq_cst);
        TakeSubmitted();
        if (mDropRequested.exchange(false))
            DropDisposed();
        if (mSetupChanged.exchange(false))
            NotifyClients();
        HandOverDuePackets(AudioGetCurrentHostTime());
        WaitForWork();
    }
}

void MIDIScheduler::TakeSubmitted()
{
    // Consume the remaining wake-ups first: every submission they announce is then visible.
    while (sem_trywait(&mWake) == 0) {
    }
    mQueue.TakeSubmitted([&](UInt32 index) {
        MIDIQueuedPacket& packet = mQueue.At(index);
        packet.mDue = DueTime(packet.mStamp, packet.mTiming);
        // A stamp that the delay and offset put before the send is delivered at once, and late;
        // a stamp of 0 asks for exactly that and is never late.
        const bool lateAtSend =
            packet.mStamp != 0 &&
            Shifted(packet.mStamp, packet.mTiming.mLatenessNanos) < packet.mTiming.mSent;
        packet.mLateAccounted = packet.mStamp == 0 || lateAtSend;
        if (lateAtSend) {
            CallIntoLiveObject(packet.mDestination, MIDIObjectKind::Endpoint,
                               [](MIDIObjectRecord& destination) {
                                   destination.mLatePackets.fetch_add(1, std::memory_order_relaxed);
                               });
        }
        mPending.push_back(index);
        std::push_heap(mPending.begin(), mPending.end(), mLaterDue);
    });
}

void MIDIScheduler::DropDisposed()
{
    const auto gone = [this](UInt32 index) {
        if (mTable.Find(mQueue.At(index).mDestination) != nullptr)
            return false;
        mQueue.Recycle(index);
        return true;
    };
    mPending.erase(std::remove_if(mPending.begin(), mPending.end(), gone), mPending.end());
    std::make_heap(mPending.begin(), mPending.end(), mLaterDue);
}

void MIDIScheduler::HandOverDuePackets(UInt64 now)
{
    while (!mPending.empty() && HandOverTime(mQueue.At(mPending.front()).mDue) <= now) {
        std::pop_heap(mPending.begin(), mPending.end(), mLaterDue);
        const UInt32 index = mPending.back();
        mPending.pop_back();
        HandOver(mQueue.At(index));
        mQueue.Recycle(index);
        if (mPending.empty() || HandOverTime(mQueue.At(mPending.front()).mDue) > now)
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

void MIDIScheduler::HandOver(const MIDIQueuedPacket& packet)
{
    CallIntoLiveObject(packet.mDestination, MIDIObjectKind::Endpoint,
                       [&](MIDIObjectRecord& destination) {
                           if (!mBackend.HandOff(destination, packet))
                               destination.mDroppedPackets.fetch_add(1, std::memory_order_relaxed);
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
    const UInt64 due = mPending.empty() ? kNever : HandOverTime(mQueue.At(mPending.front()).mDue);
    // Publish the wake-up time before the last look at the submissions: a sender either sees the
    // time and wakes the thread for anything earlier, or its packets are seen here.
    mWakeAt.store(due, std::memory_order_seq_cst);
    if (mQueue.HasSubmitted())
        return;
    if (due == kNever) {
        while (sem_wait(&mWake) != 0 && errno == EINTR) {
        }
        return;
    }
    timespec deadline{};
    deadline.tv_sec = time_t(due / kNanosPerSecond);
    deadline.tv_nsec = long(due % kNanosPerSecond);
    sem_clockwait(&mWake, CLOCK_MONOTONIC, &deadline);
}
