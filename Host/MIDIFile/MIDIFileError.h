// What the MIDI file reader throws: one line saying what is wrong with the file, without the
// file's name, which the caller puts in front.
#pragma once

#include <stdexcept>

class MIDIFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
