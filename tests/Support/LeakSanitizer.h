// Asks LeakSanitizer, in the sanitizer build, whether any heap block is unreachable right now, so
// a test can prove that a sequence of calls gave back the memory it took. Other builds cannot
// tell and answer false. (Not to be confused with CFLeakCheck.h, which counts live
// CoreFoundation objects in every build.)
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

// True when LeakSanitizer found unreachable blocks (it prints them on standard error).
inline bool LeakSanitizerFindsUnreachableBlocks()
{
#if defined(__SANITIZE_ADDRESS__)
    return __lsan_do_recoverable_leak_check() != 0;
#else
    return false;
#endif
}
