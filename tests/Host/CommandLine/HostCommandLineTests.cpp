// The command line of auhost, parsed in-process: what each command and option sets, and how
// play's --to finds its destination. Refusals are checked on the program itself
// (tests/Host/AuhostProgramTests.cpp).
#include "CommandLine/HostCommandLine.h"
#include "Units/DestinationList.h"

#include "CAStreamBasicDescription.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// The command as one line of text, naming only what differs from the defaults.
std::string Describe(const HostCommand& command)
{
    static const char* const kKinds[] = {"help", "list",        "destinations",
                                         "play", "preset save", "preset show"};
    std::ostringstream text;
    text << kKinds[command.mKind];
    const PlayOptions& play = command.mPlay;
    const PlayOptions defaults;
    const AudioComponentDescription* unit = &play.mUnit;
    if (command.mKind == HostCommand::kPlay) {
        text << " " << play.mFile << (play.mDestination ? " to=" + *play.mDestination : "");
        if (play.mChannel != defaults.mChannel)
            text << " channel=" << play.mChannel;
        if (play.mProgram)
            text << " program=" << int(*play.mProgram);
        if (play.mBank)
            text << " bank=" << int(play.mBank->mMSB);
        if (play.mBank && play.mBank->mLSB)
            text << ":" << int(*play.mBank->mLSB);
        if (play.mSampleRate != defaults.mSampleRate)
            text << " rate=" << play.mSampleRate;
        if (play.mBlockFrames != defaults.mBlockFrames)
            text << " block=" << play.mBlockFrames;
        text << (play.mOffline ? " offline" : "") << (play.mQuiet ? " quiet" : "")
             << (play.mUnitLog ? " unit-log" : "");
        if (play.mOffsetMilliseconds != defaults.mOffsetMilliseconds)
            text << " offset=" << play.mOffsetMilliseconds;
        text << (play.mRecordFile ? " record=" + *play.mRecordFile : "")
             << (play.mPresetFile ? " preset=" + *play.mPresetFile : "");
    } else if (command.mKind >= HostCommand::kPresetSave) {
        text << " " << command.mPreset.mFile;
        for (const ParameterSetting& setting : command.mPreset.mSettings) {
            text << " set " << setting.mID << "=" << setting.mValue;
        }
        unit = &command.mPreset.mUnit;
    }
    if (command.mKind >= HostCommand::kPlay) {
        char codes[3][16];
        text << " unit=" << CAStringForOSType(unit->componentType, codes[0], 16)
             << CAStringForOSType(unit->componentSubType, codes[1], 16)
             << CAStringForOSType(unit->componentManufacturer, codes[2], 16);
    }
    return text.str();
}

HostCommand Parse(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "auhost");
    return HostCommandLine::Parse(static_cast<int>(arguments.size()), arguments.data());
}

const std::pair<std::vector<const char*>, const char*> kAccepted[] = {
    {{"list"}, "list"},
    {{"destinations"}, "destinations"},
    {{"play", "song.mid"}, "play song.mid unit='aumu''Pout''Plnk'"},
    {{"play",     "song.mid",       "--to",       "2",           "--channel",
      "16",       "--program",      "0",          "--bank",      "127",
      "--rate",   "48000",          "--block",    "64",          "--offline",
      "--record", "out.mid",        "--quiet",    "--preset",    "p.aupreset",
      "--unit",   "aumu:tiny:Tsts", "--unit-log", "--offset-ms", "-2.5"},
     "play song.mid to=2 channel=16 program=0 bank=127 rate=48000 block=64 offline quiet "
     "unit-log offset=-2.5 record=out.mid preset=p.aupreset unit='aumu''tiny''Tsts'"},
    {{"play", "--to", "auhost monitor", "--bank", "0:127", "song.mid"},
     "play song.mid to=auhost monitor bank=0:127 unit='aumu''Pout''Plnk'"},
    {{"preset", "save", "p.aupreset", "--set", "1=3", "--set", "4=-0.5", "--unit",
      "aumu:tiny:Tsts"},
     "preset save p.aupreset set 1=3 set 4=-0.5 unit='aumu''tiny''Tsts'"},
    {{"preset", "show", "p.aupreset"}, "preset show p.aupreset unit='aumu''Pout''Plnk'"},
    {{"--help"}, "help"},
    {{"play", "--help"}, "help"},
    {{"--version"}, "help"},
};

TEST(HostCommandLine, SetsWhatEachCommandAndOptionSays)
{
    for (const auto& [arguments, command] : kAccepted) {
        EXPECT_EQ(Describe(Parse(arguments)), command);
    }
    EXPECT_NE(Parse({"play", "--help"}).mHelpText.find("Usage: auhost play [OPTIONS] FILE.mid"),
              std::string::npos);
}

// The number found, or the message of the refusal.
std::pair<size_t, std::string> Resolve(const std::string& wanted,
                                       const std::vector<std::string>& names)
{
    try {
        return {ResolveDestination(wanted, names), ""};
    } catch (const std::runtime_error& error) {
        return {0, error.what()};
    }
}

TEST(DestinationList, FindsTheDestinationAsTXDeviceNumbersIt)
{
    // Names as a system may have them: two alike, one that looks like a number, and JACK ports
    // whose names hold one another.
    const std::vector<std::string> names = {"auhost monitor",      "Synth A",    "Synth A", "7",
                                            "FluidSynth: midi_00", "Fluid: midi"};
    const std::string all = "1 \"auhost monitor\", 2 \"Synth A\", 3 \"Synth A\", 4 \"7\", "
                            "5 \"FluidSynth: midi_00\", 6 \"Fluid: midi\"";
    const std::tuple<const char*, size_t, std::string> resolutions[] = {
        {"1", 1, ""},
        {"004", 4, ""},
        {"auhost monitor", 1, ""},
        {"AUHOST", 1, ""},             // a part, in any case
        {"fluidsynth:midi_00", 5, ""}, // JACK's spelling
        {"Fluid: midi", 6, ""},        // whole, though a part of 5 too
        {"fluid:MIDI", 6, ""},
        {"midi_", 5, ""},
        {"0", 0, "destination 0 is out of range (1 to 6)"},
        {"7", 0, "destination 7 is out of range (1 to 6)"}, // a number is always a number
        {"99999999999999999999", 0, "destination 99999999999999999999 is out of range (1 to 6)"},
        {"Synth A", 0,
         "destination name \"Synth A\" is ambiguous (2 \"Synth A\", 3 \"Synth A\"): give more "
         "of the name, or its number"},
        {"fluid", 0,
         "destination name \"fluid\" is ambiguous (5 \"FluidSynth: midi_00\", 6 \"Fluid: "
         "midi\"): give more of the name, or its number"},
        {"synth b", 0, "unknown destination \"synth b\" (the destinations are " + all + ")"},
        {"", 0, "unknown destination \"\" (the destinations are " + all + ")"},
    };
    for (const auto& [wanted, number, message] : resolutions) {
        EXPECT_EQ(Resolve(wanted, names), std::make_pair(number, message)) << wanted;
    }
    EXPECT_EQ(Resolve("1", {}).second, "destination 1 is out of range (there are no destinations)");
    EXPECT_EQ(Resolve("synth", {}).second,
              "unknown destination \"synth\" (there are no destinations)");
}

} // namespace
