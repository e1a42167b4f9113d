// The base of every CoreFoundation object: scalar types, the allocator and type references, and
// the reference-counting, identity and description calls that work on any object.
// Threads: every call that reads is [any-thread]; changing one mutable object is [host-thread].
#pragma once

#include <MacTypes.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef signed long CFIndex;
typedef unsigned long CFTypeID;
typedef unsigned long CFOptionFlags;
typedef unsigned long CFHashCode;
typedef UInt16 UniChar;

typedef const void* CFTypeRef;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef struct __CFString* CFMutableStringRef;
typedef CFTypeRef CFPropertyListRef;

typedef enum {
    kCFCompareLessThan = -1,
    kCFCompareEqualTo = 0,
    kCFCompareGreaterThan = 1
} CFComparisonResult;
typedef CFComparisonResult (*CFComparatorFunction)(const void* val1, const void* val2,
                                                   void* context);

enum { kCFNotFound = -1 };

typedef struct {
    CFIndex location;
    CFIndex length;
} CFRange;

static inline CFRange CFRangeMake(CFIndex location, CFIndex length)
{
    CFRange range = {location, length};
    return range;
}

// Allocators are accepted everywhere for source compatibility and otherwise ignored: every object
// lives on the ordinary heap.
extern const CFAllocatorRef kCFAllocatorDefault;
extern const CFAllocatorRef kCFAllocatorSystemDefault;
extern const CFAllocatorRef kCFAllocatorMalloc;
extern const CFAllocatorRef kCFAllocatorNull;

// Adds a reference and returns the object (NULL stays NULL). [any-thread]
CFTypeRef CFRetain(CFTypeRef cf);
// Drops a reference; the last one frees the object. NULL and constants are left alone. [any-thread]
void CFRelease(CFTypeRef cf);
// The current number of references; constants report a large fixed number, NULL 0. [any-thread]
CFIndex CFGetRetainCount(CFTypeRef cf);
// The type of an object, to compare with the XxxGetTypeID functions; NULL gives 0. [any-thread]
CFTypeID CFGetTypeID(CFTypeRef cf);
// The name of a type, e.g. "CFString"; +1. [any-thread]
CFStringRef CFCopyTypeIDDescription(CFTypeID type_id);
// Value equality: strings by characters, numbers by value across types, containers by their
// contents. Objects of different types are never equal; NULL equals only NULL. [any-thread]
Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2);
// A hash consistent with CFEqual. [any-thread]
CFHashCode CFHash(CFTypeRef cf);
// A readable description of any object (a string's text, a number's value ...); +1. [any-thread]
CFStringRef CFCopyDescription(CFTypeRef cf);

// Our own extension for tests: the number of live objects, constants and CFSTR strings excluded.
// [any-thread]
CFIndex CFLiveObjectCount(void);

#ifdef __cplusplus
}
#endif
