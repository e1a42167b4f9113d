#include "MIDIMessageSender.h"

#include "HostTimeText.h"

namespace {

constexpr UInt8 kSystemMessage = 0xF0;
constexpr size_t kReservedBatch = 64;

// The length of a system message (0xF1 to 0xFF), or 0 for one that cannot arrive whole as a
// single event: SysEx start and end, and the undefined 0xF4 and 0xF5.
UInt32 SystemMessageLength(UInt8 statusByte)
{
    if (statusByte >= 0xF8 || statusByte == 0xF6)
        return 1;
    switch (statusByte) {
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    default:
        return 0;
    }
}

// The bytes a queued message goes out as, and their number. System messages keep their own
// status byte.
UInt32 OutgoingBytes(const MIDIMessageInfoStruct& message, std::optional<UInt32> txChannel,
                     Byte (&bytes)[3])
{
    bytes[1] = message.data1;
    bytes[2] = message.data2;
    const bool fixedChannel = txChannel && *txChannel >= 1 && *txChannel <= 16;
    bytes[0] = message.status == kSystemMessage
                   ? Byte(kSystemMessage | message.channel)
                   : Byte(message.status | (fixedChannel ? *txChannel - 1 : message.channel));
    return MIDIMessageLength(message.status, message.channel);
}

} // namespace

UInt32 MIDIMessageLength(UInt8 status, UInt8 channel)
{
    if (status == kSystemMessage)
        return SystemMessageLength(Byte(kSystemMessage | channel));
    return status == 0xC0 || status == 0xD0 ? 2 : 3;
}

MIDIMessageSender::MIDIMessageSender(MIDIMessageQueue& queue, const SampleClock& clock,
                                     UnitLog& log)
    : mQueue(queue), mClock(clock), mLog(log), mBuffer(new Byte[kPacketListBytes])
{
    mRenderBatch.reserve(kReservedBatch);
    mHostBatch.reserve(kReservedBatch);
}

void MIDIMessageSender::SendBatch(MIDIMessageQueue::Batch& batch,
                                  const SampleClock::SliceTime& slice, const Route& route)
{
    MIDIPacketList* list = PacketList();
    MIDIPacket* packet = MIDIPacketListInit(list);
    for (size_t i = 0; i < batch.size(); ++i) {
        QueuedMIDIMessage& queued = batch[i];
        Byte bytes[3];
        const UInt32 length = OutgoingBytes(queued.message, route.txChannel, bytes);
        queued.stamp = mClock.StampOf(slice, queued.message.startFrame);
        MIDIPacket* next =
            MIDIPacketListAdd(list, kPacketListBytes, packet, queued.stamp, length, bytes);
        if (next == nullptr && i > 0) {
            // The list is full: send it and start a new one with this message, which always
            // fits into an empty list.
            batch[i - 1].endsList = true;
            batch[i - 1].sendStatus = MIDISend(route.port, route.endpoint, list);
            packet = MIDIPacketListInit(list);
            next = MIDIPacketListAdd(list, kPacketListBytes, packet, queued.stamp, length, bytes);
        }
        if (next != nullptr)
            packet = next;
    }
    batch.back().endsList = true;
    batch.back().sendStatus = MIDISend(route.port, route.endpoint, list);
}

void MIDIMessageSender::LogSent(const MIDIMessageQueue::Batch& batch, Float64 sampleTime,
                                bool onRenderThread)
{
    size_t remaining = batch.size();
    int position = 0;
    for (size_t i = 0; i < batch.size(); ++i) {
        LogSentMessage(batch[i], ++position, remaining, sampleTime, onRenderThread);
        if (!batch[i].endsList)
            continue;
        // The message that did not fit was looked at, and logged, before its list went out.
        if (i + 1 < batch.size())
            LogSentMessage(batch[i + 1], position + 1, remaining, sampleTime, onRenderThread);
        if (batch[i].sendStatus != noErr)
            mLog.Print(onRenderThread, "MIDISend failed: %d", int(batch[i].sendStatus));
        remaining -= size_t(position);
        position = 0;
    }
}

void MIDIMessageSender::LogSentMessage(const QueuedMIDIMessage& queued, int position,
                                       size_t remaining, Float64 sampleTime, bool onRenderThread)
{
    mLog.Print(onRenderThread, "PlenkoOut::FireAtTimeStamp: %s %d/%lu: %.0f\n",
               hostTimeToString(queued.stamp), position, static_cast<unsigned long>(remaining),
               sampleTime + queued.message.startFrame);
}
