#include "Play/PlayRoute.h"

#include "CommandLine/StatusText.h"
#include "Units/DestinationList.h"

#include <stdexcept>

namespace {

void SetIntegerProperty(MIDIEndpointRef endpoint, CFStringRef property, SInt32 value,
                        const std::string& what)
{
    const OSStatus status = MIDIObjectSetIntegerProperty(endpoint, property, value);
    if (status != noErr) {
        throw std::runtime_error("cannot set " + what + ": " + StatusReason(status));
    }
}

} // namespace

PlayRoute ChoosePlayRoute(const PlayOptions& options, const MonitorEndpoint& monitor)
{
    const std::vector<std::string> names = DestinationNames();
    size_t number = DestinationNumber(monitor.Destination());
    if (options.mDestination) {
        number = ResolveDestination(*options.mDestination, names);
    } else if (number == 0) {
        throw std::runtime_error(std::string("\"") + MonitorEndpoint::kName +
                                 "\" is not among the destinations");
    }
    const MIDIEndpointRef endpoint = MIDIGetDestination(number - 1);
    return {number, names[number - 1], endpoint, endpoint == monitor.Destination()};
}

void SetRouteProperties(const PlayRoute& route, SInt64 offsetMicros, bool offline)
{
    if (offsetMicros != 0) {
        SetIntegerProperty(route.mEndpoint, kMIDIPropertyLatencyOffsetMuSec, SInt32(offsetMicros),
                           "the latency offset of \"" + route.mName + "\"");
    }
    if (offline && route.mToMonitor) {
        // Offline, stamps run ahead of the clock by as much as the song is long: the monitor
        // takes every packet when it is sent.
        SetIntegerProperty(route.mEndpoint, kMIDIPropertyAdvanceScheduleTimeMuSec,
                           kMIDIAdvanceScheduleTimeUnlimited, "the monitor's advance time");
    }
}
