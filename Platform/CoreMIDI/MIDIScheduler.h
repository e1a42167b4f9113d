// The thread that serves a backend whose packets must be handed over when they fall due (the
// in-process backend's virtual destinations): it hands each sent packet over at its due time
// (its stamp, shifted by the destination's delay, latency offset and advance time), in due order,
// then stamp order and, for equal stamps, send order, and counts what became of its messages. It
// also tells clients of setup changes. A call into an object and that object's disposal exclude
// each other, so that no read or notify procedure runs after its disposal returned. The thread
// asks for real-time scheduling, and runs without it where the system refuses.
#pragma once

#include "MIDIObjectTable.h"
#include "MIDIPacketQueue.h"
#include "MIDIPacketSink.h"

#include "WakeableThread.h"

#include <atomic>

class MIDIBackend;
class MIDIPoolGrower;

class MIDIScheduler final : public MIDIPacketSink {
public:
    static constexpr UInt32 kInitialPoolSlots = 8192;
    static constexpr UInt32 kMaxPoolSlots = 1u << 18;
    // The name of the thread, as the system shows it.
    static constexpr const char* kThreadName = "MIDI delivery";

    // Starts the thread; throws std::system_error when it cannot.
    MIDIScheduler(MIDIObjectTable& table, MIDIBackend& backend, MIDIPoolGrower& grower);
    MIDIScheduler(const MIDIScheduler&) = delete;
    MIDIScheduler& operator=(const MIDIScheduler&) = delete;

    // MIDIPacketSink [render-thread]
    MIDISubmitResult Submit(MIDIEndpointRef destination, MIDIObjectRecord& record, UInt32 presence,
                            const MIDIPacketList& list) override;
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
    void DeliverDuePacket(const MIDIQueuedPacket& packet);
    void NotifyClients();
    // Calls use(record) if the object lives, announced so that a disposal waits for it.
    template <typename Use>
    void CallIntoLiveObject(MIDIObjectRef object, MIDIObjectKind kind, Use use);
    void WaitForWork();

    MIDIObjectTable& mTable;
    MIDIBackend& mBackend;
    MIDIPacketQueue mQueue;
    MIDIDueHeap mPending{mQueue};
    std::atomic<MIDIObjectRef> mCalling{0};
    std::atomic<bool> mDropRequested{false};
    std::atomic<bool> mSetupChanged{false};
    // The host time by which the thread looks at submissions again without being woken: 0 while
    // it is awake, the due time of its next packet while it sleeps. Senders wake it only for
    // packets due earlier, which spares the render thread a system call on most sends.
    std::atomic<UInt64> mWakeAt{0};
    WakeableThread mThread{[this] { Run(); }};
};
