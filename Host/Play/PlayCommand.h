// `auhost play`: checks everything it can before a unit is opened, then opens the unit through
// the component host, sets its parameters, plays the file with a Player, waits until every
// message sent is delivered or counted as lost, and ends with one summary line on standard
// output. Errors before play are thrown as std::runtime_error with one line.
#pragma once

#include "CommandLine/HostCommand.h"

#include <ostream>

// The exit status: 0 when every message was delivered, 1 when any was lost, 128 + the signal's
// number when a stop signal ended play (PlaySummary.h). [host-thread]
int RunPlay(const PlayOptions& options, std::ostream& out);
