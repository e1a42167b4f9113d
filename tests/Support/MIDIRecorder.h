// MIDI test helpers: a virtual destination that records every packet it receives with its arrival
// time, a client with an output port, one-packet lists, and readers of the destination list and
// of properties.
#pragma once

#include "CFText.h"

#include <CoreAudio/HostTime.h>
#include <CoreFoundation/CFString.h>
#include <CoreMIDI/CoreMIDI.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

struct ReceivedPacket {
    MIDITimeStamp stamp;
    UInt64 arrival;
    std::vector<Byte> data;
};

class MIDIRecorder {
public:
    MIDIRecorder(MIDIClientRef client, const char* name)
    {
        CFStringRef cfName = CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8);
        EXPECT_EQ(MIDIDestinationCreate(client, cfName, &Read, this, &mEndpoint), noErr);
        CFRelease(cfName);
    }
    ~MIDIRecorder() { MIDIEndpointDispose(mEndpoint); }
    MIDIRecorder(const MIDIRecorder&) = delete;
    MIDIRecorder& operator=(const MIDIRecorder&) = delete;

    MIDIEndpointRef Endpoint() const { return mEndpoint; }

    // Waits until at least count packets have arrived (or the timeout passed) and returns all.
    std::vector<ReceivedPacket>
    WaitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
    {
        std::unique_lock<std::mutex> lock(mMutex);
        mArrived.wait_for(lock, timeout, [&] { return mPackets.size() >= count; });
        return mPackets;
    }

private:
    static void Read(const MIDIPacketList* list, void* refCon, void*)
    {
        const UInt64 now = AudioGetCurrentHostTime();
        auto* self = static_cast<MIDIRecorder*>(refCon);
        std::lock_guard<std::mutex> lock(self->mMutex);
        const MIDIPacket* packet = &list->packet[0];
        for (UInt32 n = 0; n < list->numPackets; ++n, packet = MIDIPacketNext(packet))
            self->mPackets.push_back(
                {packet->timeStamp, now,
                 std::vector<Byte>(packet->data, packet->data + packet->length)});
        self->mArrived.notify_all();
    }

    MIDIEndpointRef mEndpoint = 0;
    std::mutex mMutex;
    std::condition_variable mArrived;
    std::vector<ReceivedPacket> mPackets;
};

// A client with one output port, disposed (with everything it owns) at the end of the scope.
class MIDITestClient {
public:
    MIDITestClient()
    {
        EXPECT_EQ(MIDIClientCreate(CFSTR("Test Client"), nullptr, nullptr, &mClient), noErr);
        EXPECT_EQ(MIDIOutputPortCreate(mClient, CFSTR("Test Output"), &mPort), noErr);
    }
    ~MIDITestClient() { MIDIClientDispose(mClient); }
    MIDITestClient(const MIDITestClient&) = delete;
    MIDITestClient& operator=(const MIDITestClient&) = delete;

    MIDIClientRef Client() const { return mClient; }
    MIDIPortRef Port() const { return mPort; }

private:
    MIDIClientRef mClient = 0;
    MIDIPortRef mPort = 0;
};

// A one-packet list on the stack.
inline MIDIPacketList OnePacket(MIDITimeStamp stamp, std::initializer_list<Byte> data)
{
    MIDIPacketList list{};
    MIDIPacket* packet = MIDIPacketListInit(&list);
    std::vector<Byte> bytes(data);
    MIDIPacketListAdd(&list, sizeof list, packet, stamp, bytes.size(), bytes.data());
    return list;
}

// A string property as UTF-8, or "<none>".
inline std::string StringProperty(MIDIObjectRef object, CFStringRef property)
{
    CFStringRef value = nullptr;
    if (MIDIObjectGetStringProperty(object, property, &value) != noErr || value == nullptr)
        return "<none>";
    std::string text = TextOf(value);
    CFRelease(value);
    return text;
}

// An integer property, expected to be answered.
inline SInt32 IntegerProperty(MIDIObjectRef object, CFStringRef property)
{
    SInt32 value = -12345;
    EXPECT_EQ(MIDIObjectGetIntegerProperty(object, property, &value), noErr);
    return value;
}

// What became of the messages sent to a destination, as its counts say.
struct MessageCounts {
    SInt32 delivered = 0;
    SInt32 refused = 0;
    SInt32 offline = 0;
    SInt32 dropped = 0;

    SInt32 Sum() const { return delivered + refused + offline + dropped; }
    bool operator==(const MessageCounts& other) const
    {
        return delivered == other.delivered && refused == other.refused &&
               offline == other.offline && dropped == other.dropped;
    }
};

inline std::ostream& operator<<(std::ostream& out, const MessageCounts& counts)
{
    return out << "delivered " << counts.delivered << ", refused " << counts.refused << ", offline "
               << counts.offline << ", dropped " << counts.dropped;
}

inline MessageCounts MessageCountsOf(MIDIEndpointRef destination)
{
    return {IntegerProperty(destination, kMIDIPropertyDeliveredMessageCount),
            IntegerProperty(destination, kMIDIPropertyRefusedMessageCount),
            IntegerProperty(destination, kMIDIPropertyOfflineMessageCount),
            IntegerProperty(destination, kMIDIPropertyDroppedMessageCount)};
}

// The counts once they account for at least sent messages, or after five seconds.
inline MessageCounts WaitForMessageCounts(MIDIEndpointRef destination, SInt32 sent)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    MessageCounts counts = MessageCountsOf(destination);
    while (counts.Sum() < sent && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        counts = MessageCountsOf(destination);
    }
    return counts;
}

inline std::vector<MIDIEndpointRef> Destinations()
{
    std::vector<MIDIEndpointRef> all;
    for (ItemCount i = 0; i < MIDIGetNumberOfDestinations(); ++i)
        all.push_back(MIDIGetDestination(i));
    return all;
}

// The destination of that display name once it is listed, or 0 after five seconds.
inline MIDIEndpointRef WaitForDestination(const std::string& displayName)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        for (MIDIEndpointRef destination : Destinations())
            if (StringProperty(destination, kMIDIPropertyDisplayName) == displayName)
                return destination;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < until);
    return 0;
}

// Whether the destination left the list within five seconds.
inline bool WaitUntilGone(MIDIEndpointRef destination)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        const std::vector<MIDIEndpointRef> all = Destinations();
        if (std::find(all.begin(), all.end(), destination) == all.end())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < until);
    return false;
}
