// The error conventions that turn an exception into a status, so that no exception leaves the
// unit: the one of every host-call boundary, and the render cycle's own error exit.
#pragma once

#include "CAXException.h"

#include <CoreAudio/CoreAudioTypes.h>
#include <ExceptionStatus.h>

#include <new>
#include <utility>

// Runs body() and returns its status; an exception becomes, in this order of matching: the
// status a CAXException carries, `outOfMemoryStatus` for std::bad_alloc, a thrown int or short
// as its value (sign-extended), and -1 for anything else. Objects the body created on its stack
// are destroyed (locks released) before the status is produced. [any-thread]
template <class F> OSStatus CatchAsStatusWith(OSStatus outOfMemoryStatus, F&& body) noexcept
{
    try {
        return std::forward<F>(body)();
    } catch (const CAXException& exception) {
        return exception.mError;
    } catch (const std::bad_alloc&) {
        return outOfMemoryStatus;
    } catch (int status) {
        return status;
    } catch (short status) {
        return status;
    } catch (...) {
        return kUnknownExceptionStatus;
    }
}

// The host-call boundary: memory running out is -108. [any-thread]
template <class F> OSStatus CatchAsStatus(F&& body) noexcept
{
    return CatchAsStatusWith(kAudio_MemFullError, std::forward<F>(body));
}

// The error exit of the render and process calls: only a thrown status is kept, every other
// exception (memory running out too) is -1. [render-thread]
template <class F> OSStatus CatchAsRenderError(F&& body) noexcept
{
    return CatchAsStatusWith(kUnknownExceptionStatus, std::forward<F>(body));
}
