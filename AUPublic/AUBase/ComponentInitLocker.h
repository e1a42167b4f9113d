// Serialises the construction of unit objects across the process, and gives each construction
// (nested ones on the same thread included) the instance type that was current when it began.
#pragma once

#include <MacTypes.h>

#include <pthread.h>

class ComponentInitLocker {
public:
    // Takes the process-wide open lock (recursive) and remembers the current instance type.
    // [any-thread]
    ComponentInitLocker();
    // Restores the instance type it found and releases the lock.
    ~ComponentInitLocker();
    ComponentInitLocker(const ComponentInitLocker&) = delete;
    ComponentInitLocker& operator=(const ComponentInitLocker&) = delete;

private:
    static void InitComponentInitLocker();

    static pthread_mutex_t sComponentOpenMutex;
    static pthread_once_t sOnce;

    SInt32 mPreviousNewInstanceType;
};
