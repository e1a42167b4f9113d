// Carries out a parsed auhost command and returns the process's exit status. Errors are thrown
// as std::runtime_error with one line saying what is wrong (a file's errors start with its
// path); the caller prints them and exits with status 2.
#pragma once

#include "CommandLine/HostCommand.h"

#include <ostream>

// [host-thread]
int RunHostCommand(const HostCommand& command, std::ostream& out);
