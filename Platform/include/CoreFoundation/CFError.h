// Errors reported by CoreFoundation calls: a domain, a code and an optional user-info dictionary.
// Threads: every call that reads is [any-thread]; changing one mutable object is [host-thread].
#pragma once

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFDictionary.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct __CFError* CFErrorRef;
typedef CFStringRef CFErrorDomain;

extern const CFErrorDomain kCFErrorDomainPOSIX;
extern const CFErrorDomain kCFErrorDomainOSStatus;
extern const CFErrorDomain kCFErrorDomainCocoa;

// User-info key whose string value is the error's description.
extern const CFStringRef kCFErrorDescriptionKey;

CFTypeID CFErrorGetTypeID(void);

// +1; userInfo is copied and may be NULL. NULL domain gives NULL. [any-thread]
CFErrorRef CFErrorCreate(CFAllocatorRef allocator, CFErrorDomain domain, CFIndex code,
                         CFDictionaryRef userInfo);
// Not retained for the caller. [any-thread]
CFErrorDomain CFErrorGetDomain(CFErrorRef err);
CFIndex CFErrorGetCode(CFErrorRef err);
// +1: the user-info description when there is one, else a text naming domain and code.
CFStringRef CFErrorCopyDescription(CFErrorRef err);
// +1; an empty dictionary when the error has none.
CFDictionaryRef CFErrorCopyUserInfo(CFErrorRef err);

#ifdef __cplusplus
}
#endif
