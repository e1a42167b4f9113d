// The auhost program as a user runs it: exit status 2 and one line on standard error for each
// error (a refused argument, a file that cannot be read or is no MIDI file, an unknown
// destination), and the listings of components and destinations.
#include "HexBytes.h"
#include "ProgramRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

ProgramResult RunAuhost(std::vector<std::string> arguments,
                        const std::vector<std::string>& environment = {})
{
    arguments.insert(arguments.begin(), AUHOST_PATH);
    return RunProgram(arguments, environment);
}

std::string CorpusFile(const std::string& name, const std::string& corpusFile)
{
    return WriteTemporaryFile(
        name, ReadHexFile(std::string(MIDI_CORPUS_DIR) + "/" + corpusFile + ".hex").mBytes);
}

TEST(AuhostProgram, EachErrorIsOneLineAndStatus2)
{
    const std::string song = CorpusFile("song.mid", "valid/running-status");
    const std::string broken = CorpusFile("broken.mid", "malformed/long-variable-length");
    const std::string folder = fs::temp_directory_path().string();
    // What the line says after "auhost: " (its start only where the machine decides the rest).
    const std::pair<std::vector<std::string>, std::string> errors[] = {
        {{},
         "a command is expected: list, destinations, play, preset or validate (see "
         "--help)\n"},
        {{"record"}, "The following argument was not expected: record (see --help)\n"},
        {{"preset"}, "preset: save or show expected (see --help)\n"},
        {{"play"}, "play: FILE.mid is required (see --help)\n"},
        {{"play", song, "--channel", "17"},
         "play: --channel: Value 17 not in range 1 to 16 (see --help)\n"},
        {{"play", song, "--rate", "44.1k"},
         "play: --rate: Value 44.1k not in range 8000 to 384000 (see --help)\n"},
        {{"play", song, "--bank", "1:"},
         "play: --bank: \"1:\" is not MSB or MSB:LSB (0 to 127 each) (see --help)\n"},
        {{"play", song, "--unit", "aumu:Pout"},
         "play: --unit: \"aumu:Pout\" is not TYPE:SUBTYPE:MANU (four characters each) (see "
         "--help)\n"},
        {{"preset", "save", "p.aupreset", "--set", "1=nan"},
         "preset save: --set: \"1=nan\" is not ID=VALUE (a parameter number and a number) (see "
         "--help)\n"},
        {{"play", "/nonexistent/song.mid"},
         "/nonexistent/song.mid: cannot open: No such file or directory\n"},
        {{"play", folder}, folder + ": is a directory\n"},
        {{"play", broken},
         broken + ": track 1: variable-length number longer than 4 bytes at byte 22\n"},
        {{"play", song, "--to", "300"}, "destination 300 is out of range (1 to "},
        {{"play", song, "--to", "no such synth"},
         "unknown destination \"no such synth\" (auhost destinations lists them)\n"},
        {{"play", song, "--preset", "/nonexistent/p.aupreset"},
         "/nonexistent/p.aupreset: cannot open: No such file or directory\n"},
        {{"preset", "show", "/nonexistent/p.aupreset"},
         "/nonexistent/p.aupreset: cannot open: No such file or directory\n"},
    };
    for (const auto& [arguments, line] : errors) {
        const ProgramResult result = RunAuhost(arguments);
        EXPECT_EQ(result.mExitStatus, 2) << line;
        EXPECT_EQ(result.mErr.substr(0, 8 + line.size()), "auhost: " + line);
        EXPECT_EQ(std::count(result.mErr.begin(), result.mErr.end(), '\n'), 1) << result.mErr;
    }
}

TEST(AuhostProgram, ListsComponentsWithTheirBundlesAndDestinationsByNumber)
{
    const std::string bundle = fs::canonical(FIXTURE_BUNDLES_DIR "/TinyUnit.component").string();
    const ProgramResult list = RunAuhost({"list"}, {"AUDIO_COMPONENT_PATH=" FIXTURE_BUNDLES_DIR});
    EXPECT_EQ(list.mExitStatus, 0);
    EXPECT_NE(list.mOut.find("'aumu' 'tiny' 'Tsts'  1.2.3  Tests: TinyUnit  " + bundle + "\n"),
              std::string::npos)
        << list.mOut;

    // auhost's own destination exists first, as it does while a file plays.
    const ProgramResult destinations = RunAuhost({"destinations"});
    EXPECT_EQ(destinations.mExitStatus, 0);
    EXPECT_EQ(destinations.mOut.substr(0, 18), "1  auhost monitor\n");

    const ProgramResult help = RunAuhost({"--help"});
    EXPECT_EQ(help.mExitStatus, 0);
    EXPECT_NE(help.mOut.find("Usage: auhost [OPTIONS] [SUBCOMMAND]"), std::string::npos);
}

} // namespace
