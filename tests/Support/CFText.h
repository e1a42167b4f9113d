// The text of a CoreFoundation string, for readable assertions and messages.
#pragma once

#include <CoreFoundation/CFString.h>

#include <string>

// Its UTF-8 text; "<null>" for no string, "<no text>" for one that does not convert.
std::string TextOf(CFStringRef string);
