#include "JackDestinationSlots.h"

JackDestinationSlot* JackDestinationSlots::Find(const std::string& portName)
{
    for (JackDestinationSlot& slot : mSlots)
        if (slot.InUse() && slot.mPortName == portName)
            return &slot;
    return nullptr;
}

JackDestinationSlot* JackDestinationSlots::Unused()
{
    for (JackDestinationSlot& slot : mSlots)
        if (!slot.InUse())
            return &slot;
    return nullptr;
}

JackDestinationSlot* JackDestinationSlots::OldestOffline()
{
    JackDestinationSlot* oldest = nullptr;
    for (JackDestinationSlot& slot : mSlots)
        if (slot.InUse() && slot.Offline() &&
            (oldest == nullptr || slot.mOfflineOrder < oldest->mOfflineOrder))
            oldest = &slot;
    return oldest;
}

UInt32 JackDestinationSlots::OfflineCount()
{
    UInt32 offline = 0;
    for (const JackDestinationSlot& slot : mSlots)
        if (slot.InUse() && slot.Offline())
            ++offline;
    return offline;
}

void JackDestinationSlots::MarkOffline(JackDestinationSlot& slot)
{
    slot.mState.store(kJackSlotOffline);
    slot.mOfflineOrder = ++mOfflineCount;
}

void JackDestinationSlots::MarkBack(JackDestinationSlot& slot)
{
    slot.mOfflineOrder = 0;
    slot.mState.store(kJackSlotListed);
}

bool JackDestinationSlots::Want(UInt32 index)
{
    UInt32 listed = kJackSlotListed;
    return mSlots[index].mState.compare_exchange_strong(listed, kJackSlotWanted);
}
