// The always-present backend: destinations created in this process, whose read procedures take
// the packets directly on this backend's scheduler thread, at their due time. Tests and other
// in-process receivers need no system MIDI at all.
#pragma once

#include "MIDIBackend.h"

class VirtualDestinationBackend final : public MIDIBackend {
public:
    const char* Name() const override { return "in-process"; }
    bool IsAvailable() const override { return true; }
    bool Deliver(const MIDIObjectRecord& destination, const MIDIScheduledPacket& packet) override;

private:
    MIDIPacketList mDeliveryList{}; // [scheduler-thread]
};
