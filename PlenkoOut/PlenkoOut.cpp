// The unit: its life cycle, properties and parameters, the choice of destination, and the
// host's MIDI on its way to the sending.
#include "PlenkoOut.h"

#include "HostTimeText.h"
#include "ParameterValue.h"
#include "PlenkoOutParameters.h"

#include <CoreAudio/HostTime.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

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
      midiMessages(64), log(UnitLog::EnabledByEnvironment()), sender(midiMessages, clock, log)
{
    log.Print(false, "PlenkoOut::PlenkoOut(): start...\n");
    CreateElements();
    Globals()->UseIndexedParameters(kNumberOfParameters);
    for (AudioUnitParameterID id = 0; id < kNumberOfParameters; ++id)
        Globals()->SetParameter(id, 0.0f);
    printMIDIPorts(log);
    log.Print(false, "PlenkoOut::PlenkoOut: done.\n");
}

PlenkoOut::~PlenkoOut()
{
    log.Print(false, "PlenkoOut::~PlenkoOut(): start...\n");
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
    clock.SetSampleRate(rate);
    log.Print(InRenderThread(), "PlenkoOut::Reset samplerate for scope/element %d/%d = %.0f\n",
              int(inScope), int(inElement), rate);
    clock.Clear();
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
        SendQueue(MIDIMessageSender::Caller::kHost, nullptr);
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
    std::unique_lock<std::mutex> choosing(destinationChoice, std::defer_lock);
    if (!onRenderThread)
        choosing.lock();
    else if (!choosing.try_lock())
        return;
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

std::optional<UInt32> PlenkoOut::ParameterValue(AudioUnitParameterID inID)
{
    return TruncatedParameterValue(Globals()->GetParameter(inID));
}

OSStatus PlenkoOut::GetParameterInfo(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                     AudioUnitParameterInfo& outParameterInfo)
{
    if (inScope != kAudioUnitScope_Global)
        return kAudioUnitErr_InvalidScope;
    return DescribeParameter(inParameterID, numDestinations, outParameterInfo);
}

OSStatus PlenkoOut::GetParameterValueStrings(AudioUnitScope inScope,
                                             AudioUnitParameterID inParameterID,
                                             CFArrayRef* outStrings)
{
    if (inScope != kAudioUnitScope_Global)
        return kAudioUnitErr_InvalidParameter;
    if (outStrings == nullptr)
        return noErr;
    // An id without strings leaves the host's pointer as it was.
    if (CFArrayRef strings = CopyParameterValueStrings(inParameterID, destinationNames))
        *outStrings = strings;
    return noErr;
}

OSStatus PlenkoOut::SetParameter(AudioUnitParameterID inID, AudioUnitScope inScope,
                                 AudioUnitElement inElement, AudioUnitParameterValue inValue,
                                 UInt32 inBufferOffsetInFrames)
{
    const OSStatus status =
        AUInstrumentBase::SetParameter(inID, inScope, inElement, inValue, inBufferOffsetInFrames);
    if (status != noErr)
        return status;
    switch (inID) {
    case kParameterTXDevice:
        updateDestinationPort();
        break;
    case kParameterPrgChange:
    case kParameterBankMSB:
    case kParameterBankLSB:
        updatePrgChange();
        break;
    default:
        break;
    }
    return noErr;
}

void PlenkoOut::updatePrgChange()
{
    if (endPortRef == 0)
        return;
    // Bank and program go out only on a fixed transmit channel.
    const std::optional<UInt32> txChannel = ParameterValue(kParameterTXChannel);
    if (!txChannel || UInt16(*txChannel) == 0)
        return;
    if (const auto msb = ProgramByte(ParameterValue(kParameterBankMSB)))
        AddMIDIEvent(0xB0, 0, 0, *msb, 0);
    if (const auto lsb = ProgramByte(ParameterValue(kParameterBankLSB)))
        AddMIDIEvent(0xB0, 0, 32, *lsb, 0);
    if (const auto program = ProgramByte(ParameterValue(kParameterPrgChange)))
        AddMIDIEvent(0xC0, 0, *program, 0, 0);
}

void PlenkoOut::printParameters()
{
    const bool onRenderThread = InRenderThread();
    log.Print(onRenderThread, "Printing Parameters...\n");
    AUElement* globals = Globals();
    std::vector<AudioUnitParameterID> ids(globals->GetNumberOfParameters());
    globals->GetParameterList(ids.data());
    for (size_t i = 0; i < ids.size(); ++i) {
        AudioUnitParameterInfo info{};
        GetParameterInfo(kAudioUnitScope_Global, ids[i], info);
        log.Print(onRenderThread, "[%d]  %s: %f\n", int(i), info.name,
                  double(globals->GetParameter(ids[i])));
    }
    log.Print(onRenderThread, "Printing Parameters...done\n");
}

OSStatus PlenkoOut::HandleMidiEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2,
                                    UInt32 startFrame)
{
    // Bytes without a status bit, system messages that cannot be sent alone, and data bytes
    // with the status bit would reach the destination as the start of something else.
    const UInt32 length = MIDIMessageLength(status, channel);
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
    clock.Anchor(inTimeStamp.mSampleTime);
    if (log.Enabled())
        log.Print(true, "PlenkoOut::Render( INIT ): [%02.0f] %s, %f, %u\n",
                  double(Globals()->GetParameter(kParameterTXChannel)),
                  hostTimeToString(AudioGetCurrentHostTime()), inTimeStamp.mSampleTime,
                  unsigned(inNumberFrames));
}

OSStatus PlenkoOut::Render(AudioUnitRenderActionFlags& ioActionFlags,
                           const AudioTimeStamp& inTimeStamp, UInt32 inNumberFrames)
{
    clock.NoteRender(inTimeStamp);
    if (std::isnan(hostTimeOffset()))
        AnchorClock(inTimeStamp, inNumberFrames);
    const OSStatus status = AUInstrumentBase::Render(ioActionFlags, inTimeStamp, inNumberFrames);
    if (status == noErr)
        FireAtTimeStamp(inTimeStamp);
    log.FlushWithoutBlocking();
    return status;
}

void PlenkoOut::SendQueue(MIDIMessageSender::Caller caller, const AudioTimeStamp* timeStamp)
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
    sender.Send(caller, timeStamp, onRenderThread, [this] {
        return MIDIMessageSender::Route{outPortRef, endPortRef,
                                        ParameterValue(kParameterTXChannel)};
    });
}
