// Runs another program beside a test, its standard output and error going to a file that the test
// reads once the program has ended.
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

    bool Started() const { return mPid > 0; }
    // What it has printed so far.
    std::string Output() const;
    // Sends the program the signal (by default asking it to end), waits for it to end and returns
    // everything it printed.
    std::string Stop(int signalNumber = SIGTERM);
    // How it ended, as ProgramResult counts: 128 + the signal's number when a signal ended it.
    int ExitStatus() const { return mExitStatus; }

private:
    pid_t mPid = -1;
    int mExitStatus = -1;
    std::string mOutputPath;
};
