// Where `auhost play` sends: the destination chosen by --to (by default auhost's monitor), with
// the number the unit's "TX Device" gives it, and the properties play sets on it.
#pragma once

#include "CommandLine/HostCommand.h"
#include "Monitor/MonitorEndpoint.h"

#include <string>

struct PlayRoute {
    size_t mNumber; // as "TX Device" counts
    std::string mName;
    MIDIEndpointRef mEndpoint;
    bool mToMonitor;

    // "2 "synth: in"". [any-thread]
    std::string Text() const { return std::to_string(mNumber) + " \"" + mName + "\""; }
};

// Throws std::runtime_error when --to names no destination, or several. [host-thread]
PlayRoute ChoosePlayRoute(const PlayOptions& options, const MonitorEndpoint& monitor);

// The offset the destination is to move delivery by, and offline, the monitor's taking of every
// packet when it is sent. Throws std::runtime_error when the services refuse. [host-thread]
void SetRouteProperties(const PlayRoute& route, SInt64 offsetMicros, bool offline);
