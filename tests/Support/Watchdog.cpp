#include "Watchdog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

Watchdog::Watchdog(unsigned seconds, std::string what)
{
    mThread = std::thread([this, seconds, what] {
        std::unique_lock<std::mutex> lock(mMutex);
        if (!mDone.wait_for(lock, std::chrono::seconds(seconds), [this] { return mFinished; })) {
            fprintf(stderr, "Watchdog: %s did not finish within %u s (deadlock?)\n", what.c_str(),
                    seconds);
            std::abort();
        }
    });
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mFinished = true;
    }
    mDone.notify_all();
    mThread.join();
}
