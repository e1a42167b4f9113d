#include "JobThread.h"

#include <cerrno>
#include <system_error>

JobThread::JobThread(std::function<void()> work) : mWork(std::move(work))
{
    if (sem_init(&mWake, 0, 0) != 0)
        throw std::system_error(errno, std::generic_category(), "job thread semaphore");
    try {
        mThread = std::thread(&JobThread::Run, this);
    } catch (...) {
        sem_destroy(&mWake);
        throw;
    }
}

JobThread::~JobThread()
{
    mStopping.store(true);
    sem_post(&mWake);
    mThread.join();
    sem_destroy(&mWake);
}

void JobThread::Run()
{
    while (true) {
        while (sem_wait(&mWake) != 0 && errno == EINTR) {
        }
        if (mStopping.load())
            return;
        mWork();
    }
}
