// Carries out `auhost validate`: lists the checks, or finds the unit and runs the chosen checks on
// it, one line each and a summary. Returns the exit status: 0 only if every check run passed (a
// skipped check does not fail). Throws std::runtime_error when the unit cannot be found.
#pragma once

#include "ValidateOptions.h"

#include <ostream>

// [host-thread]
int RunValidation(const ValidateOptions& options, std::ostream& out);
