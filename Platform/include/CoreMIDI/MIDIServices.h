// The MIDI services: clients, output ports, destinations with their properties, packet lists and
// time-stamped sending. A destination created here (a virtual destination) receives what is sent
// to it through its read procedure, on the services' scheduler thread. With a JACK server running,
// every JACK MIDI input port of another program is a destination too (a system destination),
// listed while the port exists.
#pragma once

#include <CoreFoundation/CFBase.h>
#include <MacTypes.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned long ItemCount;

typedef UInt32 MIDIObjectRef;
typedef MIDIObjectRef MIDIClientRef;
typedef MIDIObjectRef MIDIPortRef;
typedef MIDIObjectRef MIDIEndpointRef;
typedef UInt64 MIDITimeStamp;
typedef SInt32 MIDIUniqueID;

enum {
    kMIDIInvalidClient = -10830,
    kMIDIInvalidPort = -10831,
    kMIDIWrongEndpointType = -10832,
    kMIDINoConnection = -10833,
    kMIDIUnknownEndpoint = -10834,
    kMIDIUnknownProperty = -10835,
    kMIDIWrongPropertyType = -10836,
    kMIDINoCurrentSetup = -10837,
    kMIDIMessageSendErr = -10838,
    kMIDIServerStartErr = -10839,
    kMIDISetupFormatErr = -10840,
    kMIDIWrongThread = -10841,
    kMIDIObjectNotFound = -10842,
    kMIDIIDNotUnique = -10843,
    kMIDINotPermitted = -10844,
    kMIDIUnknownError = -10845
};

// One or more complete MIDI messages (or a piece of SysEx) that share one host-time stamp.
// Packets follow each other in a list at 4-byte aligned offsets.
#pragma pack(push, 4)
typedef struct MIDIPacket {
    MIDITimeStamp timeStamp;
    UInt16 length;
    Byte data[256];
} MIDIPacket;

typedef struct MIDIPacketList {
    UInt32 numPackets;
    MIDIPacket packet[1];
} MIDIPacketList;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(MIDIPacket) == 268, "MIDIPacket layout");
static_assert(offsetof(MIDIPacket, length) == 8 && offsetof(MIDIPacket, data) == 10,
              "MIDIPacket layout");
static_assert(sizeof(MIDIPacketList) == 272 && offsetof(MIDIPacketList, packet) == 4,
              "MIDIPacketList layout");
#endif

typedef SInt32 MIDINotificationMessageID;
enum {
    kMIDIMsgSetupChanged = 1,
    kMIDIMsgObjectAdded = 2,
    kMIDIMsgObjectRemoved = 3,
    kMIDIMsgPropertyChanged = 4,
    kMIDIMsgThruConnectionsChanged = 5,
    kMIDIMsgSerialPortOwnerChanged = 6,
    kMIDIMsgIOError = 7
};

typedef struct MIDINotification {
    MIDINotificationMessageID messageID;
    UInt32 messageSize;
} MIDINotification;

// Receives changes of the MIDI setup. [scheduler-thread]
typedef void (*MIDINotifyProc)(const MIDINotification* message, void* refCon);
// Receives packets sent to a destination. [scheduler-thread]
typedef void (*MIDIReadProc)(const MIDIPacketList* pktlist, void* readProcRefCon,
                             void* srcConnRefCon);

// Property names (CFSTR constants, never released).
extern const CFStringRef kMIDIPropertyName;
extern const CFStringRef kMIDIPropertyDisplayName;
extern const CFStringRef kMIDIPropertyUniqueID;
extern const CFStringRef kMIDIPropertyIsEmbeddedEntity;
extern const CFStringRef kMIDIPropertyAdvanceScheduleTimeMuSec;
// Beyond the platform's own set, integer properties of destinations:
// - the latency offset (signed, microseconds, writable): shifts the delivery of every packet sent
//   afterwards by that much, negative for earlier. Stamps a read procedure sees are unchanged.
//   A packet the offset would deliver before its send is delivered at once and counted late.
extern const CFStringRef kMIDIPropertyLatencyOffsetMuSec;
// - the delivery delay (microseconds, read-only): the constant time between a stamp and its
//   delivery before the offset, which a system destination needs to place every packet at its
//   exact time within the system's audio cycles; 0 for a virtual destination.
extern const CFStringRef kMIDIPropertyDeliveryDelayMuSec;
// - the packets delivered late (due before their send, or past due when the system took them)
//   and the packets dropped (the system could not take them), counted since the destination
//   appeared (read-only).
extern const CFStringRef kMIDIPropertyLatePacketCount;
extern const CFStringRef kMIDIPropertyDroppedPacketCount;
// - what became of the MIDI messages (not packets: a packet may hold a chord) of every list
//   MIDISend was given for the destination since it appeared (read-only). Once everything due has
//   been delivered, delivered + refused + offline + dropped is every message sent to it:
//   - delivered: given to a virtual destination's read procedure, or written into a cycle of a
//     system destination;
//   - refused: in lists MIDISend refused for want of room (kMIDIMessageSendErr);
//   - offline: sent while the destination was offline (kMIDINoConnection), or still waiting for
//     their time when it went;
//   - dropped: taken, then not delivered (the system could not take or write them, the port that
//     carries them could not be made in time, a packet was malformed for the system).
//   The counts wrap around at 2^32: the difference of two readings, taken as UInt32, is exact.
extern const CFStringRef kMIDIPropertyDeliveredMessageCount;
extern const CFStringRef kMIDIPropertyRefusedMessageCount;
extern const CFStringRef kMIDIPropertyOfflineMessageCount;
extern const CFStringRef kMIDIPropertyDroppedMessageCount;
// - offline (0 or 1): 1 while the destination is gone. A system destination whose port goes away
//   (its program quits, the server stops) keeps its reference and goes offline: MIDISend to it
//   answers kMIDINoConnection, and what was still waiting for it is counted offline, never
//   delivered later. When a port of the same full name appears again (the program restarted, the
//   server back), the same reference is online again, with the same unique id, and sends reach it
//   within a second. Written by a virtual destination's owner (0 or 1), read-only for a system
//   destination. An offline destination is not listed by MIDIGetNumberOfDestinations and
//   MIDIGetDestination; back online it is listed again, at the end. The services keep the 64
//   system destinations that went offline last; one gone longer is disposed (kMIDIUnknownEndpoint
//   from then on).
extern const CFStringRef kMIDIPropertyOffline;

// Set as a destination's kMIDIPropertyAdvanceScheduleTimeMuSec, the destination receives every
// packet when it is sent, whatever its stamp (all 64 bits of it); the stamps it sees are unchanged.
enum { kMIDIAdvanceScheduleTimeUnlimited = 0x7FFFFFFF };

// Creates a client, the owner of ports and destinations. notifyProc, if any, receives
// kMIDIMsgSetupChanged on the scheduler thread after destinations appeared or went, until the
// client's disposal returns. [host-thread]
OSStatus MIDIClientCreate(CFStringRef name, MIDINotifyProc notifyProc, void* notifyRefCon,
                          MIDIClientRef* outClient);
// Disposes a client with its ports and destinations; see MIDIEndpointDispose. [host-thread]
OSStatus MIDIClientDispose(MIDIClientRef client);
// Creates an output port of a client, through which MIDISend sends. [host-thread]
OSStatus MIDIOutputPortCreate(MIDIClientRef client, CFStringRef portName, MIDIPortRef* outPort);
OSStatus MIDIPortDispose(MIDIPortRef port); // [host-thread]

// Creates a virtual destination owned by a client; what is sent to it reaches readProc on the
// scheduler thread. [host-thread]
OSStatus MIDIDestinationCreate(MIDIClientRef client, CFStringRef name, MIDIReadProc readProc,
                               void* refCon, MIDIEndpointRef* outDest);
// Disposes a destination: packets still queued for it are dropped, and once this returns its
// read procedure is never called again (it waits for a delivery in progress, unless called from
// that very read procedure). A system destination is disposed only when its port vanishes, in
// the same way: kMIDINotPermitted here. [host-thread]
OSStatus MIDIEndpointDispose(MIDIEndpointRef endpt);

// The online destinations in the order in which they appeared (or came back), which the others
// keep when one goes; MIDIGetDestination gives 0 for an index out of range. Neither allocates or
// waits for the services' set-up lock (MIDIGetDestination may, beyond the 256th destination, or
// while the list changes again and again), so a render thread may choose with them. [any-thread]
ItemCount MIDIGetNumberOfDestinations(void);
MIDIEndpointRef MIDIGetDestination(ItemCount destIndex0);

// kMIDIPropertyName, kMIDIPropertyDisplayName of any object (of a system destination: the port's
// own name and "program: port"); *str is a new string the caller releases. [host-thread]
OSStatus MIDIObjectGetStringProperty(MIDIObjectRef obj, CFStringRef propertyID, CFStringRef* str);
// kMIDIPropertyUniqueID of any object (of a system destination: the same in every run while the
// port keeps its full name); kMIDIPropertyIsEmbeddedEntity, kMIDIPropertyAdvanceScheduleTimeMuSec
// and the properties beyond the platform's set of endpoints. [host-thread]
OSStatus MIDIObjectGetIntegerProperty(MIDIObjectRef obj, CFStringRef propertyID, SInt32* outValue);
// kMIDIPropertyUniqueID (unique among live objects, else kMIDIIDNotUnique; kMIDINotPermitted for
// a system destination), kMIDIPropertyAdvanceScheduleTimeMuSec (>= 0) and
// kMIDIPropertyLatencyOffsetMuSec are writable; packets already queued may keep their time.
// kMIDIPropertyOffline is writable for a virtual destination. [host-thread]
OSStatus MIDIObjectSetIntegerProperty(MIDIObjectRef obj, CFStringRef propertyID, SInt32 value);

// Empties a list and returns its first packet, the cursor for MIDIPacketListAdd. [any-thread]
MIDIPacket* MIDIPacketListInit(MIDIPacketList* pktlist);
// Appends a message to a list of listSize bytes and returns the packet that holds it, or NULL
// (list unchanged) when it does not fit, a packet would exceed 256 bytes, or an argument is
// unusable. Never allocates. [render-thread]
MIDIPacket* MIDIPacketListAdd(MIDIPacketList* pktlist, ByteCount listSize, MIDIPacket* curPacket,
                              MIDITimeStamp time, ByteCount nData, const Byte* data);
// The packet after pkt in its list. [any-thread]
MIDIPacket* MIDIPacketNext(const MIDIPacket* pkt);

// Queues every packet of the list for delivery to dest at its stamp (0 or a past stamp: at once),
// shifted by dest's delivery delay and latency offset, in stamp order, equal stamps in send order.
// All or nothing: kMIDIMessageSendErr when the queue cannot take the whole list (its messages are
// counted refused; the queue grows, off the sending thread, long before it fills),
// kMIDINoConnection while dest is offline (counted offline). No allocation, no lock, no wait.
// [render-thread]
OSStatus MIDISend(MIDIPortRef port, MIDIEndpointRef dest, const MIDIPacketList* pktlist);

// Beyond the platform's own set: the cycle of the system's audio server (a JACK server) that the
// backend placing packets at its frames last began, timed by the host clock. A host whose audio
// runs in these very cycles takes its own cycle's time from here, so that what it stamps lands at
// exactly the frames it means, however the server's estimate of its cycles moves.
typedef struct MIDIAudioServerCycle {
    MIDITimeStamp start; // host time of the cycle's first frame
    MIDITimeStamp next;  // host time of the next cycle's first frame, as the server expects it
    MIDITimeStamp begun; // host time at which the backend began the cycle
    UInt32 firstFrame;   // the server's count of frames at the cycle's first frame
    UInt32 frames;
    UInt32 sampleRate;
} MIDIAudioServerCycle;
// kMIDINoConnection while no audio server's cycles are known. No allocation, no lock, no wait.
// [render-thread]
OSStatus MIDIGetAudioServerCycle(MIDIAudioServerCycle* outCycle);

#ifdef __cplusplus
}
#endif
