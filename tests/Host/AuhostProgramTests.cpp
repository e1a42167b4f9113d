// The auhost program as a user runs it: exit status 2 and one line on standard error for each
// error (a refused argument, a file that cannot be read or is no MIDI file, an unknown
// destination or unit, a preset that is no preset of the unit), with nothing played, and the
// listings of components and destinations.
#include "AuhostRun.h"
#include "HexBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> BytesOf(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

// A preset file of the unit's form with the entries given, in the XML of property lists.
std::string PresetFile(const std::string& name, const std::string& entries)
{
    return WriteTemporaryFile(name, BytesOf("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                            "<plist version=\"1.0\">" +
                                            entries + "</plist>\n"));
}

std::string UnitEntries(int version, const std::string& subtype, const std::string& data,
                        const std::string& type = "1635085685")
{
    return "<dict><key>version</key><integer>" + std::to_string(version) +
           "</integer><key>type</key><integer>" + type + "</integer><key>subtype</key><integer>" +
           subtype +
           "</integer><key>manufacturer</key><integer>1349283435</integer><key>data</key><data>" +
           data + "</data></dict>";
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
    const std::string truncated = CorpusFile("truncated.mid", "malformed/truncated-chunk");
    const std::string text = WriteTemporaryFile("text.mid", BytesOf("MIDI, but in words\n"));
    const std::string noPlist = WriteTemporaryFile("words.aupreset", BytesOf("<plist>\n"));
    const std::string array = PresetFile("array.aupreset", "<array/>");
    // 'ABCD' for 'Pout'; version 1; a record of one entry that promises two pairs and has one.
    const std::string other = PresetFile("other.aupreset", UnitEntries(0, "1094861636", ""));
    // 'aufx' for 'aumu': an effect of the same subtype and manufacturer.
    const std::string effect =
        PresetFile("effect.aupreset", UnitEntries(0, "1349481844", "", "1635083896"));
    const std::string version = PresetFile("version.aupreset", UnitEntries(1, "1349481844", ""));
    const std::string cut =
        PresetFile("cut.aupreset", UnitEntries(0, "1349481844", "AAAAAAAAAAAAAAACAAAAAT+AAAA="));
    // What the line says after "auhost: " (its start only where the machine decides the rest).
    const std::pair<std::vector<std::string>, std::string> errors[] = {
        {{},
         "a command is expected: list, destinations, play, preset or validate (see "
         "--help)\n"},
        {{"record"},
         "\"record\" is no command: list, destinations, play, preset or validate is expected "
         "(see --help)\n"},
        {{"preset"}, "preset: save or show expected (see --help)\n"},
        {{"play"}, "play: no FILE.mid given (see --help)\n"},
        {{"preset", "show"}, "preset show: no FILE.aupreset given (see --help)\n"},
        {{"play", song, "--channel", "17"},
         "play: --channel: \"17\" is not a channel: a whole number from 1 to 16 (see --help)\n"},
        {{"play", song, "--channel"}, "play: --channel needs a value (see --help)\n"},
        {{"play", song, "--fast"}, "play: there is no option --fast (see --help)\n"},
        {{"play", song, "--fast=yes"}, "play: there is no option --fast (see --help)\n"},
        {{"play", song, "other.mid"}, "play: \"other.mid\" was not expected (see --help)\n"},
        {{"play", song, "--rate", "44.1k"},
         "play: --rate: \"44.1k\" is not a sample rate: a whole number from 8000 to 384000 (see "
         "--help)\n"},
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
         "unknown destination \"no such synth\" (the destinations are 1 \""},
        {{"play", song, "--preset", "/nonexistent/p.aupreset"},
         "/nonexistent/p.aupreset: cannot open: No such file or directory\n"},
        {{"preset", "show", "/nonexistent/p.aupreset"},
         "/nonexistent/p.aupreset: cannot open: No such file or directory\n"},
        {{"play", text}, text + ": not a MIDI file (it does not start with MThd)\n"},
        {{"play", truncated}, truncated + ": truncated chunk header at byte 42 (6 of 8 bytes)\n"},
        {{"play", song, "--unit", "aumu:None:Plnk"},
         "unit 'aumu' 'None' 'Plnk' not found (auhost list shows the units found)\n"},
        {{"play", song, "--preset", noPlist}, noPlist + ": not a property list\n"},
        {{"play", song, "--preset", array},
         array + ": not a unit preset (its property list is no dictionary)\n"},
        {{"play", song, "--preset", other},
         other + ": a preset of the unit 'aumu' 'ABCD' 'Plnk', not of 'aumu' 'Pout' 'Plnk'\n"},
        {{"play", song, "--preset", effect},
         effect + ": a preset of the unit 'aufx' 'Pout' 'Plnk', not of 'aumu' 'Pout' 'Plnk'\n"},
        {{"play", song, "--program", "12"},
         "--program and --bank need --channel: the unit sends bank and program only on a fixed "
         "transmit channel (\"TX Channel\" 1 to 16, which a preset may set too)\n"},
        {{"play", song, "--bank", "3:4", "--preset", version},
         version + ": preset version 1 is not supported (0 expected)\n"},
        {{"play", song, "--bank", "3"},
         "--program and --bank need --channel: the unit sends bank and program only on a fixed "
         "transmit channel (\"TX Channel\" 1 to 16, which a preset may set too)\n"},
        {{"play", song, "--preset", version},
         version + ": preset version 1 is not supported (0 expected)\n"},
        {{"play", song, "--preset", cut}, cut + ": its parameter data is truncated\n"},
        {{"preset", "show", cut}, cut + ": its parameter data is truncated\n"},
        {{"play", song, "--record", "/nonexistent/out.mid"},
         "/nonexistent/out.mid: cannot write: no writable folder /nonexistent\n"},
        {{"play", song, "--offset-ms", "-1500"},
         "play: --offset-ms: \"-1500\" is not an offset in milliseconds: a number from -1000 to "
         "1000 (see --help)\n"},
        {{"preset", "save", "p.aupreset", "--set", "99=1"},
         "the unit has no parameter 99 (its parameters are 0 \"TX Device\", 1 \"TX Channel\", 2 "
         "\"Prg Change\", 3 \"Bank Select MSB\", 4 \"Bank Select LSB\")\n"},
        {{"preset", "save", "p.aupreset", "--set", "1=999"},
         "parameter 1 \"TX Channel\" takes 0 to 16, not 999\n"},
        {{"preset", "save", "p.aupreset", "--set", "2=-1"},
         "parameter 2 \"Prg Change\" takes 0 to 128, not -1\n"},
    };
    for (const auto& [arguments, line] : errors) {
        const ProgramResult result = RunAuhost(arguments);
        EXPECT_EQ(result.mExitStatus, 2) << line;
        EXPECT_EQ(result.mErr.substr(0, 8 + line.size()), "auhost: " + line);
        EXPECT_EQ(std::count(result.mErr.begin(), result.mErr.end(), '\n'), 1) << result.mErr;
        // Nothing played, and no preset was written.
        EXPECT_EQ(result.mOut.find("summary: "), std::string::npos) << line;
        EXPECT_EQ(result.mOut.find("monitor "), std::string::npos) << line;
        EXPECT_FALSE(fs::exists("p.aupreset")) << line;
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

    // Numbered from 1, auhost's own destination among them as it is while a file plays (other
    // programs' ports come first when a JACK server runs).
    const ProgramResult destinations = RunAuhost({"destinations"});
    EXPECT_EQ(destinations.mExitStatus, 0);
    std::istringstream lines(destinations.mOut);
    int number = 0, monitors = 0;
    for (std::string line; std::getline(lines, line);) {
        const std::string prefix = std::to_string(++number) + "  ";
        EXPECT_EQ(line.substr(0, prefix.size()), prefix) << destinations.mOut;
        monitors += line == prefix + "auhost monitor";
    }
    EXPECT_EQ(monitors, 1) << destinations.mOut;

    // The help of the program and of play list the exit statuses; --version names the version.
    const std::vector<std::string> helps[] = {{"--help"}, {"play", "--help"}};
    for (const std::vector<std::string>& arguments : helps) {
        const ProgramResult help = RunAuhost(arguments);
        EXPECT_EQ(help.mExitStatus, 0);
        EXPECT_NE(help.mOut.find("Usage: auhost "), std::string::npos);
        EXPECT_NE(help.mOut.find("Exit status: 0 when every event played was delivered; 1 when "
                                 "any was lost"),
                  std::string::npos)
            << help.mOut;
        EXPECT_NE(help.mOut.find("SIGINT (130), SIGHUP (129) or SIGTERM (143)"), std::string::npos);
    }
    const ProgramResult version = RunAuhost({"--version"});
    EXPECT_EQ(version.mExitStatus, 0);
    EXPECT_EQ(version.mOut, "auhost " PLENKO_VERSION "\n");
}

// Installed into any prefix, auhost runs on the stand-in's library installed with it and finds
// the unit installed with it.
TEST(AuhostProgram, RunsInstalledAndFindsTheUnitInstalledWithIt)
{
    const fs::path prefix =
        fs::temp_directory_path() / ("auhost-install-" + std::to_string(getpid()));
    const ProgramResult installed =
        RunProgram({"cmake", "--install", PLENKO_BUNDLES_DIR, "--prefix", prefix.string()});
    ASSERT_EQ(installed.mExitStatus, 0) << installed.mErr;
    const ProgramResult list = RunProgram({(prefix / "bin/auhost").string(), "list"},
                                          {"AUDIO_COMPONENT_PATH=", "LD_LIBRARY_PATH="});
    EXPECT_EQ(list.mExitStatus, 0) << list.mErr;
    EXPECT_NE(list.mOut.find("'aumu' 'Pout' 'Plnk'  1.0.0  Plenko: PlenkoOut  " +
                             (prefix / "lib/audio-components/PlenkoOut.component").string() + "\n"),
              std::string::npos)
        << list.mOut;
    fs::remove_all(prefix);
}

} // namespace
