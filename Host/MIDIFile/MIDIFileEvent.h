// One event of a MIDI file, placed in time: the unit of what a player sends and a recorder
// writes. Channel messages carry their bytes inline, with running status resolved; SysEx and
// meta events point into the payload store of the sequence that holds them.
#pragma once

#include <MacTypes.h>

enum : Byte {
    kSysExStatus = 0xF0,       // payload: the message as sent, F0 first
    kSysExEscapeStatus = 0xF7, // payload: the bytes as sent (a SysEx continuation or any message)
    kMetaStatus = 0xFF,        // payload: the meta event's data
};

enum : Byte { kMetaText = 0x01, kMetaEndOfTrack = 0x2F, kMetaTempo = 0x51 };

// The number of data bytes that follow a channel status: one for program change and channel
// pressure, two for the others.
constexpr unsigned ChannelDataLength(Byte status)
{
    return (status & 0xE0) == 0xC0 ? 1 : 2;
}

struct MIDIFileEvent {
    UInt64 mSample = 0; // position at the sequence's sample rate, from the start of the file
    UInt64 mTick = 0;   // position in the file's ticks
    UInt32 mPayloadOffset = 0;
    UInt32 mPayloadLength = 0;
    UInt16 mTrack = 0; // the track chunk it comes from, counted from 0
    Byte mStatus = 0;  // 0x80-0xEF: channel message; kSysExStatus, kSysExEscapeStatus, kMetaStatus
    Byte mData1 = 0;   // the data bytes of a channel message (mData2 unused with one)
    Byte mData2 = 0;
    Byte mMetaType = 0; // the type of a meta event

    bool IsChannelMessage() const { return mStatus < 0xF0; }
    bool IsSysEx() const { return mStatus == kSysExStatus || mStatus == kSysExEscapeStatus; }
    bool IsMeta() const { return mStatus == kMetaStatus; }
    Byte Channel() const { return mStatus & 0x0F; } // of a channel message, 0 to 15
};
