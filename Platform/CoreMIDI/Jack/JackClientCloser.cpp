#include "JackClientCloser.h"

#include <cerrno>
#include <csignal>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

bool ThreadRuns(pid_t thread)
{
    return syscall(SYS_tgkill, getpid(), thread, 0) == 0 || errno != ESRCH;
}

void WaitForThreadToEnd(pid_t thread)
{
    const auto until = std::chrono::steady_clock::now() + JackClientCloser::kNotificationThreadWait;
    while (ThreadRuns(thread) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

} // namespace

void BlockBrokenPipeSignal()
{
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);
}

void JackClientCloser::Close(jack_client_t* client, pid_t notificationThread,
                             std::shared_ptr<const void> callbackArgument)
{
    auto job = std::make_shared<Job>();
    mJob = job;
    // A close that never returns keeps the argument for good: a small leak, never a freed object
    // in a callback.
    std::thread([client, notificationThread, job, callbackArgument = std::move(callbackArgument)] {
        BlockBrokenPipeSignal();
        if (notificationThread != 0)
            WaitForThreadToEnd(notificationThread);
        jack_client_close(client);
        std::lock_guard<std::mutex> lock(job->mMutex);
        job->mFinished = true;
        job->mDone.notify_all();
    }).detach();
}

bool JackClientCloser::WaitUntilIdle(std::chrono::milliseconds timeout)
{
    if (!mJob)
        return true;
    std::unique_lock<std::mutex> lock(mJob->mMutex);
    return mJob->mDone.wait_for(lock, timeout, [this] { return mJob->mFinished; });
}
