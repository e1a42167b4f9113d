#include "Destination.h"

// The stand-in's text of a CoreFoundation string.
#include "CFStringText.h"
#include "ParameterValue.h"

#include <limits>

namespace {

std::optional<std::string> DisplayName(MIDIEndpointRef destination)
{
    CFStringRef name = nullptr;
    if (MIDIObjectGetStringProperty(destination, kMIDIPropertyDisplayName, &name) != noErr)
        return std::nullopt;
    std::optional<std::string> text = CFStringText(name);
    if (name != nullptr)
        CFRelease(name);
    return text;
}

} // namespace

std::optional<DestinationIdentity> IdentityOf(MIDIEndpointRef destination)
{
    if (destination == 0)
        return std::nullopt;
    std::optional<std::string> name = DisplayName(destination);
    if (!name)
        return std::nullopt;
    DestinationIdentity identity{std::move(*name), std::nullopt};
    SInt32 uniqueId = 0;
    if (MIDIObjectGetIntegerProperty(destination, kMIDIPropertyUniqueID, &uniqueId) == noErr)
        identity.uniqueId = uniqueId;
    return identity;
}

std::optional<ItemCount> FindDestination(const DestinationIdentity& identity)
{
    const ItemCount count = MIDIGetNumberOfDestinations();
    if (identity.uniqueId) {
        for (ItemCount index = 0; index < count; ++index) {
            SInt32 uniqueId = 0;
            const MIDIEndpointRef destination = MIDIGetDestination(index);
            if (destination != 0 &&
                MIDIObjectGetIntegerProperty(destination, kMIDIPropertyUniqueID, &uniqueId) ==
                    noErr &&
                uniqueId == *identity.uniqueId)
                return index;
        }
    }
    for (ItemCount index = 0; index < count; ++index) {
        const MIDIEndpointRef destination = MIDIGetDestination(index);
        if (destination != 0 && DisplayName(destination) == identity.name)
            return index;
    }
    return std::nullopt;
}

MIDIEndpointRef DestinationChosenBy(Float32 txDevice)
{
    const std::optional<UInt32> device = TruncatedParameterValue(txDevice);
    if (device == 0u)
        return 0;
    const UInt32 index = device ? *device - 1 : std::numeric_limits<UInt32>::max();
    const ItemCount count = MIDIGetNumberOfDestinations();
    return MIDIGetDestination(index < count ? index : 0);
}

UInt32 DeliveryDelayMicros(MIDIEndpointRef destination)
{
    SInt32 delay = 0;
    if (destination == 0 ||
        MIDIObjectGetIntegerProperty(destination, kMIDIPropertyDeliveryDelayMuSec, &delay) !=
            noErr ||
        delay < 0)
        return 0;
    return UInt32(delay);
}
