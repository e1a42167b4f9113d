// A virtual MIDI destination that records every message it receives with its packet's stamp, as
// a synthesiser or another program would receive it. It asks for its packets as early as the
// MIDI services allow, so a test gets them at once, stamps unchanged. Create it before opening a
// unit: a unit lists the destinations it can send to when it is made.
#pragma once

#include <CoreMIDI/MIDIServices.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

struct RecordedMessage {
    MIDITimeStamp stamp;
    std::vector<Byte> bytes;
    bool operator==(const RecordedMessage& other) const
    {
        return stamp == other.stamp && bytes == other.bytes;
    }
};

// The bytes of each message, in order.
inline std::vector<std::vector<Byte>> BytesOf(const std::vector<RecordedMessage>& messages)
{
    std::vector<std::vector<Byte>> bytes;
    for (const RecordedMessage& message : messages)
        bytes.push_back(message.bytes);
    return bytes;
}

class RecordingDestination {
public:
    // Called with each message as it arrives, on the MIDI services' thread, instead of keeping it.
    using Listener = void (*)(void* refCon, MIDITimeStamp stamp, const Byte* bytes, size_t length);

    explicit RecordingDestination(const std::string& name);
    ~RecordingDestination();
    RecordingDestination(const RecordingDestination&) = delete;
    RecordingDestination& operator=(const RecordingDestination&) = delete;

    MIDIEndpointRef Endpoint() const { return mEndpoint; }
    // Hands every later message to `listener` rather than recording it.
    void Listen(Listener listener, void* refCon);

    // Waits until `count` messages have arrived in all, or the timeout passed; returns what
    // arrived. [host-thread]
    std::vector<RecordedMessage>
    WaitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    // What arrived so far, after waiting a little for stragglers of a send that just returned.
    std::vector<RecordedMessage> Settled();

    // The length of the message that begins with `status`: 0 for a byte that begins none.
    static size_t MessageLength(Byte status);

private:
    static void Read(const MIDIPacketList* list, void* refCon, void* sourceRefCon);

    MIDIClientRef mClient = 0;
    MIDIEndpointRef mEndpoint = 0;
    std::mutex mMutex;
    std::condition_variable mArrived;
    std::vector<RecordedMessage> mMessages;
    Listener mListener = nullptr;
    void* mListenerRefCon = nullptr;
};
