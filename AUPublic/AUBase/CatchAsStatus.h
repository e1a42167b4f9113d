// The error convention of every host-call boundary: runs a body that returns a status and turns
// any exception it throws into the status the host receives, so no exception leaves the unit.
#pragma once

#include "CAXException.h"

#include <CoreAudio/CoreAudioTypes.h>
#include <ExceptionStatus.h>

#include <new>
#include <utility>

// Runs body() and returns its status; an exception becomes, in this order of matching: the
// status a CAXException carries, -108 for std::bad_alloc, a thrown int or short as its value
// (sign-extended), and -1 for anything else. Objects the body created on its stack are
// destroyed (locks released) before the status is produced. [any-thread]
template <class F> OSStatus CatchAsStatus(F&& body) noexcept
{
    try {
        return std::forward<F>(body)();
    } catch (const CAXException& exception) {
        return exception.mError;
    } catch (const std::bad_alloc&) {
        return kAudio_MemFullError;
    } catch (int status) {
        return status;
    } catch (short status) {
        return status;
    } catch (...) {
        return kUnknownExceptionStatus;
    }
}
