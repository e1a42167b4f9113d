#include "VirtualDestinationBackend.h"

#include "MIDIObjectTable.h"

void VirtualDestinationBackend::Deliver(const MIDIObjectRecord& destination,
                                        const MIDIPacketList& list)
{
    if (destination.mReadProc != nullptr)
        destination.mReadProc(&list, destination.mReadRefCon, nullptr);
}
