// What became of the messages sent to one destination since play began, by the MIDI services'
// counts of it: delivered, or lost for one of three reasons. The tracker reads them on the host
// thread and publishes how many have settled, which offline play waits for.
#pragma once

#include <CoreMIDI/MIDIServices.h>

#include <atomic>

class MonitorCapture;

struct DeliveryCounts {
    UInt64 mDelivered = 0;
    UInt64 mRefused = 0; // MIDISend had no room for them
    UInt64 mOffline = 0; // sent while the destination was gone
    UInt64 mDropped = 0; // taken, then not delivered

    // Delivered or counted as lost.
    UInt64 Settled() const { return mDelivered + mRefused + mOffline + mDropped; }
};

class DeliveryTracker {
public:
    // Counts from now on. With a capture, delivery means taken by the host thread from the
    // capture (or lost there), which is what the monitor has room for. [host-thread]
    DeliveryTracker(MIDIEndpointRef destination, const MonitorCapture* capture);

    // Reads the counts again and publishes them. [host-thread]
    void Update();
    // The counts of the last update, since construction. [host-thread]
    const DeliveryCounts& Counts() const { return mCounts; }
    // Messages settled at the last update. [any-thread]
    const std::atomic<UInt64>& Settled() const { return mSettled; }

private:
    DeliveryCounts Read() const;

    const MIDIEndpointRef mDestination;
    const MonitorCapture* const mCapture;
    const DeliveryCounts mBefore;
    DeliveryCounts mCounts;
    std::atomic<UInt64> mSettled{0};
};
