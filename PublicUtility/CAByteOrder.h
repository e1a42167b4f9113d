// Byte-order conversions of Float32 samples between the little-endian host and big- or
// little-endian data; the integer conversions come from the platform.
#pragma once

#include <CoreFoundation/CFByteOrder.h>
#include <cstring>

// Reverses the four bytes of the value's bit pattern.
// [any-thread]
inline Float32 CASwapFloat32(Float32 value)
{
    UInt32 bits;
    std::memcpy(&bits, &value, sizeof(bits));
    bits = CFSwapInt32(bits);
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}
// [any-thread]
inline Float32 CASwapFloat32BigToHost(Float32 value)
{
    return CASwapFloat32(value);
}
// [any-thread]
inline Float32 CASwapFloat32LittleToHost(Float32 value)
{
    return value;
}
