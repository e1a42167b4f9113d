// Turns a hang into a failure: if the object is not destroyed within the given time, the
// process prints which test hung and aborts, so CTest reports a failure instead of timing out.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class Watchdog {
public:
    explicit Watchdog(unsigned seconds, std::string what = "test");
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mMutex;
    std::condition_variable mDone;
    bool mFinished = false;
    std::thread mThread;
};
