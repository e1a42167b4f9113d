// `auhost play`: checks everything it can before a unit is opened, then opens the unit through
// the component host, sets its parameters, plays the file with a Player and reports on standard
// output what arrived at the monitor. Errors are thrown as std::runtime_error with one line.
#pragma once

#include "HostCommand.h"

#include <ostream>

// The exit status of a play that Ctrl-C ended (after its closing messages): 128 + SIGINT.
constexpr int kInterruptedStatus = 130;

// [host-thread]
int RunPlay(const PlayOptions& options, std::ostream& out);
