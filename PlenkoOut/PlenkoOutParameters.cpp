// The five global parameters: their descriptions and value strings.
#include "PlenkoOutParameters.h"

#include "PlenkoOutParameterIDs.h"

#include <CoreFoundation/CFString.h>

#include <cstdio>
#include <string>
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

} // namespace

std::optional<UInt8> ProgramByte(std::optional<UInt32> value)
{
    if (!value || *value < 1 || *value > UInt32(kProgramMax))
        return std::nullopt;
    return UInt8(*value - 1);
}

OSStatus DescribeParameter(AudioUnitParameterID id, ItemCount numDestinations,
                           AudioUnitParameterInfo& outParameterInfo)
{
    CFStringRef name;
    Float32 maxValue;
    switch (id) {
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

CFArrayRef CopyParameterValueStrings(AudioUnitParameterID id, const DestinationNames& names)
{
    switch (id) {
    case kParameterTXDevice:
        return names.Count() == 0 ? ArrayTakingStrings({CFSTR("!! NO MIDI OUTPUT DEVICE FOUND !!")})
                                  : names.CopyValueStrings();
    case kParameterTXChannel:
        return CopyChannelStrings();
    case kParameterPrgChange:
    case kParameterBankMSB:
    case kParameterBankLSB:
        return CopyProgramStrings();
    default:
        return nullptr;
    }
}
