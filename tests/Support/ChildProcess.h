// Runs another program beside a test, its standard output and error going to a file that the test
// reads once the program has ended.
#pragma once

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
    // Asks the program to end (SIGTERM) and waits for it; returns everything it printed.
    std::string Stop();

private:
    pid_t mPid = -1;
    std::string mOutputPath;
};
