#include "Units/DestinationList.h"

// The stand-in's text of a CoreFoundation string.
#include "CFStringText.h"

#include <CoreMIDI/MIDIServices.h>

#include <cctype>
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

namespace {

// A name as matching compares it: in lower case, and "program: port" as JACK spells it,
// "program:port".
std::string MatchingForm(const std::string& name)
{
    std::string form;
    for (size_t i = 0; i < name.size(); ++i) {
        form += char(std::tolower(static_cast<unsigned char>(name[i])));
        if (name[i] == ':' && i + 1 < name.size() && name[i + 1] == ' ') {
            ++i;
        }
    }
    return form;
}

// "1 "auhost monitor", 2 "synth: in"".
std::string Candidates(const std::vector<std::string>& names, const std::vector<size_t>& numbers)
{
    std::string text;
    for (const size_t number : numbers) {
        text +=
            (text.empty() ? "" : ", ") + std::to_string(number) + " \"" + names[number - 1] + "\"";
    }
    return text;
}

size_t DestinationByNumber(const std::string& spec, const std::vector<std::string>& names)
{
    const std::string range =
        names.empty() ? "there are no destinations" : "1 to " + std::to_string(names.size());
    const size_t digits = spec.find_first_not_of('0');
    const bool inRange = digits != std::string::npos && spec.size() - digits <= 9 &&
                         std::stoul(spec) <= names.size();
    if (!inRange) {
        throw std::runtime_error("destination " + spec + " is out of range (" + range + ")");
    }
    return std::stoul(spec);
}

} // namespace

size_t ResolveDestination(const std::string& spec, const std::vector<std::string>& names)
{
    if (!spec.empty() && spec.find_first_not_of("0123456789") == std::string::npos) {
        return DestinationByNumber(spec, names);
    }
    const std::string wanted = MatchingForm(spec);
    std::vector<size_t> whole, parts, all;
    for (size_t index = 0; index < names.size(); ++index) {
        const std::string name = MatchingForm(names[index]);
        all.push_back(index + 1);
        if (name == wanted) {
            whole.push_back(index + 1);
        } else if (!wanted.empty() && name.find(wanted) != std::string::npos) {
            parts.push_back(index + 1);
        }
    }
    const std::vector<size_t>& found = whole.empty() ? parts : whole;
    if (found.size() == 1) {
        return found.front();
    }
    if (found.empty()) {
        throw std::runtime_error("unknown destination \"" + spec + "\" (" +
                                 (names.empty()
                                      ? std::string("there are no destinations")
                                      : "the destinations are " + Candidates(names, all)) +
                                 ")");
    }
    throw std::runtime_error("destination name \"" + spec + "\" is ambiguous (" +
                             Candidates(names, found) + "): give more of the name, or its number");
}
