// One packet on its way from a send to a destination, with what the send fixed for it: the
// element of the MIDI services' queues and of the packet ring that hands packets between threads.
#pragma once

#include <CoreMIDI/MIDIServices.h>

// What a send fixes for each of its packets: when it happened, and where the destination's delay
// and latency offset (mLateness) and its advance time put delivery against a packet's stamp.
struct MIDISendTiming {
    UInt64 mSent = 0;
    SInt64 mLatenessNanos = 0;
    SInt64 mAdvanceNanos = 0;
    bool mAtSend = false; // an unlimited advance time: every packet is due when sent
};

// One sent packet on its way to its destination.
struct MIDIScheduledPacket {
    MIDITimeStamp mStamp = 0;
    MIDISendTiming mTiming;
    UInt64 mDue = 0;      // host time at which it falls due
    UInt64 mSequence = 0; // send order, across all senders
    MIDIEndpointRef mDestination = 0;
    UInt32 mPresence = 0; // the destination's presence at the send
    // Counted as delivered after its due time already, or never to be (a stamp of 0, "now").
    bool mLateAccounted = false;
    UInt16 mLength = 0;
    Byte mData[sizeof(MIDIPacket::data)] = {};
};
