#include "MonitorEndpoint.h"

#include "StatusText.h"

#include <CoreFoundation/CoreFoundation.h>

#include <stdexcept>
#include <string>

MonitorEndpoint::MonitorEndpoint(MIDIReadProc readProc, void* refCon)
{
    OSStatus status = MIDIClientCreate(CFSTR("auhost"), nullptr, nullptr, &mClient);
    if (status != noErr) {
        throw std::runtime_error("cannot create the MIDI client: " + StatusReason(status));
    }
    CFStringRef name = CFStringCreateWithCString(nullptr, kName, kCFStringEncodingUTF8);
    status = MIDIDestinationCreate(mClient, name, readProc, refCon, &mDestination);
    CFRelease(name);
    if (status != noErr) {
        MIDIClientDispose(mClient);
        throw std::runtime_error(std::string("cannot create the destination \"") + kName +
                                 "\": " + StatusReason(status));
    }
}

MonitorEndpoint::~MonitorEndpoint()
{
    // Disposing the client disposes its destination, after any delivery in progress.
    MIDIClientDispose(mClient);
}
