// Runs another program beside a test, its standard output and error going to a file that the test
// reads while the program runs or once it has ended.
#pragma once

#include <csignal>
#include <string>
#include <sys/types.h>
#include <vector>

class ChildProcess {
public:
    // Starts the program (found on PATH) with the arguments; Started() tells whether it did.
    explicit ChildProcess(const std::vector<std::string>& command);
    // Stops the program if it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return mPid > 0 || mStatus != -1; }
    // Whether the program has not ended yet.
    bool Running();
    // Everything it printed so far.
    std::string Output() const;
    // Sends the program a signal while it runs, and returns at once.
    void Signal(int signalNumber);
    // Sends the program the signal (by default asking it to end), waits for it to end and returns
    // everything it printed.
    std::string Stop(int signalNumber = SIGTERM);
    // Waits for the program to end by itself; returns everything it printed.
    std::string Wait();
    // How it ended, as waitpid tells, or -1 while it runs.
    int Status() const { return mStatus; }
    // How it ended as a shell counts: 128 + the signal's number when a signal ended it; -1 while
    // it runs.
    int ExitStatus() const;
    // "exited with 0", "killed by signal 13", ...
    std::string HowItEnded() const;

private:
    void Reap(int options);

    pid_t mPid = -1;
    int mStatus = -1;
    std::string mOutputPath;
};
