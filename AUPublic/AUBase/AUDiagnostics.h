// The framework's diagnostic lines for failed preconditions. Each is written to standard error
// and hands back the status that belongs to the check, so a caller writes
// `return AURequireFailed(...)`. None of them stops the program.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>

#include <cstdio>

// "ca_require: condition label file:line". [any-thread]
inline OSStatus AURequireFailed(const char* condition, const char* label, const char* file,
                                int line, OSStatus status)
{
    fprintf(stderr, "ca_require: %s %s %s:%d\n", condition, label, file, line);
    return status;
}

// "ca_debug_string: message file:line". [any-thread]
inline OSStatus AUDebugStringFailed(const char* message, const char* file, int line,
                                    OSStatus status)
{
    fprintf(stderr, "ca_debug_string: %s %s:%d\n", message, file, line);
    return status;
}
