#include "VirtualDestinationBackend.h"

#include "MIDIObjectTable.h"

#include <cstring>

bool VirtualDestinationBackend::Deliver(const MIDIObjectRecord& destination,
                                        const MIDIScheduledPacket& packet)
{
    if (destination.mReadProc == nullptr)
        return true;
    mDeliveryList.numPackets = 1;
    mDeliveryList.packet[0].timeStamp = packet.mStamp;
    mDeliveryList.packet[0].length = packet.mLength;
    std::memcpy(mDeliveryList.packet[0].data, packet.mData, packet.mLength);
    destination.mReadProc(&mDeliveryList, destination.mReadRefCon, nullptr);
    return true;
}
