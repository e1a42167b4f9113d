// Asks LeakSanitizer, in the sanitizer build, whether any block is unreachable right now, so a
// test can prove a sequence of calls gave back everything it took. Other builds cannot tell.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
constexpr bool kLeakCheckAvailable = true;
// True when LeakSanitizer found unreachable blocks (it prints them on standard error).
inline bool LeaksFound()
{
    return __lsan_do_recoverable_leak_check() != 0;
}
#else
constexpr bool kLeakCheckAvailable = false;
inline bool LeaksFound()
{
    return false;
}
#endif
