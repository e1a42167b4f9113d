// Runs another program beside a test, its standard output and error going to a file that the test
// reads while the program runs or once it has ended.
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

    bool Started() const { return mPid > 0 || mStatus != -1; }
    // Whether the program has not ended yet.
    bool Running();
    // Everything it printed so far.
    std::string Output() const;
    // Asks the program to end (SIGTERM) and waits for it; returns everything it printed.
    std::string Stop();
    // Waits for the program to end by itself; returns everything it printed.
    std::string Wait();
    // How it ended, as waitpid tells, or -1 while it runs.
    int Status() const { return mStatus; }
    // "exited with 0", "killed by signal 13", ...
    std::string HowItEnded() const;

private:
    void Reap(int options);

    pid_t mPid = -1;
    int mStatus = -1;
    std::string mOutputPath;
};
