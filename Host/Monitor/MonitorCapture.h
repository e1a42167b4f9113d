// What arrives at auhost's monitor destination. Its read procedure only hands each packet, with
// the host time it arrived, over a ring to the host thread, which splits the packets into
// messages, prints them with their lateness, keeps them for a recording and counts them.
#pragma once

#include "MIDIFile/MIDIFileWriter.h"
#include "Monitor/ArrivalRing.h"

#include <CoreMIDI/MIDIServices.h>

#include <atomic>
#include <ostream>
#include <string>
#include <vector>

class MonitorCapture {
public:
    static constexpr UInt32 kRingPackets = 8192;

    MonitorCapture();
    MonitorCapture(const MonitorCapture&) = delete;
    MonitorCapture& operator=(const MonitorCapture&) = delete;

    // The monitor's read procedure; refCon is the capture. [scheduler-thread]
    static void ReadPackets(const MIDIPacketList* list, void* refCon, void*);

    // The host time that recorded and printed times count from: the unit's clock anchor.
    // [host-thread]
    void SetTimeZero(UInt64 hostTime) { mTimeZero = hostTime; }
    // Delivery is meant to be this far from each stamp (the destination's latency offset), which
    // lateness does not count. [host-thread]
    void SetIntendedDelay(SInt64 nanoseconds) { mIntendedDelay = nanoseconds; }
    // Whether arrival times mean anything: not when everything is taken ahead of its time.
    void SetMeasuringLateness(bool measuring) { mMeasuringLateness = measuring; }

    // Takes what arrived, writes a line per message to out unless it is null, and returns how
    // many messages that was. [host-thread]
    size_t Drain(std::ostream* out);
    // Messages taken by Drain so far. [any-thread]
    UInt64 Received() const { return mReceived.load(std::memory_order_acquire); }
    // Messages delivered to the monitor that its ring had no room for. [any-thread]
    UInt64 LostMessages() const { return mIncoming.LostMessages(); }
    // Makes room for this many messages, so that keeping them allocates no more. [host-thread]
    void Reserve(size_t messages);

    // Lateness of every stamped message, in nanoseconds, sorted. [host-thread]
    std::vector<SInt64> SortedLateness() const;
    // The file of what arrived, each message at the time its stamp names. [host-thread]
    std::vector<Byte> Recording() const;

    // The words of a message: "note on 60 velocity 100 channel 1". [any-thread]
    static std::string Describe(const Byte* bytes, size_t length);

private:
    struct Arrival {
        UInt64 mTime; // from the time zero, in nanoseconds
        Byte mBytes[3];
        UInt8 mLength;
    };

    void Take(const MIDIPacket& packet, UInt64 arrival, std::ostream* out);

    ArrivalRing mIncoming;
    std::atomic<UInt64> mReceived{0};
    UInt64 mTimeZero = 0;
    SInt64 mIntendedDelay = 0;
    bool mMeasuringLateness = true;
    std::vector<Arrival> mArrivals;
    std::vector<SInt64> mLateness;
};
