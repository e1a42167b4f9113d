// Byte buffers: immutable data and growable mutable data.
// Threads: every call that reads is [any-thread]; changing one mutable object is [host-thread].
#pragma once

#include <CoreFoundation/CFBase.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef const struct __CFData* CFDataRef;
typedef struct __CFData* CFMutableDataRef;

CFTypeID CFDataGetTypeID(void);

// Creation copies the bytes (+1). [any-thread]
CFDataRef CFDataCreate(CFAllocatorRef allocator, const UInt8* bytes, CFIndex length);
CFDataRef CFDataCreateCopy(CFAllocatorRef allocator, CFDataRef theData);
// capacity is a hint; mutable data grows as needed.
CFMutableDataRef CFDataCreateMutable(CFAllocatorRef allocator, CFIndex capacity);
CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef allocator, CFIndex capacity,
                                         CFDataRef theData);

CFIndex CFDataGetLength(CFDataRef theData);
// The bytes; valid while the data lives and is not resized. [any-thread]
const UInt8* CFDataGetBytePtr(CFDataRef theData);
UInt8* CFDataGetMutableBytePtr(CFMutableDataRef theData);
// Copies a range; a range outside the data copies nothing.
void CFDataGetBytes(CFDataRef theData, CFRange range, UInt8* buffer);

// Changes of mutable data. New bytes from SetLength/IncreaseLength are zero. [host-thread]
void CFDataSetLength(CFMutableDataRef theData, CFIndex length);
void CFDataIncreaseLength(CFMutableDataRef theData, CFIndex extraLength);
void CFDataAppendBytes(CFMutableDataRef theData, const UInt8* bytes, CFIndex length);
void CFDataReplaceBytes(CFMutableDataRef theData, CFRange range, const UInt8* newBytes,
                        CFIndex newLength);
void CFDataDeleteBytes(CFMutableDataRef theData, CFRange range);

#ifdef __cplusplus
}
#endif
