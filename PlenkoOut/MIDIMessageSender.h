// The unit's outgoing MIDI: takes the waiting messages in one hand-off, packs them with their
// stamps into packet lists of 512 bytes, hands each list to MIDISend, and logs what went out once
// the lists are gone.
#pragma once

#include "MIDIMessageQueue.h"
#include "SampleClock.h"
#include "UnitLog.h"

#include <CoreMIDI/MIDIServices.h>

#include <memory>
#include <mutex>
#include <optional>

// The number of bytes a message goes out as; 0 for a system message that cannot be sent alone.
// [any-thread]
UInt32 MIDIMessageLength(UInt8 status, UInt8 channel);

class MIDIMessageSender {
public:
    static constexpr UInt32 kPacketListBytes = 512;

    // Whoever sends keeps a batch of its own: the render thread, and the host thread that sets
    // the presentation latency.
    enum class Caller { kRender, kHost };

    // Where the messages of a send go: a fixed transmit channel (1 to 16) replaces the channel
    // of channel messages.
    struct Route {
        MIDIPortRef port;
        MIDIEndpointRef endpoint;
        std::optional<UInt32> txChannel;
    };

    // Sends from `queue`, stamped on `clock`, logging into `log`. [host-thread]
    MIDIMessageSender(MIDIMessageQueue& queue, const SampleClock& clock, UnitLog& log);

    MIDIPacketList* PacketList() { return reinterpret_cast<MIDIPacketList*>(mBuffer.get()); }

    // Sends everything waiting at the slice's time given, or (null) at that of the most recent
    // render call. The time, the messages and `readRoute()` are taken together under the send
    // lock, so that lists reach MIDISend in the order their messages arrived, a later batch never
    // gets an earlier time, and the route is the one of the moment the messages were taken.
    // Nothing allocates, logs or writes while the lock is held. [any-thread]
    template <typename ReadRoute>
    void Send(Caller caller, const AudioTimeStamp* timeStamp, bool onRenderThread,
              ReadRoute readRoute)
    {
        MIDIMessageQueue::Batch& batch = caller == Caller::kRender ? mRenderBatch : mHostBatch;
        Float64 sampleTime;
        {
            std::lock_guard<std::mutex> lock(mSendLock);
            const SampleClock::SliceTime slice = mClock.SliceOf(timeStamp);
            sampleTime = slice.sampleTime;
            mQueue.TakeAll(batch);
            if (!batch.empty())
                SendBatch(batch, slice, readRoute());
        }
        if (mLog.Enabled())
            LogSent(batch, sampleTime, onRenderThread);
        batch.clear();
    }

private:
    // Packs the batch into lists and sends them, noting in the batch where each list ended.
    void SendBatch(MIDIMessageQueue::Batch& batch, const SampleClock::SliceTime& slice,
                   const Route& route);
    // The log lines of a sent batch, as the lists went out.
    void LogSent(const MIDIMessageQueue::Batch& batch, Float64 sampleTime, bool onRenderThread);
    // The log line of one message of a sent list, at its position in the list.
    void LogSentMessage(const QueuedMIDIMessage& queued, int position, size_t remaining,
                        Float64 sampleTime, bool onRenderThread);

    MIDIMessageQueue& mQueue;
    const SampleClock& mClock;
    UnitLog& mLog;
    std::unique_ptr<Byte[]> mBuffer;
    std::mutex mSendLock;
    MIDIMessageQueue::Batch mRenderBatch;
    MIDIMessageQueue::Batch mHostBatch;
};
