// A MIDI destination as the plug-in's state names it: by its name as the MIDI services show it
// ("program: port", as auhost destinations lists it) and its unique id, which outlive the
// destination's number in the list. And what the adapter reads of a destination off the audio
// thread: which one a "TX Device" value chooses, and its delivery delay.
#pragma once

#include <CoreMIDI/MIDIServices.h>

#include <optional>
#include <string>

struct DestinationIdentity {
    std::string name;
    std::optional<MIDIUniqueID> uniqueId;
};

// The name and unique id of a destination; nothing for 0 or one that is gone. [host-thread]
std::optional<DestinationIdentity> IdentityOf(MIDIEndpointRef destination);
// The number of the destination of the moment that has the identity's unique id, else the first
// that has its name; nothing when none has either. [host-thread]
std::optional<ItemCount> FindDestination(const DestinationIdentity& identity);
// The destination a "TX Device" value chooses, as the unit chooses it: none for 0, else the
// destination of that number counted from 1, the first one for a number beyond the list.
// [host-thread]
MIDIEndpointRef DestinationChosenBy(Float32 txDevice);
// How long after its stamp a message reaches the destination, in microseconds; 0 for none.
// [host-thread]
UInt32 DeliveryDelayMicros(MIDIEndpointRef destination);
