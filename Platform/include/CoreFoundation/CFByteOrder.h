// Byte-order conversions between the host (little-endian here) and big- or little-endian data.
#pragma once

#include <CoreFoundation/CFBase.h>

static inline UInt16 CFSwapInt16(UInt16 arg)
{
    return (UInt16)((arg << 8) | (arg >> 8));
}
static inline UInt32 CFSwapInt32(UInt32 arg)
{
    return __builtin_bswap32(arg);
}
static inline UInt64 CFSwapInt64(UInt64 arg)
{
    return __builtin_bswap64(arg);
}

// The four directions of one width: big-endian data swaps, little-endian data is the host's.
#define CF_BYTE_ORDER_CONVERSIONS(bits)                                                            \
    static inline UInt##bits CFSwapInt##bits##BigToHost(UInt##bits arg)                            \
    {                                                                                              \
        return CFSwapInt##bits(arg);                                                               \
    }                                                                                              \
    static inline UInt##bits CFSwapInt##bits##HostToBig(UInt##bits arg)                            \
    {                                                                                              \
        return CFSwapInt##bits(arg);                                                               \
    }                                                                                              \
    static inline UInt##bits CFSwapInt##bits##LittleToHost(UInt##bits arg)                         \
    {                                                                                              \
        return arg;                                                                                \
    }                                                                                              \
    static inline UInt##bits CFSwapInt##bits##HostToLittle(UInt##bits arg)                         \
    {                                                                                              \
        return arg;                                                                                \
    }

CF_BYTE_ORDER_CONVERSIONS(16)
CF_BYTE_ORDER_CONVERSIONS(32)
CF_BYTE_ORDER_CONVERSIONS(64)

#undef CF_BYTE_ORDER_CONVERSIONS
