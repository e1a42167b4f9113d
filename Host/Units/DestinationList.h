// `auhost destinations` and play's --to: the MIDI destinations, numbered from 1 as the unit's
// "TX Device" parameter counts them (0 there means none).
#pragma once

#include <CoreMIDI/MIDIServices.h>

#include <ostream>
#include <string>
#include <vector>

// The display names of the destinations in the MIDI services' order: destination number n is
// names[n - 1]. [host-thread]
std::vector<std::string> DestinationNames();

// The number (from 1) of a destination, 0 when it is not listed. [host-thread]
size_t DestinationNumber(MIDIEndpointRef destination);

// One line per destination: its number and its name. [host-thread]
void PrintDestinations(std::ostream& out, const std::vector<std::string>& names);

// The number (from 1) of the destination that spec names: a number from 1 to the count, or else
// a name: the destination's own ("program: port"), JACK's spelling of it ("program:port"), or a
// part of one name alone, any of them in any case. A name given whole wins over parts of others.
// Throws std::runtime_error with what is wrong, naming the candidates when spec fits none or
// several. [host-thread]
size_t ResolveDestination(const std::string& spec, const std::vector<std::string>& names);
