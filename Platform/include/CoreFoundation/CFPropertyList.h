// Property lists: trees of strings, numbers, booleans, data, arrays and dictionaries with string
// keys, written to and read from XML (and binary) form.
// Threads: every call that reads is [any-thread]; changing one mutable object is [host-thread].
#pragma once

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFError.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef CFIndex CFPropertyListFormat;
enum {
    kCFPropertyListOpenStepFormat = 1,
    kCFPropertyListXMLFormat_v1_0 = 100,
    kCFPropertyListBinaryFormat_v1_0 = 200
};

typedef CFOptionFlags CFPropertyListMutabilityOptions;
enum {
    kCFPropertyListImmutable = 0,
    kCFPropertyListMutableContainers = 1,
    kCFPropertyListMutableContainersAndLeaves = 2
};

// Error codes in kCFErrorDomainCocoa.
enum {
    kCFPropertyListReadCorruptError = 3840,
    kCFPropertyListReadUnknownVersionError = 3841,
    kCFPropertyListReadStreamError = 3842,
    kCFPropertyListWriteStreamError = 3851,
    kCFPropertyListWriteInvalidError = 3852
};

// Serialises in the XML or binary format (+1). An object that cannot be part of a property list,
// or a dictionary key that is not a string, gives NULL and, when error is non-NULL, a +1 error.
// [any-thread]
CFDataRef CFPropertyListCreateData(CFAllocatorRef allocator, CFPropertyListRef propertyList,
                                   CFPropertyListFormat format, CFOptionFlags options,
                                   CFErrorRef* error);
// Parses XML or binary bytes (+1). Anything else (malformed text, empty or NULL data) gives NULL
// and, when error is non-NULL, a +1 error. format, when non-NULL, receives the format read.
// [any-thread]
CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef allocator, CFDataRef data,
                                               CFOptionFlags options, CFPropertyListFormat* format,
                                               CFErrorRef* error);
// Older forms of the two calls above: XML only, and the error as a +1 string.
CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef allocator, CFPropertyListRef propertyList);
CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef allocator, CFDataRef xmlData,
                                                  CFOptionFlags mutabilityOption,
                                                  CFStringRef* errorString);

// True when the tree can be written in the format. [any-thread]
Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format);
// A copy of the whole tree with the requested mutability (+1); NULL when it is not valid.
CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef allocator,
                                               CFPropertyListRef propertyList,
                                               CFOptionFlags mutabilityOption);

#ifdef __cplusplus
}
#endif
