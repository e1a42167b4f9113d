#include "CFLeakCheck.h"

#include <CoreFoundation/CFBase.h>

#include <gtest/gtest.h>

#include <mutex>

namespace {

// Compares the live-object count at the end of each test with the one at its start. It is
// appended after the result printer, and GoogleTest calls end events in reverse order, so the
// failure it adds is part of the test's printed result.
class CFLeakCheckListener : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override { mCountAtStart = CFLiveObjectCount(); }

    void OnTestEnd(const ::testing::TestInfo& test) override
    {
        const CFIndex countAtEnd = CFLiveObjectCount();
        if (countAtEnd != mCountAtStart) {
            ADD_FAILURE() << "CoreFoundation objects leaked (or over-released) by "
                          << test.test_suite_name() << "." << test.name() << ": " << mCountAtStart
                          << " live at start, " << countAtEnd << " at end";
        }
    }

private:
    CFIndex mCountAtStart = 0;
};

} // namespace

bool InstallCFLeakCheck()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        ::testing::UnitTest::GetInstance()->listeners().Append(new CFLeakCheckListener);
    });
    return true;
}
