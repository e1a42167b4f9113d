// The C entry points of the MIDI services: each turns a missing service or an escaping
// exception into a status and hands the call to the shared MIDIServer.
#include "MIDIServer.h"

#include <CoreAudio/CoreAudioTypes.h>
#include <CoreFoundation/CFString.h>

const CFStringRef kMIDIPropertyName = CFSTR("name");
const CFStringRef kMIDIPropertyDisplayName = CFSTR("displayName");
const CFStringRef kMIDIPropertyUniqueID = CFSTR("uniqueID");
const CFStringRef kMIDIPropertyIsEmbeddedEntity = CFSTR("embedded");
const CFStringRef kMIDIPropertyAdvanceScheduleTimeMuSec = CFSTR("advanceScheduleTimeMuSec");
const CFStringRef kMIDIPropertyLatencyOffsetMuSec = CFSTR("latencyOffsetMuSec");
const CFStringRef kMIDIPropertyDeliveryDelayMuSec = CFSTR("deliveryDelayMuSec");
const CFStringRef kMIDIPropertyLatePacketCount = CFSTR("latePacketCount");
const CFStringRef kMIDIPropertyDroppedPacketCount = CFSTR("droppedPacketCount");
const CFStringRef kMIDIPropertyDeliveredMessageCount = CFSTR("deliveredMessageCount");
const CFStringRef kMIDIPropertyRefusedMessageCount = CFSTR("refusedMessageCount");
const CFStringRef kMIDIPropertyOfflineMessageCount = CFSTR("offlineMessageCount");
const CFStringRef kMIDIPropertyDroppedMessageCount = CFSTR("droppedMessageCount");
const CFStringRef kMIDIPropertyOffline = CFSTR("offline");

namespace {

template <typename Call> OSStatus WithServer(Call call)
{
    try {
        MIDIServer* server = MIDIServer::Shared();
        return server != nullptr ? call(*server) : OSStatus(kMIDIServerStartErr);
    } catch (...) {
        return kMIDIUnknownError;
    }
}

} // namespace

OSStatus MIDIClientCreate(CFStringRef name, MIDINotifyProc notifyProc, void* notifyRefCon,
                          MIDIClientRef* outClient)
{
    return WithServer([&](MIDIServer& server) {
        return server.CreateClient(name, notifyProc, notifyRefCon, outClient);
    });
}

OSStatus MIDIClientDispose(MIDIClientRef client)
{
    return WithServer(
        [&](MIDIServer& server) { return server.Dispose(client, MIDIObjectKind::Client); });
}

OSStatus MIDIOutputPortCreate(MIDIClientRef client, CFStringRef portName, MIDIPortRef* outPort)
{
    return WithServer(
        [&](MIDIServer& server) { return server.CreateOutputPort(client, portName, outPort); });
}

OSStatus MIDIPortDispose(MIDIPortRef port)
{
    return WithServer(
        [&](MIDIServer& server) { return server.Dispose(port, MIDIObjectKind::Port); });
}

OSStatus MIDIDestinationCreate(MIDIClientRef client, CFStringRef name, MIDIReadProc readProc,
                               void* refCon, MIDIEndpointRef* outDest)
{
    return WithServer([&](MIDIServer& server) {
        return server.CreateDestination(client, name, readProc, refCon, outDest);
    });
}

OSStatus MIDIEndpointDispose(MIDIEndpointRef endpt)
{
    return WithServer(
        [&](MIDIServer& server) { return server.Dispose(endpt, MIDIObjectKind::Endpoint); });
}

ItemCount MIDIGetNumberOfDestinations(void)
{
    try {
        MIDIServer* server = MIDIServer::Shared();
        return server != nullptr ? server->NumberOfDestinations() : 0;
    } catch (...) {
        return 0;
    }
}

MIDIEndpointRef MIDIGetDestination(ItemCount destIndex0)
{
    try {
        MIDIServer* server = MIDIServer::Shared();
        return server != nullptr ? server->Destination(destIndex0) : 0;
    } catch (...) {
        return 0;
    }
}

OSStatus MIDIObjectGetStringProperty(MIDIObjectRef obj, CFStringRef propertyID, CFStringRef* str)
{
    return WithServer(
        [&](MIDIServer& server) { return server.GetStringProperty(obj, propertyID, str); });
}

OSStatus MIDIObjectGetIntegerProperty(MIDIObjectRef obj, CFStringRef propertyID, SInt32* outValue)
{
    return WithServer(
        [&](MIDIServer& server) { return server.GetIntegerProperty(obj, propertyID, outValue); });
}

OSStatus MIDIObjectSetIntegerProperty(MIDIObjectRef obj, CFStringRef propertyID, SInt32 value)
{
    return WithServer(
        [&](MIDIServer& server) { return server.SetIntegerProperty(obj, propertyID, value); });
}

OSStatus MIDISend(MIDIPortRef port, MIDIEndpointRef dest, const MIDIPacketList* pktlist)
{
    MIDIServer* server = MIDIServer::Shared();
    return server != nullptr ? server->Send(port, dest, pktlist) : OSStatus(kMIDIServerStartErr);
}

OSStatus MIDIGetAudioServerCycle(MIDIAudioServerCycle* outCycle)
{
    if (outCycle == nullptr)
        return kAudio_ParamError;
    MIDIServer* server = MIDIServer::Shared();
    return server != nullptr ? server->AudioServerCycle(*outCycle) : OSStatus(kMIDIServerStartErr);
}
