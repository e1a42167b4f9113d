#include "CAVectorUnit.h"
#include "OutputCapture.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/sysctl.h>

namespace {

const std::string kBypassMessage =
    "CA_NoVector set; Vector unit optimized routines will be bypassed\n";

bool FeaturePresent(const char* name)
{
    int value = 0;
    size_t size = sizeof(value);
    return sysctlbyname(name, &value, &size, nullptr, 0) == 0 && value != 0;
}

} // namespace

// Runs in a fresh process, so that no earlier query has stored a type yet.
TEST(CAVectorUnitDeathTest, NoVectorIsAnsweredAndReportedOnEveryQuery)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("CA_NoVector", "", 1);
            const bool allNone = CAVectorUnit_GetType() == kVectorUnitNone &&
                                 CAVectorUnit::GetVectorUnitType() == kVectorUnitNone &&
                                 CAVectorUnit_Examine() == kVectorUnitNone;
            const bool nothingStored = gCAVectorUnitType.load() == kVectorUnitUnknown;
            exit(allNone && nothingStored ? 0 : 1);
        },
        testing::ExitedWithCode(0), testing::Eq(kBypassMessage + kBypassMessage + kBypassMessage));
}

TEST(CAVectorUnit, DetectsTheBestFeatureOnceAndKeepsIt)
{
    unsetenv("CA_NoVector");
    int expected = kVectorUnitNone;
    if (FeaturePresent("hw.optional.avx1_0")) {
        expected = kVectorUnitAVX1;
    } else if (FeaturePresent("hw.optional.sse3")) {
        expected = kVectorUnitSSE3;
    } else if (FeaturePresent("hw.optional.sse2")) {
        expected = kVectorUnitSSE2;
    }
    EXPECT_EQ(CAVectorUnit::GetVectorUnitType(), expected);
    EXPECT_EQ(gCAVectorUnitType.load(), expected);

    // Once examined, the stored type stands even if the bypass is asked for later.
    OutputCapture errors(OutputCapture::kStderr);
    setenv("CA_NoVector", "1", 1);
    EXPECT_EQ(CAVectorUnit_GetType(), expected);
    unsetenv("CA_NoVector");
    EXPECT_EQ(errors.Take(), "");
}
