// Restores arbitrary saved states into a fresh test unit through the class-info property: the
// bytes read as a property list, and the bytes as the parameter record of an otherwise valid
// state. Every restore must answer a status without reading out of bounds or leaking, and the
// state saved afterwards must restore again.
#include "FuzzTarget.h"
#include "HostedTestUnit.h"

#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFNumber.h>
#include <CoreFoundation/CFPropertyList.h>

#include <cstdint>
#include <cstdlib>

using namespace hosted_test;

namespace {

OSStatus SetClassInfo(AudioUnit unit, CFPropertyListRef state)
{
    return AudioUnitSetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                &state, sizeof(state));
}

CFPropertyListRef GetClassInfo(AudioUnit unit)
{
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof(state);
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state,
                             &size) != noErr)
        abort();
    return state;
}

void AddNumber(CFMutableDictionaryRef dict, CFStringRef key, SInt32 value)
{
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &value);
    CFDictionarySetValue(dict, key, number);
    CFRelease(number);
}

// A state of this unit whose "data" is the given bytes.
CFDictionaryRef StateWithRecord(const uint8_t* bytes, size_t size)
{
    CFMutableDictionaryRef state = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    AddNumber(state, CFSTR("version"), 0);
    AddNumber(state, CFSTR("type"), SInt32(kBaseUnitDesc.componentType));
    AddNumber(state, CFSTR("subtype"), SInt32(kBaseUnitDesc.componentSubType));
    AddNumber(state, CFSTR("manufacturer"), SInt32(kBaseUnitDesc.componentManufacturer));
    CFDataRef data = CFDataCreate(nullptr, bytes, CFIndex(size));
    CFDictionarySetValue(state, CFSTR("data"), data);
    CFRelease(data);
    return state;
}

} // namespace

PLENKO_FUZZ_CLOSE_OUTPUT(false)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    HostedInstance instance;
    if (instance.OpenStatus() != noErr)
        abort();
    AudioUnit unit = instance.Unit();
    // The first byte chooses the reading (bit 0), whether the unit is initialized (bit 1; then it
    // may not grow parameters from the state) and whether it offers render quality and CPU load
    // (bit 2). The build makes seeds of the preset-state test corpus with 'P' first.
    const bool asRecord = (data[0] & 1) != 0;
    if ((data[0] & 2) != 0 && AudioUnitInitialize(unit) != noErr)
        abort();
    instance.Object().mOffersQualityAndLoad = (data[0] & 4) != 0;

    CFPropertyListRef state = nullptr;
    if (asRecord) {
        state = StateWithRecord(data + 1, size - 1);
    } else {
        CFDataRef bytes = CFDataCreate(nullptr, data + 1, CFIndex(size - 1));
        state = CFPropertyListCreateWithData(nullptr, bytes, kCFPropertyListImmutable, nullptr,
                                             nullptr);
        CFRelease(bytes);
    }
    if (state != nullptr) {
        SetClassInfo(unit, state);
        CFRelease(state);
    }

    // Whatever the restore left, the unit saves a state it accepts again.
    CFPropertyListRef saved = GetClassInfo(unit);
    if (SetClassInfo(unit, saved) != noErr)
        abort();
    CFRelease(saved);
    return 0;
}
