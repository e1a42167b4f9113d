// The command line of auhost, parsed in-process: what each command and option sets, what is
// refused with which line, and how play's --to finds its destination.
#include "DestinationList.h"
#include "HostCommandLine.h"

#include "CAStreamBasicDescription.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::string Code(OSType code)
{
    char text[16];
    return CAStringForOSType(code, text, sizeof text);
}

// The command as one line of text, listing only what differs from the defaults.
std::string Describe(const HostCommand& command)
{
    static const char* const kKinds[] = {"help", "list",        "destinations",
                                         "play", "preset save", "preset show"};
    std::ostringstream text;
    text << kKinds[command.mKind];
    const AudioComponentDescription* unit = nullptr;
    if (command.mKind == HostCommand::kPlay) {
        const PlayOptions& play = command.mPlay;
        const PlayOptions defaults;
        text << " " << play.mFile;
        if (play.mDestination)
            text << " to=" << *play.mDestination;
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
        if (play.mOffline)
            text << " offline";
        if (play.mRecordFile)
            text << " record=" << *play.mRecordFile;
        if (play.mQuiet)
            text << " quiet";
        if (play.mPresetFile)
            text << " preset=" << *play.mPresetFile;
        unit = &play.mUnit;
    } else if (command.mKind == HostCommand::kPresetSave ||
               command.mKind == HostCommand::kPresetShow) {
        text << " " << command.mPreset.mFile;
        for (const ParameterSetting& setting : command.mPreset.mSettings) {
            text << " set " << setting.mID << "=" << setting.mValue;
        }
        unit = &command.mPreset.mUnit;
    }
    if (unit != nullptr) {
        text << " unit=" << Code(unit->componentType) << Code(unit->componentSubType)
             << Code(unit->componentManufacturer);
    }
    return text.str();
}

HostCommand Parse(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "auhost");
    return HostCommandLine::Parse(static_cast<int>(arguments.size()), arguments.data());
}

struct Accepted {
    std::vector<const char*> mArguments;
    const char* mCommand;
};

const Accepted kAccepted[] = {
    {{"list"}, "list"},
    {{"destinations"}, "destinations"},
    {{"play", "song.mid"}, "play song.mid unit='aumu''Pout''Plnk'"},
    {{"play",     "song.mid",      "--to",    "2",        "--channel",
      "16",       "--program",     "0",       "--bank",   "127",
      "--rate",   "48000",         "--block", "64",       "--offline",
      "--record", "out.mid",       "--quiet", "--preset", "p.aupreset",
      "--unit",   "aumu:tiny:Tsts"},
     "play song.mid to=2 channel=16 program=0 bank=127 rate=48000 block=64 offline "
     "record=out.mid quiet preset=p.aupreset unit='aumu''tiny''Tsts'"},
    {{"play", "--to", "auhost monitor", "--bank", "0:127", "song.mid"},
     "play song.mid to=auhost monitor bank=0:127 unit='aumu''Pout''Plnk'"},
    {{"preset", "save", "p.aupreset", "--set", "1=3", "--set", "4=-0.5"},
     "preset save p.aupreset set 1=3 set 4=-0.5 unit='aumu''Pout''Plnk'"},
    {{"preset", "show", "p.aupreset"}, "preset show p.aupreset unit='aumu''Pout''Plnk'"},
    {{"--help"}, "help"},
    {{"play", "--help"}, "help"},
};

TEST(HostCommandLine, SetsWhatEachCommandAndOptionSays)
{
    for (const Accepted& accepted : kAccepted) {
        EXPECT_EQ(Describe(Parse(accepted.mArguments)), accepted.mCommand);
    }
    EXPECT_NE(Parse({"play", "--help"}).mHelpText.find("Usage: auhost play [OPTIONS] FILE.mid"),
              std::string::npos);
}

struct Refused {
    std::vector<const char*> mArguments;
    const char* mMessage;
};

const Refused kRefused[] = {
    {{}, "a command is expected: list, destinations, play or preset (see --help)"},
    {{"record"}, "The following argument was not expected: record (see --help)"},
    {{"preset"}, "preset: save or show expected (see --help)"},
    {{"play"}, "play: FILE.mid is required (see --help)"},
    {{"play", "a.mid", "b.mid"},
     "play: The following argument was not expected: b.mid (see --help)"},
    {{"play", "a.mid", "--channel", "0"},
     "play: --channel: Value 0 not in range 1 to 16 (see --help)"},
    {{"play", "a.mid", "--program", "128"},
     "play: --program: Value 128 not in range 0 to 127 (see --help)"},
    {{"play", "a.mid", "--rate", "44.1k"},
     "play: --rate: Value 44.1k not in range 8000 to 384000 (see --help)"},
    {{"play", "a.mid", "--block", "0"},
     "play: --block: Value 0 not in range 1 to 4096 (see --help)"},
    {{"play", "a.mid", "--bank", "128"},
     "play: --bank: \"128\" is not MSB or MSB:LSB (0 to 127 each) (see --help)"},
    {{"play", "a.mid", "--bank", "1:"},
     "play: --bank: \"1:\" is not MSB or MSB:LSB (0 to 127 each) (see --help)"},
    {{"play", "a.mid", "--unit", "aumu:Pout"},
     "play: --unit: \"aumu:Pout\" is not TYPE:SUBTYPE:MANU (four characters each) (see --help)"},
    {{"preset", "save", "p.aupreset", "--set", "1"},
     "preset save: --set: \"1\" is not ID=VALUE (a parameter number and a number) (see --help)"},
    {{"preset", "save", "p.aupreset", "--set", "x=1"},
     "preset save: --set: \"x=1\" is not ID=VALUE (a parameter number and a number) (see --help)"},
    {{"preset", "save", "p.aupreset", "--set", "1=nan"},
     "preset save: --set: \"1=nan\" is not ID=VALUE (a parameter number and a number) (see "
     "--help)"},
};

TEST(HostCommandLine, RefusesWithOneLineNamingTheArgument)
{
    for (const Refused& refused : kRefused) {
        try {
            Parse(refused.mArguments);
            ADD_FAILURE() << refused.mMessage << ": accepted";
        } catch (const CommandLineError& error) {
            EXPECT_EQ(error.what(), std::string(refused.mMessage));
        }
    }
}

struct Resolution {
    const char* mSpec;
    size_t mNumber; // 0 when refused
    const char* mMessage;
};

// Names as a system may have them: two alike, and one that looks like a number.
const std::vector<std::string> kNames = {"auhost monitor", "Synth A", "Synth A", "7"};

const Resolution kResolutions[] = {
    {"1", 1, ""},
    {"4", 4, ""},
    {"004", 4, ""},
    {"auhost monitor", 1, ""},
    {"0", 0, "destination 0 is out of range (1 to 4)"},
    {"7", 0, "destination 7 is out of range (1 to 4)"}, // a number is always a number
    {"99999999999999999999", 0, "destination 99999999999999999999 is out of range (1 to 4)"},
    {"Synth A", 0, "destination name \"Synth A\" is ambiguous (2 and 3): give its number"},
    {"synth a", 0, "unknown destination \"synth a\" (auhost destinations lists them)"},
    {"", 0, "unknown destination \"\" (auhost destinations lists them)"},
};

// The number found, or the message of the refusal.
std::pair<size_t, std::string> Resolve(const std::string& spec,
                                       const std::vector<std::string>& names)
{
    try {
        return {ResolveDestination(spec, names), ""};
    } catch (const std::runtime_error& error) {
        return {0, error.what()};
    }
}

TEST(DestinationList, FindsTheDestinationAsTXDeviceNumbersIt)
{
    for (const Resolution& resolution : kResolutions) {
        EXPECT_EQ(Resolve(resolution.mSpec, kNames),
                  std::make_pair(resolution.mNumber, std::string(resolution.mMessage)));
    }
    EXPECT_EQ(
        Resolve("1", {}),
        std::make_pair(size_t(0),
                       std::string("destination 1 is out of range (there are no destinations)")));
}

} // namespace
