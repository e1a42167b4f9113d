// MIDI test helpers: a destination that keeps every packet it receives with its stamp and arrival
// time, a client with an output port, one-packet lists, and readers of the destination list and
// of properties.
#pragma once

#include "CFText.h"
#include "Monitor/RecordingDestination.h"

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

// The bytes of each packet, in order.
std::vector<std::vector<Byte>> BytesOf(const std::vector<ReceivedPacket>& packets);

// A recording destination that keeps every packet it receives, with its stamp and the host time
// it arrived, for a test to wait for and look at.
class MIDIRecorder {
public:
    // Takes each packet on the MIDI services' thread instead of keeping it.
    using Listener = void (*)(void* refCon, const MIDIPacket& packet);

    // In the test's client; packets arrive when their stamps fall due.
    MIDIRecorder(MIDIClientRef client, const std::string& name);
    // As a synthesiser or another program receives: in a client of its own, asking for packets
    // as early as the MIDI services allow, so that a test gets them at once, stamps unchanged.
    // Create it before opening a unit: a unit lists the destinations it can send to when made.
    explicit MIDIRecorder(const std::string& name);

    void Listen(Listener listener, void* refCon);
    MIDIEndpointRef Endpoint() const { return mDestination.Endpoint(); }
    // Waits until `count` packets have arrived in all, or the timeout passed; returns what arrived.
    std::vector<ReceivedPacket>
    WaitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    // What arrived, after waiting a little for stragglers of a send that just returned: what
    // a test that expects nothing more looks at.
    std::vector<ReceivedPacket> Settled();

private:
    static void Read(const MIDIPacketList* list, void* refCon, void*);

    std::mutex mMutex;
    std::condition_variable mArrived;
    std::vector<ReceivedPacket> mPackets;
    Listener mListener = nullptr;
    void* mListenerRefCon = nullptr;
    // Last, so that it goes first, after any delivery in progress.
    RecordingDestination mDestination;
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
