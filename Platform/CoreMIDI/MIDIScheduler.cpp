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
constexpr UInt64 kNanosPerMicro = 1000;
constexpr UInt64 kNanosPerSecond = 1000000000;
constexpr UInt64 kNever = ~UInt64(0);

UInt64 DueTime(MIDITimeStamp stamp, SInt32 advanceMicros)
{
    const UInt64 advance = UInt64(std::max(advanceMicros, SInt32(0))) * kNanosPerMicro;
    return stamp > advance ? stamp - advance : 0;
}
} // namespace

MIDIScheduler::MIDIScheduler(MIDIObjectTable& table) : mTable(table), mQueue(kPoolCapacity)
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

bool MIDIScheduler::Submit(MIDIEndpointRef destination, SInt32 advanceMicros,
                           const MIDIPacketList& list)
{
    MIDITimeStamp earliest = 0;
    if (!mQueue.Submit(destination, list, earliest))
        return false;
    if (DueTime(earliest, advanceMicros) < mWakeAt.load(std::memory_order_seq_cst))
        sem_post(&mWake);
    return true;
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

bool MIDIScheduler::LaterDue::operator()(UInt32 a, UInt32 b) const
{
    const MIDIQueuedPacket& first = mQueue->At(a);
    const MIDIQueuedPacket& second = mQueue->At(b);
    if (first.mDue != second.mDue)
        return first.mDue > second.mDue;
    // Stamps smaller than a destination's advance all fall due at 0; they still go in stamp order.
    if (first.mStamp != second.mStamp)
        return first.mStamp > second.mStamp;
    return first.mSequence > second.mSequence;
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
        DeliverDuePackets(AudioGetCurrentHostTime());
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
        SInt32 advanceMicros = 0;
        if (MIDIObjectRecord* destination =
                mTable.Find(packet.mDestination, MIDIObjectKind::Endpoint))
            advanceMicros = destination->mAdvanceMicros.load(std::memory_order_relaxed);
        packet.mDue = DueTime(packet.mStamp, advanceMicros);
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

void MIDIScheduler::DeliverDuePackets(UInt64 now)
{
    while (!mPending.empty() && mQueue.At(mPending.front()).mDue <= now) {
        std::pop_heap(mPending.begin(), mPending.end(), mLaterDue);
        const UInt32 index = mPending.back();
        mPending.pop_back();
        Deliver(mQueue.At(index));
        mQueue.Recycle(index);
        if (mPending.empty() || mQueue.At(mPending.front()).mDue > now)
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

void MIDIScheduler::Deliver(const MIDIQueuedPacket& packet)
{
    CallIntoLiveObject(packet.mDestination, MIDIObjectKind::Endpoint,
                       [&](MIDIObjectRecord& destination) {
                           mDeliveryList.numPackets = 1;
                           mDeliveryList.packet[0].timeStamp = packet.mStamp;
                           mDeliveryList.packet[0].length = packet.mLength;
                           std::memcpy(mDeliveryList.packet[0].data, packet.mData, packet.mLength);
                           destination.mBackend->Deliver(destination, mDeliveryList);
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
    const UInt64 due = mPending.empty() ? kNever : mQueue.At(mPending.front()).mDue;
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
