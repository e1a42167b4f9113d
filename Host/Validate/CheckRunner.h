// Runs each validation check in a child process of its own (fork), so that a unit that crashes or
// hangs ends that check, not the validator: the child reports its findings through a pipe, and
// the parent adds how the child ended (a signal, an early exit, or killed after the time limit).
#pragma once

#include "ValidationChecks.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct CheckOutcome {
    enum Verdict { kPass, kFail, kSkip };
    Verdict mVerdict = kPass;
    std::vector<std::string> mFailures;
    std::string mRemark; // a passing check's notes, or why it was skipped
};

class CheckRunner {
public:
    // keepUnitOutput leaves the child's standard output and error open (the unit's own log and
    // the framework's diagnostics); otherwise they go to /dev/null.
    CheckRunner(AudioComponent component, std::uint64_t seed, std::chrono::seconds timeLimit,
                bool keepUnitOutput);

    // Runs the check in a child and waits for it. The parent must not run threads of its own: only
    // the calling thread lives on in the child. [host-thread]
    CheckOutcome Run(const ValidationCheck& check) const;

private:
    [[noreturn]] void RunInChild(const ValidationCheck& check, int report) const;

    AudioComponent mComponent;
    std::uint64_t mSeed;
    std::chrono::seconds mTimeLimit;
    bool mKeepUnitOutput;
};

// What the report says about a child that ended by `waitStatus` before its check finished.
std::string AbnormalEnd(int waitStatus);
