#include "Monitor/ArrivalRing.h"

#include "MIDIMessageSplitter.h"
#include "MIDIPacketRing.h"

#include <algorithm>

ArrivalRing::ArrivalRing(UInt32 packets) : mRing(new MIDIPacketRing(packets)) {}

ArrivalRing::~ArrivalRing() = default;

void ArrivalRing::Take(const MIDIPacketList* list, UInt64 arrival)
{
    const MIDIPacket* packet = &list->packet[0];
    for (UInt32 i = 0; i < list->numPackets; ++i, packet = MIDIPacketNext(packet)) {
        // The ring's slot keeps the arrival where a queued packet keeps its send time.
        MIDIScheduledPacket arrived;
        arrived.mStamp = packet->timeStamp;
        arrived.mTiming.mSent = arrival;
        arrived.mLength = std::min<UInt16>(packet->length, sizeof arrived.mData);
        std::copy(packet->data, packet->data + arrived.mLength, arrived.mData);
        if (!mRing->Push(arrived))
            mLost.fetch_add(CountMessages(arrived.mData, arrived.mLength),
                            std::memory_order_relaxed);
    }
}

bool ArrivalRing::Pop(MIDIPacket& packet, UInt64& arrival)
{
    MIDIScheduledPacket arrived;
    if (!mRing->Pop(arrived))
        return false;
    packet.timeStamp = arrived.mStamp;
    packet.length = arrived.mLength;
    std::copy(arrived.mData, arrived.mData + arrived.mLength, packet.data);
    arrival = arrived.mTiming.mSent;
    return true;
}
