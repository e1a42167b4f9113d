// What a status that a unit, the component host or the MIDI services answered means, in words a
// user reads in auhost's messages ("it has no such parameter") instead of the bare number.
#pragma once

#include <MacTypes.h>

#include <string>

// The reason the status gives, as the end of a sentence; a status without a known meaning is
// named by its number. [any-thread]
std::string StatusReason(OSStatus status);
