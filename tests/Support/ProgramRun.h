// Runs a program to its end and collects what it wrote and how it ended: for tests of our own
// command-line programs and for the programs we did not write that check our files.
#pragma once

#include <string>
#include <vector>

struct ProgramResult {
    int mExitStatus = -1; // 128 + the signal's number when a signal ended it
    std::string mOut;
    std::string mErr;
};

// arguments[0] is the program (looked up on PATH when it has no slash); environment holds
// NAME=VALUE entries that are set or replaced for it. Throws std::runtime_error when the program
// cannot be started.
ProgramResult RunProgram(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment = {});
