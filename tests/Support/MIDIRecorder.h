// A virtual destination for tests: records every packet it receives with its arrival time.
#pragma once

#include <CoreAudio/HostTime.h>
#include <CoreFoundation/CFString.h>
#include <CoreMIDI/CoreMIDI.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
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
