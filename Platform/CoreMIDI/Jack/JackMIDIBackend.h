// The JACK backend: every JACK MIDI input port of another client is a destination. One JACK client
// per process (JackConnection); one output port per destination in use, connected to it
// (JackPortFollower, JackDestinationSlots). MIDISend hands packets straight to the process
// callback, which holds each until its cycle and writes it at the frame its due time names
// (JackMIDIWriter, JackServerTiming). The backend's own thread follows the server: ports that
// come, go (offline, keeping their destination) or come back, are renamed, the server's shutdown,
// and its return, looked for once a second.
#pragma once

#include "JackConnection.h"
#include "JackDestinationSlots.h"
#include "JackMIDIWriter.h"
#include "JackPortFollower.h"
#include "JackServerTiming.h"
#include "MIDIBackend.h"
#include "MIDIPacketSink.h"

#include <atomic>
#include <semaphore.h>
#include <thread>

class JackMIDIBackend final : public MIDIBackend, private MIDIPacketSink, private JackClientEvents {
public:
    explicit JackMIDIBackend(MIDIPoolGrower& grower);
    ~JackMIDIBackend() override;
    JackMIDIBackend(const JackMIDIBackend&) = delete;
    JackMIDIBackend& operator=(const JackMIDIBackend&) = delete;

    const char* Name() const override { return "JACK"; }
    bool IsAvailable() const override { return mAvailable.load(); }
    void Start(MIDIDestinationRegistry& registry) override;
    void Stop() override;
    MIDIPacketSink* DirectSink() override { return this; }
    // One period and the allowance for a packet to reach the process callback.
    UInt32 DelayMicros() const override { return mTiming.DelayMicros(); }
    bool AudioServerCycle(MIDIAudioServerCycle& cycle) const override
    {
        return mTiming.LatestCycle(cycle);
    }
    void WaitForDeliveriesToEnd(MIDIEndpointRef) override;

private:
    // [backend-thread]
    void Run();
    void Connected();
    void Disconnect();
    // Shuts the client out of the backend and closes it.
    void CloseClient();

    // MIDIPacketSink: from any sending thread.
    MIDISubmitResult Submit(MIDIEndpointRef destination, MIDIObjectRecord& record, UInt32 presence,
                            const MIDIPacketList& list) override;

    // JackClientEvents
    void Opened(jack_client_t* client) override;
    void Process(jack_nframes_t frames) override;
    void PeriodChanged(jack_nframes_t frames) override { mTiming.FollowPeriod(frames); }
    void SampleRateChanged(jack_nframes_t rate) override;
    void PortsChanged() override;
    void PortRenamed(const char* oldName, const char* newName) override;
    void GraphChanged() override { Wake(); }
    void ServerShutDown() override;
    void Wake() { sem_post(&mWake); }

    std::atomic<bool> mAvailable{false};
    std::atomic<bool> mPortsChanged{false};
    std::atomic<bool> mStopping{false};
    JackServerTiming mTiming;
    JackDestinationSlots mSlots;
    JackMIDIWriter mWriter;
    JackConnection mConnection{*this};
    JackPortFollower mFollower{*this, mConnection, mSlots, mWriter};
    sem_t mWake;
    std::thread mThread;
};
