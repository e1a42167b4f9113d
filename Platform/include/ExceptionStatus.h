// The status of an exception that carries none of its own: what a host-call boundary of the
// stand-in or the framework answers when a call throws, against its contract, something other
// than a status. The platform has no name for it; every boundary uses this one.
#pragma once

#include <MacTypes.h>

constexpr OSStatus kUnknownExceptionStatus = -1;
