#include "ChildProcess.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

ChildProcess::ChildProcess(const std::vector<std::string>& command)
{
    char path[] = "/tmp/plenko-child-XXXXXX";
    const int output = mkstemp(path);
    if (output < 0 || command.empty())
        return;
    mOutputPath = path;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDERR_FILENO);
    // Nothing else of the test's: a pipe it inherited would keep a reader waiting.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const std::string& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        mPid = pid;
    posix_spawn_file_actions_destroy(&actions);
    close(output);
}

ChildProcess::~ChildProcess()
{
    Stop();
    if (!mOutputPath.empty())
        unlink(mOutputPath.c_str());
}

bool ChildProcess::Running()
{
    Reap(WNOHANG);
    return mPid > 0;
}

std::string ChildProcess::Output() const
{
    std::ifstream file(mOutputPath);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void ChildProcess::Signal(int signalNumber)
{
    if (mPid > 0)
        kill(mPid, signalNumber);
}

std::string ChildProcess::Stop(int signalNumber)
{
    Signal(signalNumber);
    return Wait();
}

std::string ChildProcess::Wait()
{
    Reap(0);
    return Output();
}

int ChildProcess::ExitStatus() const
{
    if (mStatus == -1)
        return -1;
    return WIFSIGNALED(mStatus) ? 128 + WTERMSIG(mStatus) : WEXITSTATUS(mStatus);
}

std::string ChildProcess::HowItEnded() const
{
    if (mStatus == -1)
        return "still running";
    if (WIFSIGNALED(mStatus))
        return "killed by signal " + std::to_string(WTERMSIG(mStatus));
    return "exited with " + std::to_string(WEXITSTATUS(mStatus));
}

void ChildProcess::Reap(int options)
{
    if (mPid <= 0)
        return;
    int status = 0;
    pid_t ended;
    while ((ended = waitpid(mPid, &status, options)) < 0 && errno == EINTR) {
    }
    if (ended == mPid) {
        mStatus = status;
        mPid = -1;
    }
}
