#include "DestinationList.h"

// The stand-in's text of a CoreFoundation string.
#include "CoreFoundation/CFStringText.h"

#include <CoreMIDI/MIDIServices.h>

#include <stdexcept>

std::vector<std::string> DestinationNames()
{
    std::vector<std::string> names;
    const ItemCount count = MIDIGetNumberOfDestinations();
    for (ItemCount index = 0; index < count; ++index) {
        CFStringRef name = nullptr;
        const MIDIEndpointRef destination = MIDIGetDestination(index);
        if (destination != 0 &&
            MIDIObjectGetStringProperty(destination, kMIDIPropertyDisplayName, &name) == noErr) {
            names.push_back(CFStringText(name).value_or(""));
            CFRelease(name);
        } else {
            // Gone since it was counted: it keeps its place, so later numbers stay right.
            names.emplace_back();
        }
    }
    return names;
}

size_t DestinationNumber(MIDIEndpointRef destination)
{
    const ItemCount count = MIDIGetNumberOfDestinations();
    for (ItemCount index = 0; index < count; ++index) {
        if (MIDIGetDestination(index) == destination) {
            return index + 1;
        }
    }
    return 0;
}

void PrintDestinations(std::ostream& out, const std::vector<std::string>& names)
{
    if (names.empty()) {
        out << "No MIDI destinations.\n";
    }
    for (size_t index = 0; index < names.size(); ++index) {
        out << index + 1 << "  " << names[index] << '\n';
    }
}

size_t ResolveDestination(const std::string& spec, const std::vector<std::string>& names)
{
    const std::string range =
        names.empty() ? "there are no destinations" : "1 to " + std::to_string(names.size());
    if (!spec.empty() && spec.find_first_not_of("0123456789") == std::string::npos) {
        const size_t digits = spec.find_first_not_of('0');
        const bool inRange = digits != std::string::npos && spec.size() - digits <= 9 &&
                             std::stoul(spec) <= names.size();
        if (!inRange) {
            throw std::runtime_error("destination " + spec + " is out of range (" + range + ")");
        }
        return std::stoul(spec);
    }
    size_t found = 0;
    for (size_t index = 0; index < names.size(); ++index) {
        if (names[index] != spec) {
            continue;
        }
        if (found != 0) {
            throw std::runtime_error("destination name \"" + spec + "\" is ambiguous (" +
                                     std::to_string(found) + " and " + std::to_string(index + 1) +
                                     "): give its number");
        }
        found = index + 1;
    }
    if (found == 0) {
        throw std::runtime_error("unknown destination \"" + spec + "\" (auhost destinations " +
                                 "lists them)");
    }
    return found;
}
