// The auhost program as a user runs it: exit statuses, the one line of each error on standard
// error, and the listings of components and destinations.
#include "HexBytes.h"
#include "ProgramRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

struct AuhostRun {
    std::vector<std::string> mArguments;
    int mExitStatus;
    std::string mErrorStart; // what standard error starts with (all of it for errors: one line)
    std::string mOutputHas;  // a part of standard output
    std::vector<std::string> mEnvironment = {};
};

class AuhostProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        auto write = [](const std::string& name, const std::string& corpusFile) {
            return WriteTemporaryFile(
                name, ReadHexFile(std::string(MIDI_CORPUS_DIR) + "/" + corpusFile + ".hex"));
        };
        sSong = write("HostTests-song.mid", "valid/running-status");
        sBroken = write("HostTests-broken.mid", "malformed/long-variable-length");
    }

    static ProgramResult RunAuhost(const AuhostRun& run)
    {
        std::vector<std::string> arguments = {AUHOST_PATH};
        arguments.insert(arguments.end(), run.mArguments.begin(), run.mArguments.end());
        return RunProgram(arguments, run.mEnvironment);
    }

    static inline std::string sSong;
    static inline std::string sBroken;
};

TEST_F(AuhostProgram, AnswersEachRunWithItsStatusAndLines)
{
    const std::string folder = fs::temp_directory_path().string();
    const std::string tinyUnit = fs::canonical(FIXTURE_BUNDLES_DIR "/TinyUnit.component").string();
    const AuhostRun runs[] = {
        {{},
         2,
         "auhost: a command is expected: list, destinations, play or preset (see --help)\n",
         ""},
        {{"--help"}, 0, "", "Usage: auhost [OPTIONS] [SUBCOMMAND]"},
        {{"play", sSong, "--channel", "17"},
         2,
         "auhost: play: --channel: Value 17 not in range 1 to 16 (see --help)\n",
         ""},
        {{"play", "/nonexistent/song.mid"},
         2,
         "auhost: /nonexistent/song.mid: cannot open: No such file or directory\n",
         ""},
        {{"play", folder}, 2, "auhost: " + folder + ": is a directory\n", ""},
        {{"play", sBroken},
         2,
         "auhost: " + sBroken +
             ": track 1: variable-length number longer than 4 bytes at byte 22\n",
         ""},
        {{"play", sSong, "--to", "300"}, 2, "auhost: destination 300 is out of range (1 to ", ""},
        {{"play", sSong, "--to", "no such synth"},
         2,
         "auhost: unknown destination \"no such synth\" (auhost destinations lists them)\n",
         ""},
        {{"play", sSong, "--preset", "/nonexistent/p.aupreset"},
         2,
         "auhost: /nonexistent/p.aupreset: cannot open: No such file or directory\n",
         ""},
        {{"preset", "show", "/nonexistent/p.aupreset"},
         2,
         "auhost: /nonexistent/p.aupreset: cannot open: No such file or directory\n",
         ""},
        // auhost's own destination exists first, as while a file plays.
        {{"destinations"}, 0, "", "1  auhost monitor\n"},
        {{"list"},
         0,
         "",
         "'aumu' 'tiny' 'Tsts'  1.2.3  Tests: TinyUnit  " + tinyUnit + "\n",
         {"AUDIO_COMPONENT_PATH=" FIXTURE_BUNDLES_DIR}},
    };
    for (const AuhostRun& run : runs) {
        const ProgramResult result = RunAuhost(run);
        const std::string what = run.mArguments.empty() ? "(none)" : run.mArguments[0];
        EXPECT_EQ(result.mExitStatus, run.mExitStatus) << what << "\n" << result.mErr;
        EXPECT_EQ(result.mErr.substr(0, run.mErrorStart.size()), run.mErrorStart) << what;
        if (run.mExitStatus != 0) {
            EXPECT_EQ(std::count(result.mErr.begin(), result.mErr.end(), '\n'), 1) << what;
        }
        EXPECT_NE(result.mOut.find(run.mOutputHas), std::string::npos) << what << "\n"
                                                                       << result.mOut;
    }
}

} // namespace
