// auhost as the host's tests run it: the program the build made, finding the units the build made
// before any installed elsewhere.
#pragma once

#include "ProgramRun.h"

#include <string>
#include <vector>

inline const std::string kBuildBundles = "AUDIO_COMPONENT_PATH=" PLENKO_BUNDLES_DIR;

// environment adds to or replaces the build's units on the search path.
inline ProgramResult RunAuhost(std::vector<std::string> arguments,
                               std::vector<std::string> environment = {})
{
    arguments.insert(arguments.begin(), AUHOST_PATH);
    environment.insert(environment.begin(), kBuildBundles);
    return RunProgram(arguments, environment);
}
