// The adapter's own thread for the work that must not run on the audio thread, for a host that
// offers no worker: the audio thread wakes it through a semaphore, without a lock or an
// allocation, and it does the work once for every wake-up it finds.
#pragma once

#include <atomic>
#include <functional>
#include <semaphore.h>
#include <thread>

class JobThread {
public:
    // Starts the thread. Throws std::system_error when it cannot. [host-thread]
    explicit JobThread(std::function<void()> work);
    // Lets work in progress end, then ends the thread. [host-thread]
    ~JobThread();
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    // [render-thread]
    void Wake() { sem_post(&mWake); }

private:
    void Run();

    std::function<void()> mWork;
    sem_t mWake;
    std::atomic<bool> mStopping{false};
    std::thread mThread;
};
