// A thread of the MIDI services' own that sleeps until it is woken or a deadline passes: the
// semaphore that wakes it and the thread itself, started when made and, once told to stop and
// woken, joined when destroyed. Declared last in its owner, so that it ends before anything it
// uses.
#pragma once

#include <MacTypes.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <semaphore.h>
#include <system_error>
#include <thread>
#include <utility>

class WakeableThread {
public:
    // Starts body() on a new thread, which runs until Stopping(); throws std::system_error when
    // it cannot.
    template <typename Body> explicit WakeableThread(Body body)
    {
        if (sem_init(&mWake, 0, 0) != 0)
            throw std::system_error(errno, std::generic_category(), "MIDI services semaphore");
        try {
            mThread = std::thread(std::move(body));
        } catch (...) {
            sem_destroy(&mWake);
            throw;
        }
    }
    ~WakeableThread()
    {
        mStopping.store(true);
        Wake();
        mThread.join();
        sem_destroy(&mWake);
    }
    WakeableThread(const WakeableThread&) = delete;
    WakeableThread& operator=(const WakeableThread&) = delete;

    // [any-thread]
    void Wake() { sem_post(&mWake); }
    bool Stopping() const { return mStopping.load(); }
    bool IsThisThread() const { return std::this_thread::get_id() == mThread.get_id(); }

    // On the thread itself: sleeps until woken.
    void Wait()
    {
        while (sem_wait(&mWake) != 0 && errno == EINTR) {
        }
    }
    // Sleeps until woken or the monotonic clock reaches the deadline (nanoseconds).
    void WaitUntil(UInt64 deadline)
    {
        const timespec until{time_t(deadline / 1000000000), long(deadline % 1000000000)};
        while (sem_clockwait(&mWake, CLOCK_MONOTONIC, &until) != 0 && errno == EINTR) {
        }
    }
    // Takes the wake-ups already given, so that what they announce is seen now.
    void TakeWakeUps()
    {
        while (sem_trywait(&mWake) == 0) {
        }
    }

private:
    std::atomic<bool> mStopping{false};
    sem_t mWake;
    std::thread mThread;
};
