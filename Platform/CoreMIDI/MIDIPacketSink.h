// Where MIDISend puts the packets of a destination: the scheduler thread of a backend that is
// handed each packet when it falls due, or a backend that places packets by their time itself and
// takes them straight from the sender.
#pragma once

#include <CoreMIDI/MIDIServices.h>

struct MIDIObjectRecord;

enum class MIDISubmitResult {
    Taken,     // every packet of the list
    NoRoom,    // none: too few free slots
    Malformed, // none: a packet longer than a packet holds
};

class MIDIPacketSink {
public:
    // Takes every packet of the list for the destination, or none. presence is the destination's
    // presence (MIDIObjectRecord::mPresence) seen before the call, which goes with each packet.
    // No allocation, no lock, no wait. [render-thread]
    virtual MIDISubmitResult Submit(MIDIEndpointRef destination, MIDIObjectRecord& record,
                                    UInt32 presence, const MIDIPacketList& list) = 0;

protected:
    ~MIDIPacketSink() = default;
};
