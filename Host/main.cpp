// auhost: the command-line host. Every error is one line on standard error and exit status 2.
#include "HostCommandLine.h"
#include "HostCommands.h"

#include <cstdio>
#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    constexpr int kErrorStatus = 2;
    try {
        return RunHostCommand(HostCommandLine::Parse(argc, argv), std::cout);
    } catch (const std::exception& error) {
        std::cout.flush();
        std::fprintf(stderr, "auhost: %s\n", error.what());
        return kErrorStatus;
    }
}
