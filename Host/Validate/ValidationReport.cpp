#include "ValidationReport.h"

#include <algorithm>
#include <iomanip>

namespace {

constexpr int kNameWidth = 24;

} // namespace

void ValidationReport::Add(const ValidationCheck& check, const CheckOutcome& outcome)
{
    static const char* const kVerdicts[] = {"PASS", "FAIL", "SKIP"};
    mOut << kVerdicts[outcome.mVerdict] << "  " << std::left << std::setw(kNameWidth)
         << check.mName;
    switch (outcome.mVerdict) {
    case CheckOutcome::kPass:
        ++mPassed;
        mOut << outcome.mRemark;
        break;
    case CheckOutcome::kSkip:
        ++mSkipped;
        mOut << outcome.mRemark;
        break;
    case CheckOutcome::kFail: {
        ++mFailed;
        const size_t shown = std::min(outcome.mFailures.size(), kFailuresShown);
        for (size_t i = 0; i < shown; ++i)
            mOut << (i == 0 ? "" : "; ") << outcome.mFailures[i];
        if (outcome.mFailures.size() > shown)
            mOut << "; and " << outcome.mFailures.size() - shown << " more";
        break;
    }
    }
    mOut << '\n' << std::flush;
}

void ValidationReport::Summarize()
{
    mOut << mPassed << " passed, " << mFailed << " failed";
    if (mSkipped > 0)
        mOut << ", " << mSkipped << " skipped";
    mOut << '\n';
}
