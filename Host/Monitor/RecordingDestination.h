// A virtual MIDI destination that records what arrives: auhost's monitor, the validator's, the
// tests' and the benchmarks' receivers are all one of these. Its read procedure notes the host
// time of each arrival, hands the packets to a listener if there is one, and keeps them in a ring
// if it has one, for a host-side reader to take; the ring keeps it free of locks and allocation.
#pragma once

#include "Monitor/ArrivalRing.h"

#include <CoreMIDI/MIDIServices.h>

#include <memory>
#include <string>

// What differs between the users of a recording destination.
struct RecordingSettings {
    std::string mName;
    // The client to create it in; 0 makes one of its own, named mClientName (or mName), that goes
    // with it.
    MIDIClientRef mClient = 0;
    std::string mClientName;
    // Asks for every packet as early as the services allow (an unlimited advance time), so that it
    // arrives when sent, stamp unchanged; otherwise packets arrive when their stamps fall due.
    bool mAskEarly = false;
    // The ring's size in packets (a power of two); 0 keeps nothing.
    UInt32 mRingPackets = 0;
};

class RecordingDestination {
public:
    // Throws std::runtime_error when the client or the destination cannot be created. The
    // listener, if any, receives each list on the MIDI services' scheduler thread, while the
    // destination exists, with its refCon.
    explicit RecordingDestination(const RecordingSettings& settings,
                                  MIDIReadProc listener = nullptr, void* listenerRefCon = nullptr);
    // Disposes the destination after any delivery in progress.
    ~RecordingDestination();
    RecordingDestination(const RecordingDestination&) = delete;
    RecordingDestination& operator=(const RecordingDestination&) = delete;

    MIDIEndpointRef Endpoint() const { return mEndpoint; }
    // The oldest packet in the ring and when it arrived; false when there is none (or no ring).
    // [single-consumer]
    bool Pop(MIDIPacket& packet, UInt64& arrival) { return mRing && mRing->Pop(packet, arrival); }
    // Messages that found the ring full. [any-thread]
    UInt64 LostMessages() const { return mRing ? mRing->LostMessages() : 0; }

private:
    static void Read(const MIDIPacketList* list, void* refCon, void* sourceRefCon);

    const std::unique_ptr<ArrivalRing> mRing;
    const MIDIReadProc mListener;
    void* const mListenerRefCon;
    MIDIClientRef mOwnClient = 0;
    MIDIEndpointRef mEndpoint = 0;
};
