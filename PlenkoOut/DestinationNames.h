// The names of the MIDI destinations as they were when the unit was made: what "TX Device" shows.
// Entry 0 is "--", entry v the name of destination v - 1, however many destinations there are; a
// destination that cannot be named gets a fallback text.
#pragma once

#include <CoreFoundation/CFArray.h>
#include <CoreMIDI/MIDIServices.h>

#include <vector>

// kMIDIPropertyDisplayName of the object: a new string, or null when it has none. [host-thread]
CFStringRef getDisplayName(MIDIObjectRef object);

class DestinationNames {
public:
    // Counts and names the destinations of the moment. [host-thread]
    DestinationNames();
    ~DestinationNames();
    DestinationNames(const DestinationNames&) = delete;
    DestinationNames& operator=(const DestinationNames&) = delete;

    // The number of destinations named. [any-thread]
    ItemCount Count() const { return mNames.size() - 1; }
    // "--", then the destinations' names: a new array that retains its strings. [host-thread]
    CFArrayRef CopyValueStrings() const;

private:
    std::vector<CFStringRef> mNames;
};

class UnitLog;

// Logs the destinations of the moment with their names and embedded-entity flags. [host-thread]
void printMIDIPorts(UnitLog& log);
