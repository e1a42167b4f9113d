// Counts what one thread asks of the allocator and of blocking locks while a check measures it.
// The counting is done by RealTimeInterposer.cpp, which only the auhost program links: it
// replaces the allocator's entry points and the blocking lock calls of the whole process and adds
// to the counts of the calling thread while that thread has a probe running. Everywhere else
// (sanitizer builds, which own the allocator, and programs that link the validator without the
// interposer) Installed() is false and nothing is counted.
#pragma once

struct RealTimeCounts {
    long mAllocations = 0; // malloc, calloc, realloc and the aligned forms
    long mFrees = 0;
    long mLocks = 0; // blocking lock calls (mutex, read-write lock), whether they waited or not
    long mWaits = 0; // of those, the ones that found the lock held
};

class RealTimeProbe {
public:
    // True when the interposer is in this program. [any-thread]
    static bool Installed();
    // Called once by the interposer as the program starts.
    static void MarkInstalled();

    // The counts of the calling thread while it is counting, else null. What the interposer
    // reads on every call: a thread-local pointer, no allocation, no lock. [any-thread]
    static RealTimeCounts* Counting();

    // Counts on the calling thread between Start and Stop; the counts add up over several
    // periods. [render-thread]
    void Start();
    void Stop();
    const RealTimeCounts& Counts() const { return mCounts; }

private:
    RealTimeCounts mCounts;
};
