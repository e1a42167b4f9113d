// Reading what jack_midi_dump (jackd2's example tools, a program we did not write) printed with -a:
// each MIDI message it received, at the server's absolute frame.
#pragma once

#include <MacTypes.h>

#include <string>
#include <vector>

struct DumpedMessage {
    UInt64 frame;
    std::vector<Byte> bytes;
};

// Lines like " 190144: 90 3c 40 note on  (channel  0): pitch  60, velocity  64"; other lines are
// passed over.
std::vector<DumpedMessage> ParseJackMidiDump(const std::string& output);
