// The MIDI output unit: a music device that makes no sound and sends the host's MIDI, stamped
// with the host time at which each message's sample falls, to one chosen MIDI destination. Five
// global parameters choose the destination, the channel and a bank and program to send.
#pragma once

#include "AUInstrumentBase.h"
#include "DestinationNames.h"
#include "MIDIMessageQueue.h"
#include "UnitLog.h"

#include <CoreMIDI/MIDIServices.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

// The parameters, all in the global element.
enum : AudioUnitParameterID {
    kParameterTXDevice = 0,
    kParameterTXChannel = 1,
    kParameterPrgChange = 2,
    kParameterBankMSB = 3,
    kParameterBankLSB = 4,
    kNumberOfParameters = 5
};

class PlenkoOut : public AUInstrumentBase {
public:
    static constexpr UInt32 kPacketListBytes = 512;

    // Names the destinations of the moment; no client or port yet. [host-thread]
    explicit PlenkoOut(AudioComponentInstance inComponentInstance);
    ~PlenkoOut() override;

    // Creates the MIDI client and port; no destination is chosen yet. [host-thread & !initialized]
    OSStatus Initialize() override;
    // Forgets the destination, disposes the port and the client. [host-thread & initialized]
    void Cleanup() override;
    // Takes the element's sample rate, re-anchors the clock at the next render call and queues
    // the bank and program messages again. [host-thread]
    OSStatus Reset(AudioUnitScope inScope, AudioUnitElement inElement) override;

    // Presentation latency on the output scope chooses the destination and sends the queue at
    // once; too-short values of a few properties are refused. [host-thread]
    OSStatus SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                         AudioUnitElement inElement, const void* inData,
                         UInt32 inDataSize) override;

    // Stores, then chooses the destination (TX Device) or queues bank and program. [host-thread]
    OSStatus SetParameter(AudioUnitParameterID inID, AudioUnitScope inScope,
                          AudioUnitElement inElement, AudioUnitParameterValue inValue,
                          UInt32 inBufferOffsetInFrames) override;
    // [host-thread]
    OSStatus GetParameterInfo(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                              AudioUnitParameterInfo& outParameterInfo) override;
    OSStatus GetParameterValueStrings(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                      CFArrayRef* outStrings) override;

    // Anchors the clock on the first call, renders silence and sends the queue. [render-thread]
    OSStatus Render(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& inTimeStamp,
                    UInt32 inNumberFrames) override;
    // [host-thread]
    AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement element) override;

    // Queues the message while a destination is chosen; always 0. [render-thread]
    OSStatus HandleMidiEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2,
                             UInt32 startFrame) override;

    // Chooses endPortRef from "TX Device". [host-thread]
    void updateDestinationPort();
    // Logs every global parameter with its name and value. [host-thread]
    void printParameters();
    // Queues bank select and program change as the parameters ask, on a fixed TX channel only.
    // [host-thread]
    void updatePrgChange();
    // Sends everything queued, stamped against this slice's time: its host time when the host
    // gives a valid one, else its sample time on the anchored clock. [render-thread]
    void FireAtTimeStamp(const AudioTimeStamp& inTimeStamp)
    {
        // Most render calls have nothing to send: they need not enter the sending's frame.
        if (!midiMessages.IsEmpty())
            Fire(Sender::kRender, &inTimeStamp);
    }
    // Queues one message, dropped while no destination is chosen. [render-thread]
    void AddMIDIEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2, UInt32 startFrame);
    // Samples at sampleRate as host-clock ticks. [any-thread]
    Float64 samples2ticks(Float64 samples) const;
    MIDIPacketList* PacketList()
    {
        return reinterpret_cast<MIDIPacketList*>(packetListBuffer.get());
    }

private:
    // Whoever sends keeps a batch of its own: the render thread, and the host thread that sets
    // the presentation latency.
    enum class Sender { kRender, kHost };

    // What a send stamps its messages against: a slice's sample time and, when the host gave a
    // valid one, the host time of the slice's first frame.
    struct SliceTime {
        Float64 sampleTime;
        UInt64 hostTime;
        bool hostTimeValid;
    };

    // Ties sample time to the host clock at the first render call after the clock was cleared.
    // [render-thread]
    void AnchorClock(const AudioTimeStamp& inTimeStamp, UInt32 inNumberFrames);
    // Sends the queue at the slice's time given, or (null) at that of the most recent render call.
    void Fire(Sender sender, const AudioTimeStamp* timeStamp);
    // Takes the queue, packs it into lists and sends them; holds only sendLock. Returns the sample
    // time used.
    Float64 SendQueued(MIDIMessageQueue::Batch& batch, const AudioTimeStamp* timeStamp);
    // The log lines of a sent batch, as the lists went out.
    void LogSent(const MIDIMessageQueue::Batch& batch, Float64 sampleTime);
    // The stamp of a message `startFrame` samples into the slice: the slice's host time plus that
    // offset at the sample rate when the host time is valid, else the sample's time on the
    // anchored clock; 0 (at once) while the clock is not anchored or before time 0.
    MIDITimeStamp StampOf(const SliceTime& slice, UInt32 startFrame) const;
    // A global parameter as the whole number its readers act on; nothing when out of range.
    std::optional<UInt32> ParameterValue(AudioUnitParameterID inID);
    // The log line of one message of a sent list, at its position in the list.
    void LogFired(const QueuedMIDIMessage& queued, int position, size_t remaining,
                  Float64 sampleTime);

    MIDIClientRef clientRef = 0;
    MIDIPortRef outPortRef = 0;
    std::atomic<MIDIEndpointRef> endPortRef{0};
    const DestinationNames destinationNames;
    const ItemCount numDestinations;
    std::unique_ptr<Byte[]> packetListBuffer;
    MIDIMessageQueue midiMessages;
    // Host time of sample time 0, truncated to whole ticks; NaN while not anchored. Kept signed,
    // so that a host whose sample time is ahead of the host clock still gets the right stamps.
    std::atomic<Float64> hostTimeOffset;
    std::atomic<Float64> sampleRate{44100.0};

    UnitLog log;
    // Held by a sender while it takes the queue, packs and hands the lists to MIDISend, so that
    // lists reach MIDISend in the order their messages arrived and never share packetListBuffer.
    // Nothing allocates, logs or writes while it is held.
    std::mutex sendLock;
    MIDIMessageQueue::Batch renderBatch;
    MIDIMessageQueue::Batch hostBatch;
    // The sample time of the most recent render call, and its host time when valid (else
    // kNoHostTime), for a send from the host thread.
    static constexpr UInt64 kNoHostTime = ~UInt64(0);
    std::atomic<Float64> lastRenderSampleTime{0.0};
    std::atomic<UInt64> lastRenderHostTime{kNoHostTime};
};
