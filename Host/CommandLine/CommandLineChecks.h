// Checks of option values for auhost's command line, with refusals in auhost's own words: each
// says what the value should be ("17 is not a channel: 1 to 16"), and CLI11 puts the option's
// name before it.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

// A whole decimal number from first to last, such as "a channel" from 1 to 16.
CLI::Validator WholeNumberFrom(long first, long last, const std::string& what);
// A decimal number (a sign and a fraction allowed) from first to last.
CLI::Validator NumberFrom(double first, double last, const std::string& what);
