#include "Monitor/RecordingDestination.h"

#include "CommandLine/StatusText.h"

#include "CFOwned.h"

#include <CoreAudio/HostTime.h>
#include <CoreFoundation/CoreFoundation.h>

#include <limits>
#include <stdexcept>

namespace {

CFOwned<CFStringRef> NameString(const std::string& text)
{
    return CFOwned<CFStringRef>(
        CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8));
}

} // namespace

RecordingDestination::RecordingDestination(const RecordingSettings& settings, MIDIReadProc listener,
                                           void* listenerRefCon)
    : mRing(settings.mRingPackets > 0 ? new ArrivalRing(settings.mRingPackets) : nullptr),
      mListener(listener), mListenerRefCon(listenerRefCon)
{
    MIDIClientRef client = settings.mClient;
    if (client == 0) {
        const CFOwned<CFStringRef> clientName =
            NameString(settings.mClientName.empty() ? settings.mName : settings.mClientName);
        const OSStatus status = MIDIClientCreate(clientName, nullptr, nullptr, &mOwnClient);
        if (status != noErr)
            throw std::runtime_error("cannot create the MIDI client: " + StatusReason(status));
        client = mOwnClient;
    }
    OSStatus status =
        MIDIDestinationCreate(client, NameString(settings.mName), Read, this, &mEndpoint);
    if (status == noErr && settings.mAskEarly)
        status = MIDIObjectSetIntegerProperty(mEndpoint, kMIDIPropertyAdvanceScheduleTimeMuSec,
                                              std::numeric_limits<SInt32>::max());
    if (status != noErr) {
        if (mOwnClient != 0)
            MIDIClientDispose(mOwnClient);
        else if (mEndpoint != 0)
            MIDIEndpointDispose(mEndpoint);
        throw std::runtime_error("cannot create the destination \"" + settings.mName +
                                 "\": " + StatusReason(status));
    }
}

RecordingDestination::~RecordingDestination()
{
    // Disposing a client disposes its destinations.
    if (mOwnClient != 0)
        MIDIClientDispose(mOwnClient);
    else
        MIDIEndpointDispose(mEndpoint);
}

void RecordingDestination::Read(const MIDIPacketList* list, void* refCon, void* sourceRefCon)
{
    auto& self = *static_cast<RecordingDestination*>(refCon);
    const UInt64 arrival = AudioGetCurrentHostTime();
    if (self.mListener != nullptr)
        self.mListener(list, self.mListenerRefCon, sourceRefCon);
    if (self.mRing)
        self.mRing->Take(list, arrival);
}
