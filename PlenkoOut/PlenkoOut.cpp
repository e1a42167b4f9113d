// Construction, life cycle, properties and the choice of destination.
#include "PlenkoOut.h"

#include <cmath>
#include <limits>

namespace {

constexpr Float64 kNotAnchored = std::numeric_limits<Float64>::quiet_NaN();

// A global property whose value the unit refuses when it is shorter than this.
struct MinimumSize {
    AudioUnitPropertyID id;
    UInt32 bytes;
};
constexpr MinimumSize kMinimumSizes[] = {{kAudioUnitProperty_SampleRate, 8},
                                         {kAudioUnitProperty_AUHostIdentifier, 16},
                                         {kAudioUnitProperty_MIDIOutputCallback, 16}};

} // namespace

PlenkoOut::PlenkoOut(AudioComponentInstance inComponentInstance)
    : AUInstrumentBase(inComponentInstance, 1, 1, 16, 1), numDestinations(destinationNames.Count()),
      packetListBuffer(new Byte[kPacketListBytes]), midiMessages(64), hostTimeOffset(kNotAnchored),
      log(UnitLog::EnabledByEnvironment())
{
    log.Print(false, "PlenkoOut::PlenkoOut(): start...\n");
    CreateElements();
    Globals()->UseIndexedParameters(kNumberOfParameters);
    for (AudioUnitParameterID id = 0; id < kNumberOfParameters; ++id)
        Globals()->SetParameter(id, 0.0f);
    renderBatch.reserve(64);
    hostBatch.reserve(64);
    printMIDIPorts(log);
    log.Print(false, "PlenkoOut::PlenkoOut: done.\n");
}

PlenkoOut::~PlenkoOut()
{
    log.Print(false, "PlenkoOut::~PlenkoOut(): start...\n");
    packetListBuffer.reset();
    log.Print(false, "PlenkoOut::~PlenkoOut(): done.\n");
}

OSStatus PlenkoOut::Initialize()
{
    log.Print(false, "PlenkoOut::Initialize(): start...\n");
    OSStatus status = MIDIClientCreate(CFSTR("PlenkoMIDIOut Client"), nullptr, nullptr, &clientRef);
    if (status != noErr)
        log.Print(false, "MIDIClientCreate failed: %d\n", int(status));
    status = MIDIOutputPortCreate(clientRef, CFSTR("PlenkoMIDIOut Output"), &outPortRef);
    if (status != noErr)
        log.Print(false, "MIDIOutputPortCreate failed: %d\n", int(status));
    endPortRef = 0;
    printParameters();
    log.Print(false, "PlenkoOut::Initialize(): done.\n");
    return AUInstrumentBase::Initialize();
}

void PlenkoOut::Cleanup()
{
    log.Print(false, "PlenkoOut::Cleanup(): start...\n");
    endPortRef = 0;
    if (outPortRef != 0) {
        MIDIPortDispose(outPortRef);
        outPortRef = 0;
    }
    if (clientRef != 0) {
        MIDIClientDispose(clientRef);
        clientRef = 0;
    }
    log.Print(false, "PlenkoOut::Cleanup(): done.\n");
    AUInstrumentBase::Cleanup();
}

OSStatus PlenkoOut::Reset(AudioUnitScope inScope, AudioUnitElement inElement)
{
    log.Print(InRenderThread(), "PlenkoOut::Reset( %d, %d ): called.\n", int(inScope),
              int(inElement));
    const OSStatus status = AUInstrumentBase::Reset(inScope, inElement);
    if (status != noErr)
        return status;
    const Float64 rate = GetStreamFormat(inScope, inElement).mSampleRate;
    sampleRate = rate;
    log.Print(InRenderThread(), "PlenkoOut::Reset samplerate for scope/element %d/%d = %.0f\n",
              int(inScope), int(inElement), rate);
    hostTimeOffset = kNotAnchored;
    updatePrgChange();
    return noErr;
}

AUElement* PlenkoOut::CreateElement(AudioUnitScope scope, AudioUnitElement element)
{
    log.Print(false, "PlenkoOut::CreateElement( %d - %d )\n", int(scope), int(element));
    return AUInstrumentBase::CreateElement(scope, element);
}

OSStatus PlenkoOut::SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                AudioUnitElement inElement, const void* inData, UInt32 inDataSize)
{
    if (inScope == kAudioUnitScope_Output && inID == kAudioUnitProperty_PresentationLatency) {
        // The host's way of saying that playing starts: choose the destination and send the
        // queue, with bank and program, at once.
        updateDestinationPort();
        updatePrgChange();
        Fire(Sender::kHost, nullptr);
    } else if (inScope == kAudioUnitScope_Global) {
        for (const MinimumSize& minimum : kMinimumSizes) {
            if (inID == minimum.id && inDataSize < minimum.bytes)
                return kAudioUnitErr_InvalidPropertyValue;
        }
        if (inID == kAudioUnitProperty_ClassInfoFromDocument)
            printParameters();
    }
    return AUInstrumentBase::SetProperty(inID, inScope, inElement, inData, inDataSize);
}

void PlenkoOut::updateDestinationPort()
{
    const bool onRenderThread = InRenderThread();
    // The line is written whole, so that no other line can land in its middle.
    constexpr const char* kStart = "PlenkoOut::updateDestinationPort(): start...";
    if (numDestinations == 0) {
        log.Print(onRenderThread,
                  "%sPlenkoOut::updateDestinationPort(): port not opened (yet): return\n", kStart);
        return;
    }
    const std::optional<UInt32> device = ParameterValue(kParameterTXDevice);
    if (device == 0u) {
        endPortRef = 0;
        log.Print(onRenderThread, "%sNO MIDI DESTINATION PORT SET. done.\n", kStart);
        return;
    }
    // A value beyond any count (or none at all) selects the first destination, as one beyond the
    // current count does.
    const UInt32 index = device ? *device - 1 : std::numeric_limits<UInt32>::max();
    const ItemCount count = MIDIGetNumberOfDestinations();
    const MIDIEndpointRef endpoint = MIDIGetDestination(index < count ? index : 0);
    endPortRef = endpoint;
    log.Print(onRenderThread, "%s open port with index = %u %sdone.\n", kStart, unsigned(index),
              endpoint == 0 ? "MIDIGetDestination failed.\n" : "");
}
