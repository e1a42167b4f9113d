// The always-present backend: destinations created in this process, whose read procedures take
// the packets directly. Tests and other in-process receivers need no system MIDI at all.
#pragma once

#include "MIDIBackend.h"

class VirtualDestinationBackend final : public MIDIBackend {
public:
    const char* Name() const override { return "in-process"; }
    bool IsAvailable() const override { return true; }
    void Deliver(const MIDIObjectRecord& destination, const MIDIPacketList& list) override;
};
