// Reads a Standard MIDI File (formats 0, 1 and 2; ticks per quarter note or SMPTE division) into
// a MIDISequence timed at one sample rate. Careful with hostile input: every fault is refused
// with one line saying what is wrong, nothing is read past the bytes given, and what it
// allocates is bounded by the size of the input.
#pragma once

#include "MIDIFile/MIDISequence.h"

#include <string>
#include <vector>

class MIDIFileReader {
public:
    // Larger inputs are refused before anything is read.
    static constexpr size_t kMaxFileSize = size_t(64) << 20;
    // More events than this are refused: their list alone would take 128 MiB.
    static constexpr size_t kMaxEvents = size_t(1) << 22;
    // Longer pieces are refused, which keeps every position far inside 64 bits.
    static constexpr UInt64 kMaxSeconds = 24 * 3600;

    // The sequence in the bytes, timed at sampleRate (above 0). Throws MIDIFileError with what
    // is wrong. [host-thread]
    static MIDISequence Read(const std::vector<Byte>& bytes, UInt32 sampleRate);

    // The same for the file at path; the MIDIFileError's text then starts with the path, and
    // also covers a file that cannot be read. [host-thread]
    static MIDISequence ReadFile(const std::string& path, UInt32 sampleRate);
};
