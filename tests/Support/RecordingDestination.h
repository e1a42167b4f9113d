// A virtual MIDI destination that records every packet it receives with its stamp, as a
// synthesiser or another program would receive it. It asks for packets as early as the MIDI
// services allow, so a test gets them at once, stamps unchanged. Create it before opening a unit:
// a unit lists the destinations it can send to when it is made.
#pragma once

#include <CoreMIDI/MIDIServices.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

struct RecordedPacket {
    MIDITimeStamp stamp;
    std::vector<Byte> bytes;
};

// The bytes of each packet, in order.
inline std::vector<std::vector<Byte>> BytesOf(const std::vector<RecordedPacket>& packets)
{
    std::vector<std::vector<Byte>> bytes;
    for (const RecordedPacket& packet : packets)
        bytes.push_back(packet.bytes);
    return bytes;
}

class RecordingDestination {
public:
    // Takes each packet on the MIDI services' thread instead of keeping it.
    using Listener = void (*)(void* refCon, const MIDIPacket& packet);

    explicit RecordingDestination(const std::string& name);
    ~RecordingDestination();
    RecordingDestination(const RecordingDestination&) = delete;
    RecordingDestination& operator=(const RecordingDestination&) = delete;

    void Listen(Listener listener, void* refCon);
    MIDIEndpointRef Endpoint() const { return mEndpoint; }
    // Waits until `count` packets have arrived in all, or the timeout passed; returns what arrived.
    std::vector<RecordedPacket>
    WaitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    // What arrived, after waiting a little for stragglers of a send that just returned: what
    // a test that expects nothing more looks at.
    std::vector<RecordedPacket> Settled();

private:
    static void Read(const MIDIPacketList* list, void* refCon, void* sourceRefCon);

    MIDIClientRef mClient = 0;
    MIDIEndpointRef mEndpoint = 0;
    std::mutex mMutex;
    std::condition_variable mArrived;
    std::vector<RecordedPacket> mPackets;
    Listener mListener = nullptr;
    void* mListenerRefCon = nullptr;
};
