#include "CheckRunner.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Reads the child's findings until it closes the pipe or the deadline passes; false on timeout.
bool ReadUntilClosed(int pipe, std::chrono::steady_clock::time_point deadline, std::string& text)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd ready{pipe, POLLIN, 0};
        const int polled = poll(&ready, 1, int(left.count()));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return polled == 0 ? false : true;
        char chunk[4096];
        const ssize_t got = read(pipe, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return true;
        text.append(chunk, size_t(got));
    }
}

// Builds the outcome from the child's lines: F failure, S skip, N note, E end.
CheckOutcome ParseFindings(const std::string& text, bool& finished)
{
    CheckOutcome outcome;
    std::vector<std::string> notes;
    std::string skip;
    finished = false;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            break; // a line cut off by a crash
        const char kind = text[start];
        std::string body = text.substr(start + 1, end - start - 1);
        start = end + 1;
        switch (kind) {
        case 'F':
            outcome.mFailures.push_back(body);
            break;
        case 'S':
            skip = body;
            break;
        case 'N':
            notes.push_back(body);
            break;
        case 'E':
            finished = true;
            break;
        }
    }
    for (const std::string& note : notes)
        outcome.mRemark += (outcome.mRemark.empty() ? "" : "; ") + note;
    if (!skip.empty() && outcome.mFailures.empty()) {
        outcome.mVerdict = CheckOutcome::kSkip;
        outcome.mRemark = skip;
    }
    return outcome;
}

} // namespace

std::string AbnormalEnd(int waitStatus)
{
    if (WIFSIGNALED(waitStatus)) {
        const int signal = WTERMSIG(waitStatus);
        const char* abbreviation = sigabbrev_np(signal);
        return "the unit died during this test: signal " + std::to_string(signal) + " (SIG" +
               (abbreviation != nullptr ? abbreviation : "?") + ", " + strsignal(signal) + ")";
    }
    return "the process ended during this test with exit status " +
           std::to_string(WEXITSTATUS(waitStatus)) + " before the test finished";
}

CheckRunner::CheckRunner(AudioComponent component, std::uint64_t seed,
                         std::chrono::seconds timeLimit, bool keepUnitOutput)
    : mComponent(component), mSeed(seed), mTimeLimit(timeLimit), mKeepUnitOutput(keepUnitOutput)
{
}

CheckOutcome CheckRunner::Run(const ValidationCheck& check) const
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return CheckOutcome{CheckOutcome::kFail, {"cannot make a pipe to a child process"}, ""};
    // What the parent buffered must not be written twice, once by the child.
    std::cout.flush();
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return CheckOutcome{CheckOutcome::kFail, {"cannot start a child process"}, ""};
    }
    if (child == 0) {
        close(fds[0]);
        RunInChild(check, fds[1]);
    }
    close(fds[1]);
    std::string text;
    const bool closed =
        ReadUntilClosed(fds[0], std::chrono::steady_clock::now() + mTimeLimit, text);
    close(fds[0]);
    if (!closed)
        kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    bool finished = false;
    CheckOutcome outcome = ParseFindings(text, finished);
    if (!closed)
        outcome.mFailures.push_back("the test did not finish within " +
                                    std::to_string(mTimeLimit.count()) + " s and was stopped");
    else if (!finished || !WIFEXITED(status))
        outcome.mFailures.push_back(AbnormalEnd(status));
    if (!outcome.mFailures.empty())
        outcome.mVerdict = CheckOutcome::kFail;
    return outcome;
}

void CheckRunner::RunInChild(const ValidationCheck& check, int report) const
{
    if (!mKeepUnitOutput) {
        const int nowhere = open("/dev/null", O_WRONLY);
        dup2(nowhere, STDOUT_FILENO);
        dup2(nowhere, STDERR_FILENO);
    }
    ValidationContext context(mComponent, mSeed, check.mName, report);
    try {
        check.mRun(context);
    } catch (const std::exception& error) {
        context.Fail(error.what());
    }
    context.Finish();
    // A full exit, so that the services the check started end as they should: a MIDI system
    // client that the child never closed would stay registered with its server. What the exit
    // reports (a leak check, say) does not matter any more: the check told its end.
    std::exit(0);
}
