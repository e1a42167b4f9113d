// auhost: the command-line host. Every error is one line on standard error and exit status 2.
#include "CommandLine/HostCommandLine.h"
#include "CommandLine/HostCommands.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

// An installed auhost also finds the units installed with it, in <prefix>/lib/audio-components,
// after the folders the user names: the machine's folder is searched anyway, another prefix
// would not be.
void SearchBundlesBesideProgram()
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        return;
    }
    const fs::path folder = program.parent_path().parent_path() / "lib" / "audio-components";
    if (!fs::is_directory(folder, error)) {
        return;
    }
    const char* path = std::getenv("AUDIO_COMPONENT_PATH");
    const std::string searched = path != nullptr && *path != '\0'
                                     ? std::string(path) + ":" + folder.string()
                                     : folder.string();
    setenv("AUDIO_COMPONENT_PATH", searched.c_str(), 1);
}

} // namespace

int main(int argc, char** argv)
{
    constexpr int kErrorStatus = 2;
    SearchBundlesBesideProgram();
    try {
        return RunHostCommand(HostCommandLine::Parse(argc, argv), std::cout);
    } catch (const std::exception& error) {
        std::cout.flush();
        std::fprintf(stderr, "auhost: %s\n", error.what());
        return kErrorStatus;
    }
}
