// The `validate` command of auhost's command line: TYPE SUBTYPE MANU and its options.
#pragma once

#include "ValidateOptions.h"

namespace CLI {
class App;
}

// Adds the command to `app`; what the command line gives lands in `options` once parsed, checked
// (a refusal is a CLI11 parse error). [host-thread]
CLI::App* AddValidateCommand(CLI::App& app, ValidateOptions& options);
