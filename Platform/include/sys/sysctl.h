// Named system values, read-only: the processor features under "hw.optional.*" that vector code
// asks for before choosing a path.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Reads the value called name into oldp (an int, 0 or 1) and its size into *oldlenp; with oldp
// null only the size is reported. Returns 0, or -1 with errno: ENOENT for an unknown name,
// ENOMEM when *oldlenp is too small, EPERM for any attempt to set a value (newp), EINVAL for a
// null name or size pointer. [any-thread]
int sysctlbyname(const char* name, void* oldp, size_t* oldlenp, void* newp, size_t newlen);

#ifdef __cplusplus
}
#endif
