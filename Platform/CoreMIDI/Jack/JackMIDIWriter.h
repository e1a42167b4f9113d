// The JACK backend's process-callback side: takes what senders submitted, writes each packet into
// its destination's port buffer at the frame its due time names, holds the rest for later cycles,
// and counts and frees what waited for a destination that went. Everything it holds is
// preallocated: the callback neither allocates nor takes a lock.
#pragma once

#include "JackDestinationSlots.h"
#include "JackServerTiming.h"
#include "MIDIPacketQueue.h"

#include <jack/jack.h>

#include <atomic>
#include <vector>

class MIDIDestinationRegistry;
class MIDIPoolGrower;

class JackMIDIWriter {
public:
    // The packets held for the process callback: a pool that grows up to the largest size.
    static constexpr UInt32 kInitialPoolSlots = 4096;
    static constexpr UInt32 kMaxPoolSlots = 1u << 16;
    // How long after its send a packet waits for its destination's port to be connected before
    // it is dropped.
    static constexpr UInt64 kPortWaitNanos = 1000000000;
    // How many periods FallSilent waits at most for a cycle: a server that ran none for so long
    // is stalled, and the services' end goes on without.
    static constexpr UInt32 kSilenceWaitPeriods = 8;

    JackMIDIWriter(JackDestinationSlots& slots, JackServerTiming& timing, MIDIPoolGrower& grower);
    JackMIDIWriter(const JackMIDIWriter&) = delete;
    JackMIDIWriter& operator=(const JackMIDIWriter&) = delete;

    // Where destinations are looked up, before the first cycle. [host-thread]
    void Serve(MIDIDestinationRegistry& registry) { mRegistry = &registry; }

    // Queues the list for the callback; counts what the destination's shifts put before the
    // send. [render-thread]
    MIDISubmitResult Submit(MIDIEndpointRef destination, MIDIObjectRecord& record, UInt32 presence,
                            const MIDIPacketList& list);

    // Writes the cycle's due packets. [jack-process-thread]
    void Process(jack_client_t* client, jack_nframes_t frames);

    // A destination went offline or away: the next cycle frees what waited for it.
    // [backend-thread]
    void DiscardForGoneDestinations() { mGoneRequested.store(true); }
    // Returns once no cycle that began before the call is in progress. [backend-thread]
    // [host-thread]
    void WaitForCycleToEnd() const;
    // With no callback running: counts offline what waited for destinations that went, and frees
    // it, so that nothing waits for a server that may not come back. [backend-thread]
    void DropEverythingHeld();
    // For the services' end, before the client's callbacks are shut out: from the next cycle on,
    // the callback writes nothing and only empties the ports' buffers. libjack calls a client until
    // its close has taken it out of the graph, which may take cycles, and in each of them the
    // server would hand on again whatever a shut-out callback left in a buffer. Returns once a
    // cycle has emptied the buffers, or when the server ran none for kSilenceWaitPeriods periods.
    // [host-thread]
    void FallSilent();

private:
    // A destination's port buffer in the cycle in progress.
    struct PortBuffer {
        void* mBuffer = nullptr;
        UInt32 mLastFrame = 0;
        UInt32 mWritten = 0;
        bool mFull = false;
    };

    void OpenBuffers(jack_nframes_t frames);
    void WriteDuePackets(const JackServerTiming::Cycle& cycle);
    // Frees what waits for destinations that went offline or away, counting it; true when the
    // packet was such.
    bool DiscardIfGone(UInt32 index);
    // Writes the packet in the cycle if it can; false when it must wait for a later cycle.
    bool Write(MIDIScheduledPacket& packet, JackPlacement placement, UInt32 frame, bool stale);
    // Writes the packet's messages into the buffer at the frame, counting them delivered; false
    // when the buffer filled first, the packet then keeping what did not fit unless the buffer
    // holds nothing at all (the packet could never be written).
    bool WriteMessages(PortBuffer& port, MIDIObjectRecord& destination, MIDIScheduledPacket& packet,
                       UInt32 frame);
    static void KeepRest(MIDIScheduledPacket& packet, UInt16 from, Byte runningStatus);

    JackDestinationSlots& mSlots;
    JackServerTiming& mTiming;
    MIDIDestinationRegistry* mRegistry = nullptr;
    PortBuffer mPorts[JackDestinationSlots::kCapacity];
    // Odd while a process callback runs; disposal waits for the cycle it sees in progress.
    std::atomic<UInt64> mCycle{0};
    // What senders submitted, and of it what the callback took and has not written yet: a heap
    // of queue indices in due order, and room for those held back; all preallocated.
    // [jack-process-thread], or the backend's thread while no callback can run.
    MIDIPacketQueue mQueue;
    MIDIDueHeap mPending{mQueue};
    std::vector<UInt32> mHeldBack;
    // Set when a destination went offline or away: the callback frees what waited for it.
    std::atomic<bool> mGoneRequested{false};
    // Set for good by FallSilent, at the services' end.
    std::atomic<bool> mSilent{false};
};
