// The hand-over from a destination's read procedure to the thread that reads what arrived: each
// packet with the host time it arrived, in a ring allocated once, so that the read procedure
// never waits, locks or allocates. What finds the ring full is counted, not kept.
#pragma once

#include <CoreMIDI/MIDIServices.h>

#include <atomic>
#include <memory>

// The stand-in's packet ring, shared with its MIDI backends.
class MIDIPacketRing;

class ArrivalRing {
public:
    // packets must be a power of two.
    explicit ArrivalRing(UInt32 packets);
    ~ArrivalRing();
    ArrivalRing(const ArrivalRing&) = delete;
    ArrivalRing& operator=(const ArrivalRing&) = delete;

    // Keeps every packet of the list as arrived at that host time. [scheduler-thread]
    void Take(const MIDIPacketList* list, UInt64 arrival);
    // The oldest packet not yet read and when it arrived; false when there is none.
    // [single-consumer]
    bool Pop(MIDIPacket& packet, UInt64& arrival);
    // Messages of the packets that found the ring full. [any-thread]
    UInt64 LostMessages() const { return mLost.load(std::memory_order_relaxed); }

private:
    const std::unique_ptr<MIDIPacketRing> mRing;
    std::atomic<UInt64> mLost{0};
};
