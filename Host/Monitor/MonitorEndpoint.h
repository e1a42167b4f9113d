// auhost's own MIDI client and its virtual destination "auhost monitor". It is created before a
// unit is opened, since the unit takes its list of destinations when it is constructed, and
// lives until the end, so that destinations keep the numbers `auhost destinations` shows.
#pragma once

#include "Monitor/RecordingDestination.h"

class MonitorEndpoint {
public:
    static constexpr const char* kName = "auhost monitor";

    // The monitor's names, with nothing kept: for a monitor that records its own way.
    static RecordingSettings Settings() { return {kName, 0, "auhost", false, 0}; }

    // readProc receives what is sent to the monitor, on the MIDI services' scheduler thread.
    // Throws std::runtime_error when the client or the destination cannot be created.
    MonitorEndpoint(MIDIReadProc readProc, void* refCon)
        : mDestination(Settings(), readProc, refCon)
    {
    }

    MIDIEndpointRef Destination() const { return mDestination.Endpoint(); }

private:
    RecordingDestination mDestination;
};
