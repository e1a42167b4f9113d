// The five global parameters: their descriptions, value strings and what a change sets off.
#include "ParameterValue.h"
#include "PlenkoOut.h"

#include <CoreFoundation/CFString.h>

#include <cstdio>
#include <vector>

namespace {

const CFStringRef kDeviceName = CFSTR("TX Device");
const CFStringRef kChannelName = CFSTR("TX Channel");
const CFStringRef kPrgChangeName = CFSTR("Prg Change");
const CFStringRef kBankMSBName = CFSTR("Bank Select MSB");
const CFStringRef kBankLSBName = CFSTR("Bank Select LSB");

constexpr Float32 kChannelMax = 16;
constexpr Float32 kProgramMax = 128;

void FillInParameterName(AudioUnitParameterInfo& info, CFStringRef name, bool release)
{
    info.cfNameString = name;
    info.flags |= kAudioUnitParameterFlag_HasCFNameString;
    if (release)
        info.flags |= kAudioUnitParameterFlag_CFNameRelease;
    CFStringGetCString(name, info.name, sizeof info.name, kCFStringEncodingUTF8);
}

CFStringRef StringOf(const char* text)
{
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}

// An array that owns the strings handed in.
CFArrayRef ArrayTakingStrings(const std::vector<CFStringRef>& strings)
{
    CFArrayRef array = CFArrayCreate(
        nullptr, reinterpret_cast<const void**>(const_cast<CFStringRef*>(strings.data())),
        CFIndex(strings.size()), &kCFTypeArrayCallBacks);
    for (CFStringRef string : strings)
        CFRelease(string);
    return array;
}

// "RX Channel" (the channel as received), then "1" to "16".
CFArrayRef CopyChannelStrings()
{
    std::vector<CFStringRef> strings{CFSTR("RX Channel")};
    for (int channel = 1; channel <= int(kChannelMax); ++channel)
        strings.push_back(StringOf(std::to_string(channel).c_str()));
    return ArrayTakingStrings(strings);
}

// "--", then each program or bank number with its bank letter and position in an 8 by 8 grid.
CFArrayRef CopyProgramStrings()
{
    std::vector<CFStringRef> strings{CFSTR("--")};
    for (int i = 0; i < int(kProgramMax); ++i) {
        char text[32];
        snprintf(text, sizeof text, "%03d (%s %d-%d)", i, i < 64 ? "A" : "B", (i / 8) % 8 + 1,
                 i % 8 + 1);
        strings.push_back(StringOf(text));
    }
    return ArrayTakingStrings(strings);
}

// The data byte a program or bank value 1 to 128 stands for; nothing for 0 or out of range.
std::optional<UInt8> ProgramByte(std::optional<UInt32> value)
{
    if (!value || *value < 1 || *value > UInt32(kProgramMax))
        return std::nullopt;
    return UInt8(*value - 1);
}

} // namespace

std::optional<UInt32> PlenkoOut::ParameterValue(AudioUnitParameterID inID)
{
    return TruncatedParameterValue(Globals()->GetParameter(inID));
}

OSStatus PlenkoOut::GetParameterInfo(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                     AudioUnitParameterInfo& outParameterInfo)
{
    if (inScope != kAudioUnitScope_Global)
        return kAudioUnitErr_InvalidScope;
    CFStringRef name;
    Float32 maxValue;
    switch (inParameterID) {
    case kParameterTXDevice:
        name = kDeviceName;
        maxValue = Float32(numDestinations);
        break;
    case kParameterTXChannel:
        name = kChannelName;
        maxValue = kChannelMax;
        break;
    case kParameterPrgChange:
        name = kPrgChangeName;
        maxValue = kProgramMax;
        break;
    case kParameterBankMSB:
        name = kBankMSBName;
        maxValue = kProgramMax;
        break;
    case kParameterBankLSB:
        name = kBankLSBName;
        maxValue = kProgramMax;
        break;
    default:
        return kAudioUnitErr_InvalidParameter;
    }
    outParameterInfo.flags =
        kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable;
    outParameterInfo.unit = kAudioUnitParameterUnit_Indexed;
    outParameterInfo.minValue = 0;
    outParameterInfo.maxValue = maxValue;
    outParameterInfo.defaultValue = 0;
    FillInParameterName(outParameterInfo, name, false);
    return noErr;
}

OSStatus PlenkoOut::GetParameterValueStrings(AudioUnitScope inScope,
                                             AudioUnitParameterID inParameterID,
                                             CFArrayRef* outStrings)
{
    if (inScope != kAudioUnitScope_Global)
        return kAudioUnitErr_InvalidParameter;
    if (outStrings == nullptr)
        return noErr;
    switch (inParameterID) {
    case kParameterTXDevice:
        *outStrings = numDestinations == 0
                          ? ArrayTakingStrings({CFSTR("!! NO MIDI OUTPUT DEVICE FOUND !!")})
                          : destinationNames.CopyValueStrings();
        break;
    case kParameterTXChannel:
        *outStrings = CopyChannelStrings();
        break;
    case kParameterPrgChange:
    case kParameterBankMSB:
    case kParameterBankLSB:
        *outStrings = CopyProgramStrings();
        break;
    default:
        break;
    }
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
