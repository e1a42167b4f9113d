// The validator's tests: each has a name (for --only), the strictness from which it runs, a
// one-line description (for --list) and its body, which runs in a child process of its own.
#pragma once

#include "ValidationContext.h"

#include <string>
#include <vector>

struct ValidationTest {
    const char* mName;
    int mStrictness;
    const char* mDescription;
    void (*mRun)(ValidationContext& context);
};

// Every test, by strictness and then in the order they run.
const std::vector<ValidationTest>& ValidationTests();
// The test of that name, or null.
const ValidationTest* FindValidationTest(const std::string& name);
