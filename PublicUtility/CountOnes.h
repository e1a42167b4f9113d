// Counts the set bits of a word, such as the channels of a channel bitmap.
#pragma once

#include <MacTypes.h>

// [any-thread]
UInt32 CountOnes(UInt32 x);
