#include "DestinationNames.h"

#include "UnitLog.h"

#include <CoreFoundation/CFString.h>

#include <cstdio>

CFStringRef getDisplayName(MIDIObjectRef object)
{
    CFStringRef name = nullptr;
    if (MIDIObjectGetStringProperty(object, kMIDIPropertyDisplayName, &name) != noErr)
        return nullptr;
    return name;
}

namespace {

// What "TX Device" shows for value `value` when its destination has no name.
CFStringRef FallbackName(ItemCount value)
{
    char text[48];
    snprintf(text, sizeof text, "(unnamed destination %lu)", static_cast<unsigned long>(value));
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}

} // namespace

DestinationNames::DestinationNames()
{
    const ItemCount count = MIDIGetNumberOfDestinations();
    mNames.reserve(count + 1);
    mNames.push_back(CFSTR("--"));
    for (ItemCount i = 0; i < count; ++i) {
        const MIDIEndpointRef endpoint = MIDIGetDestination(i);
        CFStringRef name = endpoint != 0 ? getDisplayName(endpoint) : nullptr;
        mNames.push_back(name != nullptr ? name : FallbackName(i + 1));
    }
}

DestinationNames::~DestinationNames()
{
    for (CFStringRef name : mNames)
        CFRelease(name);
}

CFArrayRef DestinationNames::CopyValueStrings() const
{
    return CFArrayCreate(nullptr,
                         reinterpret_cast<const void**>(const_cast<CFStringRef*>(mNames.data())),
                         CFIndex(mNames.size()), &kCFTypeArrayCallBacks);
}

void printMIDIPorts(UnitLog& log)
{
    const ItemCount count = MIDIGetNumberOfDestinations();
    log.Print(false, "PRINTING MIDI DESTINATIONS (%lu)...\n", static_cast<unsigned long>(count));
    for (ItemCount i = 0; i < count; ++i) {
        const MIDIEndpointRef endpoint = MIDIGetDestination(i);
        if (endpoint == 0)
            continue;
        CFStringRef name = getDisplayName(endpoint);
        if (name == nullptr)
            name = FallbackName(i + 1);
        char text[256] = "";
        CFStringGetCString(name, text, sizeof text, kCFStringEncodingUTF8);
        CFRelease(name);
        SInt32 embedded = 0;
        if (MIDIObjectGetIntegerProperty(endpoint, kMIDIPropertyIsEmbeddedEntity, &embedded) !=
            noErr)
            embedded = 0;
        log.Print(false, "  Destination: %s %d\n", text, int(embedded));
    }
}
