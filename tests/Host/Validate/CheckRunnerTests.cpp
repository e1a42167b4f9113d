// The validator's runner and report: each test body runs in a child process, and whatever way it
// ends - passing with notes, failing, skipping, crashing, leaving early or hanging - becomes one
// line naming what happened.
#include "CheckRunner.h"
#include "ValidationReport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using Body = void (*)(ValidationContext&);

struct RunnerCase {
    const char* mName;
    Body mBody;
    const char* mLine; // the report's line
};

const RunnerCase kCases[] = {
    {"notes",
     [](ValidationContext& c) {
         c.Note("3 units");
         c.Note("fast");
     },
     "PASS  notes                   3 units; fast"},
    {"fails",
     [](ValidationContext& c) {
         c.Expect(true, "not shown");
         for (int i = 1; i <= 5; ++i)
             c.Fail("failure " + std::to_string(i));
         c.Note("not shown either");
     },
     "FAIL  fails                   failure 1; failure 2; failure 3; and 2 more"},
    {"skips", [](ValidationContext& c) { c.Skip("cannot count here"); },
     "SKIP  skips                   cannot count here"},
    {"throws", [](ValidationContext&) { throw CheckAbort("the unit cannot be opened"); },
     "FAIL  throws                  the unit cannot be opened"},
    {"crashes",
     [](ValidationContext& c) {
         c.Fail("before the crash");
         std::raise(SIGILL);
     },
     "FAIL  crashes                 before the crash; the unit died during this test: signal 4 "
     "(SIGILL, Illegal instruction)"},
    {"leaves", [](ValidationContext&) { _exit(3); },
     "FAIL  leaves                  the process ended during this test with exit status 3 "
     "before the test finished"},
    {"hangs", [](ValidationContext&) { std::this_thread::sleep_for(std::chrono::seconds(30)); },
     "FAIL  hangs                   the test did not finish within 1 s and was stopped"},
};

} // namespace

TEST(CheckRunner, EveryWayATestEndsIsOneLineOfTheReport)
{
    const CheckRunner runner(nullptr, 1, std::chrono::seconds(1), false);
    std::ostringstream out;
    ValidationReport report(out);
    std::string expected;
    for (const RunnerCase& c : kCases) {
        report.Add(ValidationCheck{c.mName, 1, "", c.mBody}, runner.Run({c.mName, 1, "", c.mBody}));
        expected += std::string(c.mLine) + "\n";
    }
    report.Summarize();
    EXPECT_EQ(out.str(), expected + "1 passed, 5 failed, 1 skipped\n");
    EXPECT_FALSE(report.AllPassed());
}
