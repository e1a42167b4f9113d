// Checks what reached the validator's monitor destination against what the validator sent the
// unit: every message once, in the order sent, each stamped with the host time its sample
// position names.
//
// Exactness. The unit anchors its sample clock to the host clock at its first render call: the
// anchor is the host time (in whole ticks) of sample time 0. A message at sample position p is
// due at the exact time anchor + p x ticksPerSecond / sampleRate; its stamp must be that time
// truncated to a whole tick. Only where the exact time lies within a thousandth of a tick of a
// whole tick may the stamp be the tick on the other side, since a unit that computes in double
// precision rounds there, host clocks being 2^40 ticks and more. Nothing else is tolerated.
#pragma once

#include <CoreMIDI/MIDIServices.h>

#include <string>
#include <vector>

struct SentMessage {
    std::vector<Byte> mBytes;
    UInt64 mPosition; // sample time of the slice plus the message's offset
};

struct ArrivedMessage {
    std::vector<Byte> mBytes;
    MIDITimeStamp mStamp;
};

// How the unit's clock turns sample positions into host times.
struct StampClock {
    MIDITimeStamp mAnchor;  // host time of sample position 0
    UInt64 mTicksPerSecond; // the host clock's frequency
    UInt64 mSampleRate;
};

// Whether `stamp` is the exact stamp of `position`, as defined above.
bool StampIsExact(const StampClock& clock, UInt64 position, MIDITimeStamp stamp);

// The messages a packet holds, each on its own.
std::vector<ArrivedMessage> SplitPacket(const MIDIPacket& packet);

// What is wrong with the arrivals, one text per problem, at most `most` of them (the last one
// then counts the rest); empty when nothing is.
std::vector<std::string> CompareArrivals(const std::vector<SentMessage>& sent,
                                         const std::vector<ArrivedMessage>& arrived,
                                         const StampClock& clock, size_t most = 5);

// "90 3C 64"
std::string HexText(const std::vector<Byte>& bytes);
