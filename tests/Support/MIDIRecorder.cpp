#include "MIDIRecorder.h"

std::vector<std::vector<Byte>> BytesOf(const std::vector<ReceivedPacket>& packets)
{
    std::vector<std::vector<Byte>> bytes;
    for (const ReceivedPacket& packet : packets)
        bytes.push_back(packet.data);
    return bytes;
}

MIDIRecorder::MIDIRecorder(MIDIClientRef client, const std::string& name)
    : mDestination({name, client, "", false, 0}, &Read, this)
{
}

MIDIRecorder::MIDIRecorder(const std::string& name)
    : mDestination({name, 0, name, true, 0}, &Read, this)
{
}

void MIDIRecorder::Listen(Listener listener, void* refCon)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mListener = listener;
    mListenerRefCon = refCon;
}

std::vector<ReceivedPacket> MIDIRecorder::WaitFor(size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mMutex);
    mArrived.wait_for(lock, timeout, [&] { return mPackets.size() >= count; });
    return mPackets;
}

std::vector<ReceivedPacket> MIDIRecorder::Settled()
{
    // Packets due now are delivered within microseconds.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::lock_guard<std::mutex> lock(mMutex);
    return mPackets;
}

void MIDIRecorder::Read(const MIDIPacketList* list, void* refCon, void*)
{
    const UInt64 now = AudioGetCurrentHostTime();
    auto& self = *static_cast<MIDIRecorder*>(refCon);
    std::lock_guard<std::mutex> lock(self.mMutex);
    const MIDIPacket* packet = &list->packet[0];
    for (UInt32 n = 0; n < list->numPackets; ++n, packet = MIDIPacketNext(packet)) {
        if (self.mListener != nullptr)
            self.mListener(self.mListenerRefCon, *packet);
        else
            self.mPackets.push_back(
                {packet->timeStamp, now,
                 std::vector<Byte>(packet->data, packet->data + packet->length)});
    }
    self.mArrived.notify_all();
}
