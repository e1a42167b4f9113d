// The one thread that delivers sent packets: each at its stamp (less the destination's advance
// time), in stamp order and, for equal stamps, in send order; it also tells clients of setup
// changes. A call into an object and that object's disposal exclude each other, so that no read
// or notify procedure runs after its disposal returned.
#pragma once

#include "MIDIObjectTable.h"
#include "MIDIPacketQueue.h"

#include <atomic>
#include <semaphore.h>
#include <thread>
#include <vector>

class MIDIScheduler {
public:
    static constexpr UInt32 kPoolCapacity = 8192;

    // Starts the thread; throws std::system_error when it cannot.
    explicit MIDIScheduler(MIDIObjectTable& table);
    ~MIDIScheduler();
    MIDIScheduler(const MIDIScheduler&) = delete;
    MIDIScheduler& operator=(const MIDIScheduler&) = delete;

    // Queues the list for the destination, which receives packets advanceMicros before their
    // stamps; all or nothing. [render-thread]
    bool Submit(MIDIEndpointRef destination, SInt32 advanceMicros, const MIDIPacketList& list);
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
    void DeliverDuePackets(UInt64 now);
    void Deliver(const MIDIQueuedPacket& packet);
    void NotifyClients();
    // Calls use(record) if the object lives, announced so that a disposal waits for it.
    template <typename Use>
    void CallIntoLiveObject(MIDIObjectRef object, MIDIObjectKind kind, Use use);
    void WaitForWork();

    // Heap order: the packet due last (at equal times, stamped last, then sent last) sinks to the
    // bottom.
    struct LaterDue {
        MIDIPacketQueue* mQueue;
        bool operator()(UInt32 a, UInt32 b) const;
    };

    MIDIObjectTable& mTable;
    MIDIPacketQueue mQueue;
    LaterDue mLaterDue{&mQueue};
    std::vector<UInt32> mPending; // heap of slot indices, earliest due first
    MIDIPacketList mDeliveryList{};
    std::atomic<MIDIObjectRef> mCalling{0};
    std::atomic<bool> mDropRequested{false};
    std::atomic<bool> mSetupChanged{false};
    std::atomic<bool> mStopping{false};
    // The host time by which the thread looks at submissions again without being woken: 0 while
    // it is awake, the due time of its next packet while it sleeps. Senders wake it only for
    // packets due earlier, which spares the render thread a system call on most sends.
    std::atomic<UInt64> mWakeAt{0};
    sem_t mWake;
    std::thread mThread;
};
