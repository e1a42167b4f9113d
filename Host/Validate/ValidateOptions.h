// `auhost validate`: which unit, how strictly, which checks and with which seed.
#pragma once

#include <AudioUnit/AudioComponent.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ValidateOptions {
    static constexpr int kMostStrict = 10;

    AudioComponentDescription mUnit = {};
    int mStrictness = 5;                // tests of this strictness and below run
    std::optional<std::uint64_t> mSeed; // none: drawn from the clock and printed
    std::optional<std::string> mOnly;   // the one test to run
    bool mList = false;                 // print the tests instead of running them
    bool mUnitOutput = false;           // keep the unit's standard output and error
};
