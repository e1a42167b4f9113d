// File-system locations as URLs. A relative path is kept relative, with the working directory at
// creation as its base.
// Threads: every call that reads is [any-thread]; changing one mutable object is [host-thread].
#pragma once

#include <CoreFoundation/CFBase.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef const struct __CFURL* CFURLRef;

typedef CFIndex CFURLPathStyle;
enum { kCFURLPOSIXPathStyle = 0, kCFURLHFSPathStyle = 1, kCFURLWindowsPathStyle = 2 };

CFTypeID CFURLGetTypeID(void);

// Creation (+1); only the POSIX path style is supported (others give NULL). isDirectory marks
// the URL as a folder (a trailing slash in its string). [any-thread]
CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef allocator, CFStringRef filePath,
                                       CFURLPathStyle pathStyle, Boolean isDirectory);
CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef allocator, const UInt8* buffer,
                                                 CFIndex bufLen, Boolean isDirectory);
CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef allocator, CFURLRef url,
                                               CFStringRef pathComponent, Boolean isDirectory);
CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef allocator, CFURLRef url);

// The URL's text: "file://" and the percent-encoded absolute path, or the encoded relative path
// for a relative URL. Not retained for the caller. [any-thread]
CFStringRef CFURLGetString(CFURLRef anURL);
// The path as given at creation, without a trailing slash (except "/"); +1. [any-thread]
CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle);
// The zero-terminated path, made absolute when resolveAgainstBase; false when it does not fit.
Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, UInt8* buffer,
                                         CFIndex maxBufLen);
CFStringRef CFURLCopyLastPathComponent(CFURLRef url);
// The extension of the last component without the dot, or NULL; +1.
CFStringRef CFURLCopyPathExtension(CFURLRef url);
Boolean CFURLHasDirectoryPath(CFURLRef anURL);

#ifdef __cplusplus
}
#endif
