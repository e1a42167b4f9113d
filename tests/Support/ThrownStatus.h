// The status a call of the framework throws, for tests of look-ups and buffer operations that
// fail by throwing their status as a plain integer.
#pragma once

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
