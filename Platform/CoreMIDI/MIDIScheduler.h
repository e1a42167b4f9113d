// The thread that serves one backend: it hands each sent packet to the backend the backend's lead
// time before the packet falls due (its stamp, shifted by the destination's delay, latency offset
// and advance time), in due order, then stamp order and, for equal stamps, send order. The
// in-process backend's scheduler also tells clients of setup changes. A call into an object and
// that object's disposal exclude each other, so that no read or notify procedure runs after its
// disposal returned.
#pragma once

#include "MIDIObjectTable.h"
#include "MIDIPacketQueue.h"

#include <atomic>
#include <semaphore.h>
#include <thread>
#include <vector>

class MIDIBackend;

class MIDIScheduler {
public:
    static constexpr UInt32 kPoolCapacity = 8192;

    // Starts the thread; throws std::system_error when it cannot.
    MIDIScheduler(MIDIObjectTable& table, MIDIBackend& backend);
    ~MIDIScheduler();
    MIDIScheduler(const MIDIScheduler&) = delete;
    MIDIScheduler& operator=(const MIDIScheduler&) = delete;

    // Queues the list for the destination, whose record is given; all or nothing. [render-thread]
    bool Submit(MIDIEndpointRef destination, const MIDIObjectRecord& record,
                const MIDIPacketList& list);
    // Asks the thread to drop what it holds for destinations that are gone. [any-thread]
    void DropPacketsOfDisposedEndpoints();
    // Asks the thread to send kMIDIMsgSetupChanged to every client with a notify procedure.
    // [any-thread]
    void AnnounceSetupChange();
    // Returns once no call into the object, which must already be retired, is in progress; at
    // once on the scheduler thread itself (a read procedure disposing an object). [host-thread]
    void WaitForCallsToEnd(MIDIObjectRef object) const;

private:
    void Run();
    void TakeSubmitted();
    void DropDisposed();
    void HandOverDuePackets(UInt64 now);
    void HandOver(const MIDIQueuedPacket& packet);
    UInt64 HandOverTime(UInt64 due) const;
    void NotifyClients();
    // Calls use(record) if the object lives, announced so that a disposal waits for it.
    template <typename Use>
    void CallIntoLiveObject(MIDIObjectRef object, MIDIObjectKind kind, Use use);
    void WaitForWork();

    // Heap order: the packet due last sinks to the bottom.
    struct LaterDue {
        MIDIPacketQueue* mQueue;
        bool operator()(UInt32 a, UInt32 b) const
        {
            return DueBefore(mQueue->At(b), mQueue->At(a));
        }
    };

    MIDIObjectTable& mTable;
    MIDIBackend& mBackend;
    MIDIPacketQueue mQueue;
    LaterDue mLaterDue{&mQueue};
    std::vector<UInt32> mPending; // heap of slot indices, earliest due first
    std::atomic<MIDIObjectRef> mCalling{0};
    std::atomic<bool> mDropRequested{false};
    std::atomic<bool> mSetupChanged{false};
    std::atomic<bool> mStopping{false};
    // The host time by which the thread looks at submissions again without being woken: 0 while
    // it is awake, the hand-over time of its next packet while it sleeps. Senders wake it only for
    // packets due earlier, which spares the render thread a system call on most sends.
    std::atomic<UInt64> mWakeAt{0};
    sem_t mWake;
    std::thread mThread;
};
