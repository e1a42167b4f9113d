// Cuts the bytes of a packet into single messages, for receivers that take one message per event
// (JACK's MIDI ports) and for whoever counts or records what arrived: channel messages by their
// status, with a running status written out again; SysEx from F0 through F7; system common and
// real-time messages by their kind. Bytes that follow no status (the rest of a SysEx begun in an
// earlier packet) form one piece up to the next status.
#pragma once

#include <MacTypes.h>

class MIDIMessageSplitter {
public:
    MIDIMessageSplitter(const Byte* data, UInt16 length) : mData(data), mLength(length) {}

    // The next message, pointing into the packet or, under running status, into the splitter;
    // false at the end.
    bool Next(const Byte*& message, UInt16& length)
    {
        mStart = mNext;
        if (mNext >= mLength)
            return false;
        const Byte first = mData[mNext];
        if (first < 0x80 && mRunningStatus != 0) {
            const UInt16 size = ChannelMessageLength(mRunningStatus);
            mRestored[0] = mRunningStatus;
            UInt16 taken = 0;
            while (taken + 1 < size && mNext < mLength && mData[mNext] < 0x80)
                mRestored[1 + taken++] = mData[mNext++];
            message = mRestored;
            length = UInt16(1 + taken);
            return true;
        }
        UInt16 end = mNext + 1;
        if (first < 0x80) {
            while (end < mLength && mData[end] < 0x80)
                ++end;
            if (end < mLength && mData[end] == 0xF7)
                ++end;
        } else if (first == 0xF0) {
            while (end < mLength && mData[end - 1] != 0xF7)
                ++end;
        } else {
            const UInt16 size =
                first < 0xF0 ? ChannelMessageLength(first) : SystemMessageLength(first);
            while (end < mLength && end - mNext < size && mData[end] < 0x80)
                ++end;
        }
        if (first >= 0x80 && first < 0xF0)
            mRunningStatus = first;
        else if (first >= 0xF0 && first < 0xF8)
            mRunningStatus = 0; // system common messages end a running status; real-time ones not
        message = &mData[mNext];
        length = UInt16(end - mNext);
        mNext = end;
        return true;
    }

    // Where the message that Next gave last begins in the packet, and the running status it was
    // read under (0 if none), so that a receiver may keep the rest of the packet for later.
    UInt16 MessageStart() const { return mStart; }
    Byte RunningStatus() const { return mRunningStatus; }

private:
    static UInt16 ChannelMessageLength(Byte status)
    {
        return status >= 0xC0 && status < 0xE0 ? 2 : 3;
    }
    static UInt16 SystemMessageLength(Byte status)
    {
        return status == 0xF2 ? 3 : status == 0xF1 || status == 0xF3 ? 2 : 1;
    }

    const Byte* mData;
    UInt16 mLength;
    UInt16 mNext = 0;
    UInt16 mStart = 0;
    Byte mRunningStatus = 0;
    Byte mRestored[3] = {};
};

// How many messages the splitter finds in the bytes: what the services count per destination
// (of a packet not yet delivered, or the rest of one partly delivered).
inline UInt16 CountMessages(const Byte* data, UInt16 length)
{
    MIDIMessageSplitter messages(data, length);
    const Byte* message = nullptr;
    UInt16 messageLength = 0;
    UInt16 count = 0;
    while (messages.Next(message, messageLength))
        ++count;
    return count;
}
