#include "RecordingDestination.h"

#include <CoreFoundation/CFString.h>

#include <limits>
#include <stdexcept>
#include <thread>

RecordingDestination::RecordingDestination(const std::string& name)
{
    CFStringRef cfName = CFStringCreateWithCString(nullptr, name.c_str(), kCFStringEncodingUTF8);
    OSStatus status = MIDIClientCreate(cfName, nullptr, nullptr, &mClient);
    if (status == noErr)
        status = MIDIDestinationCreate(mClient, cfName, &Read, this, &mEndpoint);
    CFRelease(cfName);
    if (status == noErr)
        status = MIDIObjectSetIntegerProperty(mEndpoint, kMIDIPropertyAdvanceScheduleTimeMuSec,
                                              std::numeric_limits<SInt32>::max());
    if (status != noErr)
        throw std::runtime_error("RecordingDestination: cannot create " + name);
}

RecordingDestination::~RecordingDestination()
{
    MIDIClientDispose(mClient);
}

void RecordingDestination::Listen(Listener listener, void* refCon)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mListener = listener;
    mListenerRefCon = refCon;
}

std::vector<RecordedPacket> RecordingDestination::WaitFor(size_t count,
                                                          std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mMutex);
    mArrived.wait_for(lock, timeout, [&] { return mPackets.size() >= count; });
    return mPackets;
}

std::vector<RecordedPacket> RecordingDestination::Settled()
{
    // Packets due now are delivered within microseconds.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::lock_guard<std::mutex> lock(mMutex);
    return mPackets;
}

void RecordingDestination::Read(const MIDIPacketList* list, void* refCon, void*)
{
    auto* self = static_cast<RecordingDestination*>(refCon);
    std::lock_guard<std::mutex> lock(self->mMutex);
    const MIDIPacket* packet = &list->packet[0];
    for (UInt32 n = 0; n < list->numPackets; ++n, packet = MIDIPacketNext(packet)) {
        if (self->mListener != nullptr)
            self->mListener(self->mListenerRefCon, *packet);
        else
            self->mPackets.push_back(
                {packet->timeStamp,
                 std::vector<Byte>(packet->data, packet->data + packet->length)});
    }
    self->mArrived.notify_all();
}
