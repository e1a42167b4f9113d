// One way out for MIDI. A backend that places packets by their time itself takes them straight
// from MIDISend (its DirectSink); any other has a scheduler thread of its own that hands it every
// packet when the packet falls due, and delivers on that thread, so that a slow backend stalls no
// other. This process's virtual destinations are one backend; a system MIDI service is another,
// which lists its destinations, takes them offline and back, and withdraws them itself through
// the registry.
#pragma once

#include "MIDIPacketQueue.h"

#include <CoreMIDI/MIDIServices.h>

#include <memory>
#include <string>
#include <vector>

struct MIDIObjectRecord;
class MIDIBackend;
class MIDIPoolGrower;

// What a backend may do to the destination list. [backend-thread]
class MIDIDestinationRegistry {
public:
    // Lists a new destination of the backend at the end of the list. Its unique id is derived from
    // key, which names the same destination in every run; slot is the backend's own index for it.
    // 0 when the object table is full.
    virtual MIDIEndpointRef AddDestination(MIDIBackend& backend, UInt32 slot,
                                           const std::string& key, const std::string& name,
                                           const std::string& displayName) = 0;
    virtual void RenameDestination(MIDIEndpointRef destination, const std::string& name,
                                   const std::string& displayName) = 0;
    // Takes a destination that went away off the list and marks it offline: sends to it are
    // refused and counted from now on, and what the backend still holds for it is to be counted
    // offline, never delivered. BringBackOnline lists it again, at the end.
    virtual void TakeOffline(MIDIEndpointRef destination) = 0;
    virtual void BringBackOnline(MIDIEndpointRef destination) = 0;
    // Disposes a destination for good: sends to it fail from now on, and once this returns
    // nothing more reaches the backend for it, nor may the backend deliver what it already holds.
    virtual void RemoveDestination(MIDIEndpointRef destination) = 0;
    // The record of a live destination (online or offline), or null; a single atomic load.
    // [any-thread]
    virtual MIDIObjectRecord* FindDestination(MIDIEndpointRef destination) = 0;

protected:
    ~MIDIDestinationRegistry() = default;
};

class MIDIBackend {
public:
    virtual ~MIDIBackend() = default;

    virtual const char* Name() const = 0;
    // False while what the backend talks to is missing: it then lists no destinations and is
    // never asked to deliver. [any-thread]
    virtual bool IsAvailable() const = 0;
    // Connects to the system service, lists its destinations and begins to follow its changes.
    // Called once, when the services start. [host-thread]
    virtual void Start(MIDIDestinationRegistry&) {}
    // Stops following the system service and leaves it; called before the services end, while
    // the registry still stands. [host-thread]
    virtual void Stop() {}
    // Where MIDISend puts the packets of this backend's destinations, or null for a scheduler
    // thread of the backend's own, which calls Deliver. [any-thread]
    virtual MIDIPacketSink* DirectSink() { return nullptr; }
    // The constant delay between a stamp and the time a packet falls due at one of this backend's
    // destinations, before the destination's latency offset. [any-thread]
    virtual UInt32 DelayMicros() const { return 0; }
    // Delivers a packet that is due to a destination that is live for the whole call, without
    // blocking; false when the backend could not take it (the packet is then lost, and counted by
    // the caller). Only for a backend without a direct sink. [scheduler-thread]
    virtual bool Deliver(const MIDIObjectRecord&, const MIDIScheduledPacket&) { return false; }
    // Returns once no delivery to the destination, which must already be retired, is in progress
    // on the backend's own thread or callback. [host-thread]
    virtual void WaitForDeliveriesToEnd(MIDIEndpointRef) {}
    // The audio server's cycle the backend last began, if it follows one's cycles. [any-thread]
    virtual bool AudioServerCycle(MIDIAudioServerCycle&) const { return false; }
};

// The backends of the system's MIDI services that this build supports, not yet started; their
// packet pools grow through the grower.
std::vector<std::unique_ptr<MIDIBackend>> MakeSystemBackends(MIDIPoolGrower& grower);
