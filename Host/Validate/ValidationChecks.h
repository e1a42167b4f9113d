// The validator's checks: each has a name (for --only), the strictness from which it runs, a
// one-line description (for --list) and its body, which runs in a child process of its own.
#pragma once

#include "ValidationContext.h"

#include <string>
#include <vector>

struct ValidationCheck {
    const char* mName;
    int mStrictness;
    const char* mDescription;
    void (*mRun)(ValidationContext& context);
};

// Every check, by strictness and then in the order they run.
const std::vector<ValidationCheck>& ValidationChecks();
// The check of that name, or null.
const ValidationCheck* FindValidationCheck(const std::string& name);
