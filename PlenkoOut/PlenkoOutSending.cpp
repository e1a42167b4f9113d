// Capture of the host's MIDI and its timed sending: each message is stamped with the host time
// at which its sample falls and sent in packet lists of 512 bytes on every render call.
#include "HostTimeText.h"
#include "PlenkoOut.h"

#include <CoreAudio/HostTime.h>

#include <cmath>
#include <limits>

namespace {

constexpr UInt8 kSystemMessage = 0xF0;

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

// The number of bytes a message goes out as; 0 for a system message that cannot be sent alone.
UInt32 MessageLength(UInt8 status, UInt8 channel)
{
    if (status == kSystemMessage)
        return SystemMessageLength(Byte(kSystemMessage | channel));
    return status == 0xC0 || status == 0xD0 ? 2 : 3;
}

// The bytes a queued message goes out as, and their number. A fixed transmit channel (1 to 16)
// replaces the channel of channel messages; system messages keep their own status byte.
UInt32 OutgoingBytes(const MIDIMessageInfoStruct& message, std::optional<UInt32> txChannel,
                     Byte (&bytes)[3])
{
    bytes[1] = message.data1;
    bytes[2] = message.data2;
    const bool fixedChannel = txChannel && *txChannel >= 1 && *txChannel <= 16;
    bytes[0] = message.status == kSystemMessage
                   ? Byte(kSystemMessage | message.channel)
                   : Byte(message.status | (fixedChannel ? *txChannel - 1 : message.channel));
    return MessageLength(message.status, message.channel);
}

} // namespace

Float64 PlenkoOut::samples2ticks(Float64 samples) const
{
    return samples * (AudioGetHostClockFrequency() / sampleRate.load(std::memory_order_relaxed));
}

OSStatus PlenkoOut::HandleMidiEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2,
                                    UInt32 startFrame)
{
    // Bytes without a status bit, system messages that cannot be sent alone, and data bytes
    // with the status bit would reach the destination as the start of something else.
    const UInt32 length = MessageLength(status, channel);
    if (status < 0x80 || length == 0 || (length >= 2 && data1 >= 0x80) ||
        (length == 3 && data2 >= 0x80))
        return noErr;
    AddMIDIEvent(status, channel, data1, data2, startFrame);
    return noErr;
}

void PlenkoOut::AddMIDIEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2,
                             UInt32 startFrame)
{
    if (endPortRef == 0)
        return;
    midiMessages.Append({status, channel, data1, data2, startFrame});
    if (!log.Enabled())
        return;
    const bool onRenderThread = InRenderThread();
    const char* now = hostTimeToString(AudioGetCurrentHostTime());
    switch (status) {
    case 0x80:
        log.Print(onRenderThread, "AddMIDIEvent: %s, %u [%02d] NoteOff key = %03d, velo = %03d\n",
                  now, unsigned(startFrame), channel, data1, data2);
        break;
    case 0x90:
        log.Print(onRenderThread, "AddMIDIEvent: %s, %u [%02d] NoteOn key = %03d, velo = %03d\n",
                  now, unsigned(startFrame), channel, data1, data2);
        break;
    case 0xC0:
        log.Print(onRenderThread, "AddMIDIEvent: %s, %u [%02d] PRG CHANGE %d\n", now,
                  unsigned(startFrame), channel, data1);
        break;
    case 0xD0:
        log.Print(onRenderThread, "AddMIDIEvent: %s, %u [%02d] CH AFTER TOUCH %02X, %d\n", now,
                  unsigned(startFrame), channel, status, data1);
        break;
    default:
        log.Print(onRenderThread, "AddMIDIEvent: %s, %u [%02d] %02X, %d %d\n", now,
                  unsigned(startFrame), channel, status, data1, data2);
        break;
    }
}

void PlenkoOut::AnchorClock(const AudioTimeStamp& inTimeStamp, UInt32 inNumberFrames)
{
    const Float64 now = Float64(AudioGetCurrentHostTime());
    hostTimeOffset = std::trunc(now - samples2ticks(inTimeStamp.mSampleTime));
    if (log.Enabled())
        log.Print(true, "PlenkoOut::Render( INIT ): [%02.0f] %s, %f, %u\n",
                  double(Globals()->GetParameter(kParameterTXChannel)),
                  hostTimeToString(AudioGetCurrentHostTime()), inTimeStamp.mSampleTime,
                  unsigned(inNumberFrames));
}

OSStatus PlenkoOut::Render(AudioUnitRenderActionFlags& ioActionFlags,
                           const AudioTimeStamp& inTimeStamp, UInt32 inNumberFrames)
{
    lastRenderSampleTime.store(inTimeStamp.mSampleTime, std::memory_order_relaxed);
    lastRenderHostTime.store((inTimeStamp.mFlags & kAudioTimeStampHostTimeValid) != 0
                                 ? inTimeStamp.mHostTime
                                 : kNoHostTime,
                             std::memory_order_relaxed);
    if (std::isnan(hostTimeOffset.load()))
        AnchorClock(inTimeStamp, inNumberFrames);
    const OSStatus status = AUInstrumentBase::Render(ioActionFlags, inTimeStamp, inNumberFrames);
    if (status == noErr)
        FireAtTimeStamp(inTimeStamp);
    log.FlushWithoutBlocking();
    return status;
}

void PlenkoOut::Fire(Sender sender, const AudioTimeStamp* timeStamp)
{
    if (midiMessages.IsEmpty())
        return;
    const bool onRenderThread = InRenderThread();
    if (numDestinations == 0) {
        log.Print(onRenderThread, "PlenkoOut::FireAtTimeStamp: no output device (yet): return.\n");
        return;
    }
    if (endPortRef == 0) {
        log.Print(onRenderThread,
                  "PlenkoOut::FireAtTimeStamp: endPortRef == 0: initialize port.\n");
        updateDestinationPort();
    }
    MIDIMessageQueue::Batch& batch = sender == Sender::kRender ? renderBatch : hostBatch;
    const Float64 usedSampleTime = SendQueued(batch, timeStamp);
    if (log.Enabled())
        LogSent(batch, usedSampleTime);
    batch.clear();
}

Float64 PlenkoOut::SendQueued(MIDIMessageQueue::Batch& batch, const AudioTimeStamp* timeStamp)
{
    std::lock_guard<std::mutex> lock(sendLock);
    // Taken under the lock with the queue, so that a later batch never gets an earlier time.
    SliceTime slice{};
    if (timeStamp != nullptr) {
        slice = {timeStamp->mSampleTime, timeStamp->mHostTime,
                 (timeStamp->mFlags & kAudioTimeStampHostTimeValid) != 0};
    } else {
        const UInt64 hostTime = lastRenderHostTime.load(std::memory_order_relaxed);
        slice = {lastRenderSampleTime.load(std::memory_order_relaxed), hostTime,
                 hostTime != kNoHostTime};
    }
    const Float64 time = slice.sampleTime;
    midiMessages.TakeAll(batch);
    if (batch.empty())
        return time;
    const std::optional<UInt32> txChannel = ParameterValue(kParameterTXChannel);
    const MIDIEndpointRef endpoint = endPortRef;
    MIDIPacketList* list = PacketList();
    MIDIPacket* packet = MIDIPacketListInit(list);
    for (size_t i = 0; i < batch.size(); ++i) {
        QueuedMIDIMessage& queued = batch[i];
        Byte bytes[3];
        const UInt32 length = OutgoingBytes(queued.message, txChannel, bytes);
        queued.stamp = StampOf(slice, queued.message.startFrame);
        MIDIPacket* next =
            MIDIPacketListAdd(list, kPacketListBytes, packet, queued.stamp, length, bytes);
        if (next == nullptr && i > 0) {
            // The list is full: send it and start a new one with this message, which always
            // fits into an empty list.
            batch[i - 1].endsList = true;
            batch[i - 1].sendStatus = MIDISend(outPortRef, endpoint, list);
            packet = MIDIPacketListInit(list);
            next = MIDIPacketListAdd(list, kPacketListBytes, packet, queued.stamp, length, bytes);
        }
        if (next != nullptr)
            packet = next;
    }
    batch.back().endsList = true;
    batch.back().sendStatus = MIDISend(outPortRef, endpoint, list);
    return time;
}

MIDITimeStamp PlenkoOut::StampOf(const SliceTime& slice, UInt32 startFrame) const
{
    if (slice.hostTimeValid) {
        // Whole ticks of the offset added to the host's own count, which stays exact however
        // large it is.
        const Float64 offset = std::trunc(samples2ticks(startFrame));
        const UInt64 room = std::numeric_limits<MIDITimeStamp>::max() - slice.hostTime;
        return offset >= Float64(room) ? std::numeric_limits<MIDITimeStamp>::max()
                                       : slice.hostTime + MIDITimeStamp(offset);
    }
    const Float64 anchor = hostTimeOffset.load();
    if (std::isnan(anchor))
        return 0;
    const Float64 stamp = anchor + samples2ticks(slice.sampleTime + startFrame);
    // Before time 0 (or no number at all) means at once; beyond the clock's range, never sooner.
    if (!(stamp >= 1.0))
        return 0;
    if (stamp >= 18446744073709551616.0) // 2^64
        return std::numeric_limits<MIDITimeStamp>::max();
    return MIDITimeStamp(stamp);
}

void PlenkoOut::LogSent(const MIDIMessageQueue::Batch& batch, Float64 sampleTime)
{
    size_t remaining = batch.size();
    int position = 0;
    for (size_t i = 0; i < batch.size(); ++i) {
        LogFired(batch[i], ++position, remaining, sampleTime);
        if (!batch[i].endsList)
            continue;
        // The message that did not fit was looked at, and logged, before its list went out.
        if (i + 1 < batch.size())
            LogFired(batch[i + 1], position + 1, remaining, sampleTime);
        if (batch[i].sendStatus != noErr)
            log.Print(InRenderThread(), "MIDISend failed: %d", int(batch[i].sendStatus));
        remaining -= size_t(position);
        position = 0;
    }
}

void PlenkoOut::LogFired(const QueuedMIDIMessage& queued, int position, size_t remaining,
                         Float64 sampleTime)
{
    log.Print(InRenderThread(), "PlenkoOut::FireAtTimeStamp: %s %d/%lu: %.0f\n",
              hostTimeToString(queued.stamp), position, static_cast<unsigned long>(remaining),
              sampleTime + queued.message.startFrame);
}
