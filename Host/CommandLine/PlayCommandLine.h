// The `play` command of auhost's command line: FILE.mid and play's options, and the texts among
// them (--unit, --bank, --program) that become PlayOptions once the line is parsed.
#pragma once

#include "CommandLine/HostCommand.h"

#include <optional>
#include <string>

namespace CLI {
class App;
}

// What auhost's exit status says, in the help of the program and of play.
inline constexpr const char* kExitStatuses =
    "Exit status: 0 when every event played was delivered; 1 when any was lost (the summary\n"
    "says how many and why); 2 for an error in the command line or the input, before anything\n"
    "plays; 128 + the signal's number when SIGINT (130), SIGHUP (129) or SIGTERM (143) ended\n"
    "play, after its closing messages.";

class PlayCommandLine {
public:
    // Adds the command to `app`; what the line gives lands in `options`. [host-thread]
    PlayCommandLine(CLI::App& app, PlayOptions& options);

    bool Parsed() const;
    // Reads the texts into the options; a text that does not read is a CLI11 parse error.
    void Finish();

private:
    PlayOptions& mOptions;
    CLI::App* mCommand;
    std::optional<std::string> mUnitText;
    std::optional<std::string> mBankText;
    std::optional<long> mProgram;
};
