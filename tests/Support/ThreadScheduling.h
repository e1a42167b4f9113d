// How the system schedules threads, for tests of real-time requests: a thread's policy and
// priority, found by the name it gave itself; whether this process may ask for real-time
// scheduling at a priority; and the loss of that permission, as an unprivileged user has it.
#pragma once

#include <optional>
#include <string>

struct ThreadScheduling {
    int policy;   // SCHED_OTHER, SCHED_FIFO, ...
    int priority; // 0 for the normal policies
};

// The scheduling of the calling thread.
ThreadScheduling CurrentThreadScheduling();
// The scheduling of this process's thread of that name, if one runs.
std::optional<ThreadScheduling> NamedThreadScheduling(const std::string& name);
// Whether the system lets this process's threads take SCHED_FIFO at the priority: it holds the
// capability to, or its real-time limit reaches the priority.
bool RealTimeAllowed(int priority);
// Takes the permission away for good: drops the capability and sets the real-time limit to 0.
// For a child process of a test; false if that failed.
bool GiveUpRealTime();
