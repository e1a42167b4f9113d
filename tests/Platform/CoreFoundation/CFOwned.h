// Owns one +1 CoreFoundation reference in a test and releases it at scope end, so that a failed
// assertion does not turn into a reported leak as well.
#pragma once

#include "CFText.h"

#include <CoreFoundation/CoreFoundation.h>

template <class Ref> class CFOwned {
public:
    explicit CFOwned(Ref ref = nullptr) : mRef(ref) {}
    ~CFOwned() { CFRelease(mRef); }
    CFOwned(const CFOwned&) = delete;
    CFOwned& operator=(const CFOwned&) = delete;

    Ref get() const { return mRef; }
    operator Ref() const { return mRef; }
    Ref* operator&() { return &mRef; }

private:
    Ref mRef;
};

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
