#include "CountOnes.h"

UInt32 CountOnes(UInt32 x)
{
    // Sum the bits in parallel: within pairs, then nibbles, then bytes; the multiply adds the
    // four byte sums into the top byte.
    x = x - ((x >> 1) & 0x55555555U);
    x = (x & 0x33333333U) + ((x >> 2) & 0x33333333U);
    x = (x + (x >> 4)) & 0x0F0F0F0FU;
    return (x * 0x01010101U) >> 24;
}
