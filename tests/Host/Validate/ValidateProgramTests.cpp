// auhost validate as a user runs it: the unit passes every test; each broken fixture unit fails
// exactly the test meant to catch it, a crash included, which is reported while the run goes on;
// --list and --only; refused command lines.
#include "ProgramRun.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

// The sanitizer build owns the allocator, so the validator cannot count allocations there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCountsAllocations = false;
#else
constexpr bool kCountsAllocations = true;
#endif

constexpr size_t kTestCount = 16;

ProgramResult RunValidate(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), {AUHOST_PATH, "validate"});
    return RunProgram(arguments, {"AUDIO_COMPONENT_PATH=" VALIDATOR_COMPONENT_PATH});
}

struct TestLine {
    std::string mVerdict;
    std::string mText;
};

// The report's test lines by test name: "PASS  name  text".
std::map<std::string, TestLine> TestLines(const std::string& report)
{
    std::map<std::string, TestLine> lines;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) {
        const std::string verdict = line.substr(0, 4);
        if (verdict != "PASS" && verdict != "FAIL" && verdict != "SKIP")
            continue;
        std::istringstream fields(line.substr(4));
        std::string name;
        fields >> name;
        std::string text;
        std::getline(fields, text);
        lines[name] = {verdict, text};
    }
    return lines;
}

std::string LastLine(const std::string& text)
{
    const size_t end = text.find_last_not_of('\n');
    const size_t start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1,
                       end - (start == std::string::npos ? 0 : start + 1) + 1);
}

} // namespace

TEST(AuhostValidate, TheUnitPassesEveryTest)
{
    const ProgramResult result =
        RunValidate({"aumu", "Pout", "Plnk", "--strictness", "10", "--seed", "1"});
    EXPECT_EQ(result.mExitStatus, 0) << result.mOut << result.mErr;
    const auto lines = TestLines(result.mOut);
    EXPECT_EQ(lines.size(), kTestCount) << result.mOut;
    for (const auto& [name, line] : lines) {
        const bool skipped = !kCountsAllocations && name == "real-time";
        EXPECT_EQ(line.mVerdict, skipped ? "SKIP" : "PASS") << name << line.mText;
    }
    EXPECT_EQ(LastLine(result.mOut),
              kCountsAllocations ? "16 passed, 0 failed" : "15 passed, 0 failed, 1 skipped");
}

TEST(AuhostValidate, EachBrokenUnitFailsTheTestMeantToCatchItAndOnlyThat)
{
    const struct {
        const char* mSubtype;
        const char* mTest;
        const char* mLine; // what the test's line says, in part
    } kUnits[] = {
        {"Ball", "real-time", "allocations and 10000 frees on the render thread over 10000 slices"},
        {"Bsiz", "properties",
         "property 29 (InPlaceProcessing), global scope: its information gives 2 bytes, the "
         "platform's type has 4"},
        {"Bsta", "state-round-trip",
         "after restoring, parameter 1 (global) reads 16.000000, expected 0.000000"},
        {"Blck", "real-time", "10000 blocking lock calls (0 of them waited) on the render thread"},
        {"Bnan", "parameter-values", "the unit died during this test: signal 6 (SIGABRT, Aborted)"},
    };
    for (const auto& [subtype, test, text] : kUnits) {
        const ProgramResult result =
            RunValidate({"aumu", subtype, "Tsts", "--strictness", "10", "--seed", "1"});
        const auto lines = TestLines(result.mOut);
        EXPECT_EQ(lines.size(), kTestCount) << subtype << ": the run goes on\n" << result.mOut;
        const bool caught = kCountsAllocations || std::string(test) != "real-time";
        for (const auto& [name, line] : lines) {
            const bool meant = name == test;
            const bool skipped = !kCountsAllocations && name == "real-time";
            EXPECT_EQ(line.mVerdict, meant && caught ? "FAIL"
                                     : skipped       ? "SKIP"
                                                     : "PASS")
                << subtype << " " << name << line.mText;
            if (meant && caught) {
                EXPECT_NE(line.mText.find(text), std::string::npos) << line.mText;
            }
        }
        EXPECT_EQ(result.mExitStatus, caught ? 1 : 0) << subtype;
    }
}

TEST(AuhostValidate, ListDescribesEveryTestAndOnlyRunsOne)
{
    const ProgramResult list = RunValidate({"--list"});
    EXPECT_EQ(list.mExitStatus, 0);
    std::istringstream in(list.mOut);
    std::vector<std::string> names;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        int strictness = 0;
        std::string name, description;
        fields >> strictness >> name;
        std::getline(fields, description);
        EXPECT_TRUE(strictness >= 1 && strictness <= 10) << line;
        EXPECT_GT(description.size(), 10u) << line;
        names.push_back(name);
    }
    ASSERT_EQ(names.size(), kTestCount) << list.mOut;
    for (const std::string& name : {names.front(), names.back()}) {
        const ProgramResult only = RunValidate({"aumu", "Pout", "Plnk", "--only", name});
        const auto lines = TestLines(only.mOut);
        ASSERT_EQ(lines.size(), 1u) << only.mOut;
        EXPECT_EQ(lines.begin()->first, name);
        EXPECT_EQ(only.mExitStatus, 0) << only.mOut;
    }
}

TEST(AuhostValidate, RefusesWhatItCannotRun)
{
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{}, "validate: TYPE SUBTYPE MANU: three four-character codes are expected"},
        {{"aumu", "Pout"}, "validate: TYPE SUBTYPE MANU: three four-character codes are expected"},
        {{"aumu", "Pout", "Plnkk"},
         "validate: TYPE SUBTYPE MANU: \"Plnkk\" is not four characters"},
        {{"aumu", "Pout", "Plnk", "--strictness", "11"},
         "validate: --strictness: \"11\" is not a strictness: a whole number from 1 to 10"},
        {{"aumu", "Pout", "Plnk", "--only", "speed"},
         "validate: --only: no test is named \"speed\" (see --list)"},
        {{"aumu", "none", "Plnk"},
         "validate: no component aumu none Plnk is installed (see auhost list)"},
    };
    for (const auto& [arguments, line] : refusals) {
        const ProgramResult result = RunValidate(arguments);
        EXPECT_EQ(result.mExitStatus, 2) << line;
        EXPECT_EQ(result.mErr.substr(0, 8 + line.size()), "auhost: " + line) << result.mErr;
    }
}
