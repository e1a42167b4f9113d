// The one thread that delivers sent packets: each at its stamp (less the destination's advance
// time), in stamp order and, for equal stamps, in send order. Delivery and disposal of a
// destination exclude each other, so that no read procedure runs after its disposal returned.
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

    // Queues the list for the destination, all or nothing. [render-thread]
    bool Submit(MIDIEndpointRef destination, const MIDIPacketList& list);
    // Asks the thread to drop what it holds for destinations that are gone. [any-thread]
    void DropPacketsOfDisposedEndpoints();
    // Returns once no delivery to the endpoint, which must already be retired, is in progress;
    // at once on the scheduler thread itself (a read procedure disposing an endpoint).
    // [host-thread]
    void WaitForDeliveryToEnd(MIDIEndpointRef endpoint) const;

private:
    void Run();
    void TakeSubmitted();
    void DropDisposed();
    void DeliverDuePackets(UInt64 now);
    void Deliver(const MIDIQueuedPacket& packet);
    void WaitForWork();

    // Heap order: the packet due last (and, at equal times, sent last) sinks to the bottom.
    struct LaterDue {
        MIDIPacketQueue* mQueue;
        bool operator()(UInt32 a, UInt32 b) const;
    };

    MIDIObjectTable& mTable;
    MIDIPacketQueue mQueue;
    LaterDue mLaterDue{&mQueue};
    std::vector<UInt32> mPending; // heap of slot indices, earliest due first
    MIDIPacketList mDeliveryList{};
    std::atomic<MIDIEndpointRef> mDelivering{0};
    std::atomic<bool> mDropRequested{false};
    std::atomic<bool> mStopping{false};
    sem_t mWake;
    std::thread mThread;
};
