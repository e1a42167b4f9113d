// The process's MIDI services behind the C interface: the object table, the destination list in
// creation order, the backends and the scheduler. One instance, made on first use.
#pragma once

#include "MIDIObjectTable.h"
#include "MIDIScheduler.h"
#include "VirtualDestinationBackend.h"

#include <CoreMIDI/MIDIServices.h>

#include <vector>

class MIDIServer {
public:
    // The shared instance, or null when its scheduler thread could not start. [any-thread]
    static MIDIServer* Shared();

    // The services behind the C entry points of the same names; see MIDIServices.h. [host-thread]
    OSStatus CreateClient(CFStringRef name, MIDINotifyProc notifyProc, void* notifyRefCon,
                          MIDIClientRef* outClient);
    OSStatus CreateOutputPort(MIDIClientRef client, CFStringRef name, MIDIPortRef* outPort);
    OSStatus CreateDestination(MIDIClientRef client, CFStringRef name, MIDIReadProc readProc,
                               void* refCon, MIDIEndpointRef* outDestination);
    OSStatus Dispose(MIDIObjectRef object, MIDIObjectKind kind);

    // [any-thread]
    ItemCount NumberOfDestinations();
    MIDIEndpointRef Destination(ItemCount index);

    // [host-thread]
    OSStatus GetStringProperty(MIDIObjectRef object, CFStringRef property, CFStringRef* outValue);
    OSStatus GetIntegerProperty(MIDIObjectRef object, CFStringRef property, SInt32* outValue);
    OSStatus SetIntegerProperty(MIDIObjectRef object, CFStringRef property, SInt32 value);

    // [render-thread]
    OSStatus Send(MIDIPortRef port, MIDIEndpointRef destination, const MIDIPacketList* list);

private:
    MIDIServer() = default;

    template <typename Fill>
    OSStatus Create(MIDIObjectKind kind, MIDIClientRef owner, CFStringRef name, Fill fill,
                    MIDIObjectRef* outObject);

    MIDIObjectTable mTable;
    std::vector<MIDIEndpointRef> mDestinations; // under the table's mutex
    VirtualDestinationBackend mVirtualDestinations;
    MIDIScheduler mScheduler{mTable};
};
