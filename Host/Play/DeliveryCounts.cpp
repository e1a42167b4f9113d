#include "Play/DeliveryCounts.h"

#include "Monitor/MonitorCapture.h"

#include <algorithm>

namespace {

UInt64 Count(MIDIEndpointRef destination, CFStringRef property)
{
    SInt32 value = 0;
    // The counts are kept in 32 bits, read as unsigned so that a difference across a wrap holds.
    return MIDIObjectGetIntegerProperty(destination, property, &value) == noErr ? UInt32(value) : 0;
}

// after - before of a 32-bit count.
UInt64 Since(UInt64 after, UInt64 before)
{
    return UInt32(after - before);
}

} // namespace

DeliveryTracker::DeliveryTracker(MIDIEndpointRef destination, const MonitorCapture* capture)
    : mDestination(destination), mCapture(capture), mBefore(Read())
{
}

DeliveryCounts DeliveryTracker::Read() const
{
    DeliveryCounts counts;
    counts.mDelivered = Count(mDestination, kMIDIPropertyDeliveredMessageCount);
    counts.mRefused = Count(mDestination, kMIDIPropertyRefusedMessageCount);
    counts.mOffline = Count(mDestination, kMIDIPropertyOfflineMessageCount);
    counts.mDropped = Count(mDestination, kMIDIPropertyDroppedMessageCount);
    return counts;
}

void DeliveryTracker::Update()
{
    const DeliveryCounts now = Read();
    mCounts.mDelivered = Since(now.mDelivered, mBefore.mDelivered);
    mCounts.mRefused = Since(now.mRefused, mBefore.mRefused);
    mCounts.mOffline = Since(now.mOffline, mBefore.mOffline);
    mCounts.mDropped = Since(now.mDropped, mBefore.mDropped);
    UInt64 settled = mCounts.Settled();
    if (mCapture != nullptr) {
        // Given to the monitor is not yet taken from it: count what the host thread took.
        const UInt64 taken = mCapture->Received() + mCapture->LostMessages();
        settled = settled - mCounts.mDelivered + std::min(taken, mCounts.mDelivered);
    }
    mSettled.store(settled, std::memory_order_release);
}
