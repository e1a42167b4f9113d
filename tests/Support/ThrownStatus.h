// Thrown statuses in tests: the status a call of the framework throws (look-ups and buffer
// operations fail by throwing it as a plain integer), and the exceptions a test unit's hook can
// be told to throw.
#pragma once

#include <new>

// The int the call throws, or 0 when it returns normally; any other exception passes through.
template <class Call> int ThrownStatus(Call call)
{
    try {
        call();
    } catch (int status) {
        return status;
    }
    return 0;
}

// What a test unit's hook can be told to throw: a status as a plain int, memory running out, or
// something that carries no status at all.
enum class ThrowKind { kStatus, kBadAlloc, kOther };

[[noreturn]] inline void ThrowAs(ThrowKind kind, int status)
{
    switch (kind) {
    case ThrowKind::kStatus:
        throw status;
    case ThrowKind::kBadAlloc:
        throw std::bad_alloc();
    case ThrowKind::kOther:
        break;
    }
    throw 2.5;
}
