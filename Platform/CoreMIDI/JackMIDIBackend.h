// The JACK backend: every JACK MIDI input port of another client is a destination. One JACK client
// per process, opened only when a server runs (never starting one); one output port per destination
// in use, connected to it. MIDISend hands packets straight to the process callback, which holds
// each until its cycle and writes it at the frame its due time names. Its notification thread
// follows the server: ports that come, go (offline, keeping their destination) or come back, are
// renamed, the server's shutdown, and its return (looked for once a second). A client whose server
// went away is closed on a thread of its own, so that neither the reconnection nor the services'
// end waits on libjack without a bound.
#pragma once

#include "JackCallbackGate.h"
#include "JackClientCloser.h"
#include "JackCycleTiming.h"
#include "MIDIBackend.h"
#include "MIDIPacketQueue.h"
#include "MIDIPacketSink.h"

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <semaphore.h>
#include <string>
#include <sys/types.h>
#include <thread>
#include <utility>
#include <vector>

class JackMIDIBackend final : public MIDIBackend, private MIDIPacketSink {
public:
    static constexpr UInt32 kMaxDestinations = 256;
    // Destinations kept offline for ports that may come back; the one gone longest goes for good.
    static constexpr UInt32 kMaxOfflineDestinations = 64;
    // The packets held for the process callback: a pool that grows up to the largest size.
    static constexpr UInt32 kInitialPoolSlots = 4096;
    static constexpr UInt32 kMaxPoolSlots = 1u << 16;
    // Time allowed for a packet to go from its send to the process callback; with one period it
    // makes the delivery delay, so that a packet stamped at its send is still in time for the
    // cycle it falls in.
    static constexpr UInt64 kHandOffAllowanceNanos = 1000000;
    // How long after its send a packet waits for its destination's port to be connected before
    // it is dropped.
    static constexpr UInt64 kPortWaitNanos = 1000000000;
    // How long the services' end waits for the client to close; a close still running then is
    // left to its thread.
    static constexpr std::chrono::milliseconds kCloseWait{5000};

    explicit JackMIDIBackend(MIDIPoolGrower& grower);
    ~JackMIDIBackend() override;
    JackMIDIBackend(const JackMIDIBackend&) = delete;
    JackMIDIBackend& operator=(const JackMIDIBackend&) = delete;

    const char* Name() const override { return "JACK"; }
    bool IsAvailable() const override { return mAvailable.load(); }
    void Start(MIDIDestinationRegistry& registry) override;
    void Stop() override;
    MIDIPacketSink* DirectSink() override { return this; }
    // One period and the hand-off allowance.
    UInt32 DelayMicros() const override { return mDelayMicros.load(std::memory_order_relaxed); }
    bool AudioServerCycle(MIDIAudioServerCycle& cycle) const override
    {
        return mCycleRecord.Load(cycle);
    }
    void WaitForDeliveriesToEnd(MIDIEndpointRef) override;

private:
    enum SlotState : UInt32 { kFree, kListed, kWanted, kReady, kFailed, kOffline };

    // One destination of this backend. The state and output port are shared with the callback and
    // the scheduler thread; the rest belongs to one side.
    struct Slot {
        std::atomic<UInt32> mState{kFree};
        std::atomic<jack_port_t*> mOutput{nullptr};
        // Notification thread.
        MIDIEndpointRef mEndpoint = 0;
        jack_port_t* mUnconnected = nullptr; // our port for it, made but not yet connected
        std::string mPortName;               // the destination port's full name
        bool mSeen = false;
        UInt64 mOfflineOrder = 0; // while offline: when it went, in the order slots went
        // Process callback, for the cycle in progress.
        void* mBuffer = nullptr;
        UInt32 mLastFrame = 0;
        UInt32 mWritten = 0;
        bool mFull = false;
    };

    // Notification thread (and Start, before it runs).
    void Run();
    bool Connect();
    void Disconnect();
    // Shuts the client's callbacks out of the backend and hands the client to the closer.
    void Release(pid_t notificationThread);
    pid_t NotificationThread(jack_client_t* client) const;
    void ApplyRenames();
    void FollowPorts();
    void ListPort(const std::string& fullName);
    Slot* FreeSlot();
    // The destination's port vanished: it goes offline and keeps its slot, within the bound.
    void GoOffline(Slot& slot);
    void RemoveSlot(Slot& slot);
    void UnregisterPorts(Slot& slot);
    void MakeWantedPorts();
    void SetPeriod(jack_nframes_t frames, jack_nframes_t rate);
    void WaitForCycleToEnd() const;
    // With no callback running: counts offline what waited for destinations that went, and frees
    // it, so that nothing waits for a server that may not come back.
    void DropEverythingHeld();

    // MIDIPacketSink: from any sending thread.
    MIDISubmitResult Submit(MIDIEndpointRef destination, MIDIObjectRecord& record, UInt32 presence,
                            const MIDIPacketList& list) override;

    // Process callback.
    void Process(jack_nframes_t frames);
    void OpenBuffers(jack_nframes_t frames);
    // Frees what waits for destinations that went offline or away, counting it; true when the
    // packet was such.
    bool DiscardIfGone(UInt32 index);
    // Writes the packet in the cycle if it can; false when it must wait for a later cycle.
    bool Write(MIDIScheduledPacket& packet, JackPlacement placement, UInt32 frame, bool stale);
    static void KeepRest(MIDIScheduledPacket& packet, UInt16 from, Byte runningStatus);

    // libjack's callbacks, given the gate: each does its work only while the gate is open.
    template <typename Call> static void Through(void* gate, Call&& call)
    {
        static_cast<JackCallbackGate<JackMIDIBackend>*>(gate)->Pass(std::forward<Call>(call));
    }
    static int OnProcess(jack_nframes_t frames, void* gate);
    static int OnBufferSize(jack_nframes_t frames, void* gate);
    static int OnSampleRate(jack_nframes_t rate, void* gate);
    static void OnPortRegistration(jack_port_id_t, int, void* gate);
    static void OnClientRegistration(const char*, int, void* gate);
    static int OnGraphOrder(void* gate);
    static void OnPortRename(jack_port_id_t, const char* oldName, const char* newName, void* gate);
    static void OnShutdown(jack_status_t, const char*, void* gate);
    static void OnThreadInit(void* gate);
    void Wake() { sem_post(&mWake); }

    MIDIDestinationRegistry* mRegistry = nullptr;
    // Set before the callbacks are, cleared only once they are shut out: the callbacks always
    // find the client they serve.
    jack_client_t* mClient = nullptr;
    // What the client's callbacks are given; the closer keeps it until the close ends.
    std::shared_ptr<JackCallbackGate<JackMIDIBackend>> mGate;
    std::atomic<bool> mAvailable{false};
    std::atomic<jack_nframes_t> mSampleRate{48000};
    std::atomic<UInt32> mDelayMicros{0};
    Slot mSlots[kMaxDestinations];
    UInt64 mOfflineCount = 0; // slots that went offline so far [notification thread]
    // Odd while a process callback runs; disposal waits for the cycle it sees in progress.
    std::atomic<UInt64> mCycle{0};
    // The cycle in progress, or the one before it, for hosts that run in the server's cycles.
    JackCycleRecord mCycleRecord;

    // What senders submitted, and of it what the callback took and has not written yet: a heap
    // of queue indices in due order, and room for those held back; all preallocated. [process
    // callback, or the notification thread while no callback can run]
    MIDIPacketQueue mQueue;
    MIDIDueHeap mPending{mQueue};
    std::vector<UInt32> mHeldBack;
    // Set when a destination went offline or away: the callback frees what waited for it.
    std::atomic<bool> mGoneRequested{false};

    std::atomic<bool> mPortsChanged{false};
    std::atomic<bool> mServerGone{false};
    std::atomic<bool> mStopping{false};
    // The threads libjack ran the client's thread-init callback on since it opened: its process
    // thread and its notification thread, as pthread and kernel ids.
    static constexpr UInt32 kMaxLibraryThreads = 4;
    std::atomic<UInt32> mLibraryThreadCount{0};
    std::atomic<pthread_t> mLibraryThreads[kMaxLibraryThreads];
    std::atomic<pid_t> mLibraryThreadIds[kMaxLibraryThreads];
    JackClientCloser mCloser;
    std::mutex mRenamesMutex;
    std::vector<std::pair<std::string, std::string>> mRenames; // old and new full names
    sem_t mWake;
    std::thread mThread;
};
