// The validator's report: a line per check (verdict, name, and what failed with the values seen
// or the figures of a pass) and the summary line with the counts.
#pragma once

#include "CheckRunner.h"

#include <ostream>

class ValidationReport {
public:
    // The failures shown on one check's line; the rest are counted.
    static constexpr size_t kFailuresShown = 3;

    explicit ValidationReport(std::ostream& out) : mOut(out) {}

    void Add(const ValidationCheck& check, const CheckOutcome& outcome);
    // "N passed, N failed, N skipped". [host-thread]
    void Summarize();
    bool AllPassed() const { return mFailed == 0; }

private:
    std::ostream& mOut;
    int mPassed = 0;
    int mFailed = 0;
    int mSkipped = 0;
};
