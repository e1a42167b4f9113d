// One way out for MIDI: the scheduler hands each due packet list to the backend of its
// destination. This process's virtual destinations are one backend; a system MIDI service would
// be another, and one whose library or server is missing reports itself unavailable.
#pragma once

#include <CoreMIDI/MIDIServices.h>

struct MIDIObjectRecord;

class MIDIBackend {
public:
    virtual ~MIDIBackend() = default;

    virtual const char* Name() const = 0;
    // False when what the backend talks to is missing: it then lists no destinations and is
    // never asked to deliver. [any-thread]
    virtual bool IsAvailable() const = 0;
    // Delivers a list to one of this backend's destinations, which is live for the whole call.
    // [scheduler-thread]
    virtual void Deliver(const MIDIObjectRecord& destination, const MIDIPacketList& list) = 0;
};
