// auhost's own MIDI client and its virtual destination "auhost monitor". It is created before a
// unit is opened, since the unit takes its list of destinations when it is constructed, and
// lives until the end, so that destinations keep the numbers `auhost destinations` shows.
#pragma once

#include <CoreMIDI/MIDIServices.h>

class MonitorEndpoint {
public:
    static constexpr const char* kName = "auhost monitor";

    // readProc receives what is sent to the monitor, on the MIDI services' scheduler thread.
    // Throws std::runtime_error when the client or the destination cannot be created.
    MonitorEndpoint(MIDIReadProc readProc, void* refCon);
    ~MonitorEndpoint();
    MonitorEndpoint(const MonitorEndpoint&) = delete;
    MonitorEndpoint& operator=(const MonitorEndpoint&) = delete;

    MIDIEndpointRef Destination() const { return mDestination; }

private:
    MIDIClientRef mClient = 0;
    MIDIEndpointRef mDestination = 0;
};
