// The MIDI output unit: a music device that makes no sound and sends the host's MIDI, stamped
// with the host time at which each message's sample falls, to one chosen MIDI destination. Five
// global parameters choose the destination, the channel and a bank and program to send.
#pragma once

#include "AUInstrumentBase.h"
#include "DestinationNames.h"
#include "MIDIMessageQueue.h"
#include "MIDIMessageSender.h"
#include "PlenkoOutParameterIDs.h"
#include "SampleClock.h"
#include "UnitLog.h"

#include <CoreMIDI/MIDIServices.h>

#include <atomic>
#include <mutex>
#include <optional>

class PlenkoOut : public AUInstrumentBase {
public:
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

    // Chooses endPortRef from "TX Device". A host thread chooses when the parameter or the
    // presentation latency is set; the render thread chooses when a send finds messages waiting
    // and no destination, and leaves the choice to the host thread when that one is choosing at
    // the same moment, so that a choice made from an older value never outlasts a newer one.
    // [any-thread]
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
            SendQueue(MIDIMessageSender::Caller::kRender, &inTimeStamp);
    }
    // Queues one message, dropped while no destination is chosen. [render-thread]
    void AddMIDIEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2, UInt32 startFrame);
    // Samples at sampleRate as host-clock ticks. [any-thread]
    Float64 samples2ticks(Float64 samples) const { return clock.SamplesToTicks(samples); }
    // Host time of sample time 0; NaN while the clock is not anchored. [any-thread]
    Float64 hostTimeOffset() const { return clock.HostTimeOffset(); }
    MIDIPacketList* PacketList() { return sender.PacketList(); }

private:
    // Ties sample time to the host clock at the first render call after the clock was cleared.
    // [render-thread]
    void AnchorClock(const AudioTimeStamp& inTimeStamp, UInt32 inNumberFrames);
    // Sends the queue at the slice's time given, or (null) at that of the most recent render
    // call, choosing a destination first if there is none. [any-thread]
    void SendQueue(MIDIMessageSender::Caller caller, const AudioTimeStamp* timeStamp);
    // A global parameter as the whole number its readers act on; nothing when out of range.
    // [any-thread]
    std::optional<UInt32> ParameterValue(AudioUnitParameterID inID);

    MIDIClientRef clientRef = 0;
    MIDIPortRef outPortRef = 0;
    std::atomic<MIDIEndpointRef> endPortRef{0};
    // Held by whoever chooses endPortRef; the render thread only ever tries it.
    std::mutex destinationChoice;
    const DestinationNames destinationNames;
    const ItemCount numDestinations;
    MIDIMessageQueue midiMessages;
    UnitLog log;
    SampleClock clock;
    MIDIMessageSender sender;
};
