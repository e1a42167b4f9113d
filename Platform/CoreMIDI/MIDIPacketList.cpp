// Building packet lists. Packets start at 4-byte aligned offsets, so that a packet's 64-bit stamp
// is always read at the alignment its packed struct declares.
//
// Merging rule: a message joins the current packet only when its stamp equals that packet's stamp
// and both the packet and the message begin with a channel status byte (0x80-0xEF), and the joined
// data still fits in 256 bytes and in the list. Anything else (SysEx, system messages, running
// status, a different stamp) starts a new packet, so a packet never mixes SysEx with other data.
#include <CoreMIDI/MIDIServices.h>

#include <cstring>

namespace {

constexpr ByteCount kPacketHeaderSize = offsetof(MIDIPacket, data);
constexpr ByteCount kMaxPacketData = sizeof(MIDIPacket::data);

bool StartsWithChannelMessage(const Byte* data, ByteCount length)
{
    return length > 0 && data[0] >= 0x80 && data[0] < 0xF0;
}

bool Fits(const MIDIPacket* packet, ByteCount dataLength, const Byte* listEnd)
{
    const Byte* start = reinterpret_cast<const Byte*>(packet);
    return start <= listEnd && dataLength <= kMaxPacketData &&
           kPacketHeaderSize + dataLength <= ByteCount(listEnd - start);
}

} // namespace

MIDIPacket* MIDIPacketListInit(MIDIPacketList* pktlist)
{
    if (pktlist == nullptr)
        return nullptr;
    pktlist->numPackets = 0;
    return &pktlist->packet[0];
}

MIDIPacket* MIDIPacketNext(const MIDIPacket* pkt)
{
    if (pkt == nullptr)
        return nullptr;
    const uintptr_t end = reinterpret_cast<uintptr_t>(&pkt->data[pkt->length]);
    return reinterpret_cast<MIDIPacket*>((end + 3) & ~uintptr_t(3));
}

MIDIPacket* MIDIPacketListAdd(MIDIPacketList* pktlist, ByteCount listSize, MIDIPacket* curPacket,
                              MIDITimeStamp time, ByteCount nData, const Byte* data)
{
    if (pktlist == nullptr || curPacket == nullptr || data == nullptr || nData == 0 ||
        nData > kMaxPacketData)
        return nullptr;
    const Byte* listEnd = reinterpret_cast<const Byte*>(pktlist) + listSize;
    if (reinterpret_cast<Byte*>(curPacket) < reinterpret_cast<Byte*>(pktlist->packet))
        return nullptr;

    if (pktlist->numPackets == 0) {
        if (!Fits(curPacket, nData, listEnd))
            return nullptr;
        curPacket->timeStamp = time;
        curPacket->length = UInt16(nData);
        std::memcpy(curPacket->data, data, nData);
        pktlist->numPackets = 1;
        return curPacket;
    }

    if (!Fits(curPacket, 0, listEnd) || !Fits(curPacket, curPacket->length, listEnd))
        return nullptr; // a cursor outside the list
    if (curPacket->timeStamp == time &&
        StartsWithChannelMessage(curPacket->data, curPacket->length) &&
        StartsWithChannelMessage(data, nData) &&
        Fits(curPacket, curPacket->length + nData, listEnd)) {
        std::memcpy(&curPacket->data[curPacket->length], data, nData);
        curPacket->length = UInt16(curPacket->length + nData);
        return curPacket;
    }

    MIDIPacket* next = MIDIPacketNext(curPacket);
    if (!Fits(next, nData, listEnd))
        return nullptr;
    next->timeStamp = time;
    next->length = UInt16(nData);
    std::memcpy(next->data, data, nData);
    ++pktlist->numPackets;
    return next;
}
