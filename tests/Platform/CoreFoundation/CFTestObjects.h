// The CoreFoundation tests' makers of +1 objects, and the holder that releases them at scope end,
// so that a failed assertion does not turn into a reported leak as well.
#pragma once

#include "CFOwned.h"
#include "CFText.h"

#include <CoreFoundation/CoreFoundation.h>

// A +1 string of UTF-8 text.
inline CFStringRef MakeString(const char* text)
{
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}

inline CFNumberRef MakeSInt64(SInt64 value)
{
    return CFNumberCreate(nullptr, kCFNumberSInt64Type, &value);
}

inline CFNumberRef MakeFloat64(Float64 value)
{
    return CFNumberCreate(nullptr, kCFNumberFloat64Type, &value);
}
