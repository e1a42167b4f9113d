// The command line of auhost: its commands and their options, parsed with CLI11 into a
// HostCommand. Anything refused is one line saying which argument and what is wrong with it.
#pragma once

#include "CommandLine/HostCommand.h"

#include <stdexcept>

// A command line that cannot be carried out; the text is one line without the program's name.
class CommandLineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class HostCommandLine {
public:
    // The command argv asks for; kHelp with the help text for --help (of the program or of one
    // command). Throws CommandLineError for anything refused. [host-thread]
    static HostCommand Parse(int argc, const char* const* argv);
};
