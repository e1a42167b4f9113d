#include "PrivateJackServer.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <functional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

PrivateJackServer::PrivateJackServer(unsigned periodFrames) : mPeriodFrames(periodFrames)
{
    char program[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    const std::string path(program, length > 0 ? size_t(length) : 0);
    mName = "plenko-private-" + std::to_string(std::hash<std::string>{}(path) % 1000000);
}

PrivateJackServer::~PrivateJackServer()
{
    Stop();
}

std::string PrivateJackServer::Start()
{
    mServer = std::make_unique<ChildProcess>(std::vector<std::string>{
        "jackd", "-n", mName, "--no-realtime", "-d", "dummy", "-r", "48000", "-p",
        std::to_string(mPeriodFrames)});
    if (!mServer->Started())
        return "jackd (package jackd2) could not be run";
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (mServer->Running() && std::chrono::steady_clock::now() < until) {
        // jack_wait runs as a program of its own: a client that this process opened while
        // another of its clients has lost its server would make libjack close that one.
        ChildProcess wait({"jack_wait", "-s", mName, "-w", "-t", "1"});
        wait.Wait();
        if (wait.Status() == 0)
            return "";
    }
    const bool ended = !mServer->Running();
    const std::string printed = ended ? mServer->Output() : mServer->Stop();
    mServer.reset();
    RemoveClientSemaphores();
    return "jackd -n " + mName + (ended ? " ended at once" : " did not answer within 10 s") +
           "; it printed:\n" + printed;
}

std::string PrivateJackServer::Stop()
{
    if (!mServer)
        return "";
    const std::string printed = mServer->Stop();
    const bool clean = WIFEXITED(mServer->Status()) && WEXITSTATUS(mServer->Status()) == 0;
    const std::string how = mServer->HowItEnded();
    mServer.reset();
    RemoveClientSemaphores();
    if (clean)
        return "";
    return "jackd -n " + mName + " " + how + " when asked to stop; it printed:\n" + printed;
}

size_t PrivateJackServer::ClientsNotFinished() const
{
    if (!mServer)
        return 0;
    const std::string printed = mServer->Output();
    const std::string line = "was not finished";
    size_t count = 0;
    for (size_t at = printed.find(line); at != std::string::npos; at = printed.find(line, at + 1))
        ++count;
    return count;
}

void PrivateJackServer::RemoveClientSemaphores() const
{
    const std::string prefix = "jack_sem." + std::to_string(getuid()) + "_" + mName + "_";
    DIR* shm = opendir("/dev/shm");
    if (shm == nullptr)
        return;
    while (const dirent* entry = readdir(shm))
        if (std::string(entry->d_name).rfind(prefix, 0) == 0)
            unlink(("/dev/shm/" + std::string(entry->d_name)).c_str());
    closedir(shm);
}
