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

std::vector<RecordedMessage> RecordingDestination::WaitFor(size_t count,
                                                           std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mMutex);
    mArrived.wait_for(lock, timeout, [&] { return mMessages.size() >= count; });
    return mMessages;
}

std::vector<RecordedMessage> RecordingDestination::Settled()
{
    // Packets sent with a stamp of now or earlier are delivered within microseconds; a test that
    // expects nothing waits this long for what should not come.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::lock_guard<std::mutex> lock(mMutex);
    return mMessages;
}

size_t RecordingDestination::MessageLength(Byte status)
{
    if (status < 0x80)
        return 0;
    if (status < 0xF0)
        return (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 2 : 3;
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    case 0xF0:
    case 0xF4:
    case 0xF5:
    case 0xF7:
        return 0;
    default:
        return 1;
    }
}

void RecordingDestination::Read(const MIDIPacketList* list, void* refCon, void*)
{
    auto* self = static_cast<RecordingDestination*>(refCon);
    std::lock_guard<std::mutex> lock(self->mMutex);
    const MIDIPacket* packet = &list->packet[0];
    for (UInt32 n = 0; n < list->numPackets; ++n, packet = MIDIPacketNext(packet)) {
        size_t at = 0;
        while (at < packet->length) {
            // A byte that begins no message is kept alone, so a test sees it.
            const size_t length = std::max<size_t>(
                1, std::min<size_t>(MessageLength(packet->data[at]), packet->length - at));
            const Byte* bytes = &packet->data[at];
            if (self->mListener != nullptr)
                self->mListener(self->mListenerRefCon, packet->timeStamp, bytes, length);
            else
                self->mMessages.push_back(
                    {packet->timeStamp, std::vector<Byte>(bytes, bytes + length)});
            at += length;
        }
    }
    self->mArrived.notify_all();
}
