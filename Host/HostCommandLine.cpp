#include "HostCommandLine.h"

// The stand-in's reading of four-character codes, shared with its bundle manifests.
#include "AudioComponent/BundleManifest.h"
#include "CommandLineChecks.h"
#include "ValidateCommandLine.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

constexpr long kMaxMIDIValue = 127;

// A whole decimal number from first to last, or nothing.
std::optional<long> WholeNumber(const std::string& text, long first, long last)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 9) {
        return std::nullopt;
    }
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < first || value > last) {
        return std::nullopt;
    }
    return value;
}

// TYPE:SUBTYPE:MANU, four printable characters each.
AudioComponentDescription UnitFromText(const std::string& text)
{
    AudioComponentDescription unit = {};
    if (text.size() != 14 || text[4] != ':' || text[9] != ':' ||
        !FourCharCodeFromText(text.substr(0, 4), unit.componentType) ||
        !FourCharCodeFromText(text.substr(5, 4), unit.componentSubType) ||
        !FourCharCodeFromText(text.substr(10, 4), unit.componentManufacturer)) {
        throw CLI::ValidationError(
            "--unit", "\"" + text + "\" is not TYPE:SUBTYPE:MANU (four characters each)");
    }
    return unit;
}

BankSelect BankFromText(const std::string& text)
{
    const size_t colon = text.find(':');
    const auto msb = WholeNumber(text.substr(0, colon), 0, kMaxMIDIValue);
    const auto lsb = colon == std::string::npos
                         ? std::optional<long>(-1)
                         : WholeNumber(text.substr(colon + 1), 0, kMaxMIDIValue);
    if (!msb || !lsb) {
        throw CLI::ValidationError("--bank",
                                   "\"" + text + "\" is not MSB or MSB:LSB (0 to 127 each)");
    }
    BankSelect bank;
    bank.mMSB = static_cast<Byte>(*msb);
    if (*lsb >= 0) {
        bank.mLSB = static_cast<Byte>(*lsb);
    }
    return bank;
}

ParameterSetting SettingFromText(const std::string& text)
{
    const size_t equals = text.find('=');
    const auto id = WholeNumber(text.substr(0, equals), 0, UINT32_MAX);
    const std::string valueText = equals == std::string::npos ? "" : text.substr(equals + 1);
    char* end = nullptr;
    errno = 0;
    const float value = valueText.empty() ? 0.0f : std::strtof(valueText.c_str(), &end);
    if (!id || valueText.empty() || *end != '\0' || errno != 0 || !std::isfinite(value)) {
        throw CLI::ValidationError(
            "--set", "\"" + text + "\" is not ID=VALUE (a parameter number and a number)");
    }
    return ParameterSetting{static_cast<UInt32>(*id), value};
}

// The commands named so far, "play: " or "preset save: ", to put before a refusal.
std::string CommandPath(const CLI::App& app)
{
    std::string path;
    for (const CLI::App* command = &app; !command->get_subcommands().empty();) {
        command = command->get_subcommands().front();
        path += (path.empty() ? "" : " ") + command->get_name();
    }
    return path.empty() ? path : path + ": ";
}

// What auhost's exit status says, in the help of the program and of play.
constexpr const char* kExitStatuses =
    "Exit status: 0 when every event played was delivered; 1 when any was lost (the summary\n"
    "says how many and why); 2 for an error in the command line or the input, before anything\n"
    "plays; 128 + the signal's number when SIGINT (130), SIGHUP (129) or SIGTERM (143) ended\n"
    "play, after its closing messages.";

// The first argument the command line has no place for, as a sentence.
std::string ExtraArgumentText(const std::string& argument, bool commandChosen)
{
    if (argument.size() > 1 && argument[0] == '-') {
        return "there is no option " + argument.substr(0, argument.find('='));
    }
    if (!commandChosen) {
        return "\"" + argument +
               "\" is no command: list, destinations, play, preset or validate is expected";
    }
    return "\"" + argument + "\" was not expected";
}

// CLI11's refusal in auhost's words: an option without its value, a file not named, or a check
// of ours that failed (whose text is ours already).
std::string RefusalText(const CLI::ParseError& error)
{
    const std::string text = error.what();
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        return text.substr(0, text.find(':')) + " needs a value";
    }
    if (const size_t required = text.find(" is required");
        dynamic_cast<const CLI::RequiredError*>(&error) != nullptr &&
        required != std::string::npos) {
        return "no " + text.substr(0, required) + " given";
    }
    return text;
}

void AddUnitOption(CLI::App& command, std::optional<std::string>& text)
{
    command.add_option("--unit", text, "the unit to open (default aumu:Pout:Plnk)")
        ->type_name("TYPE:SUBTYPE:MANU");
}

} // namespace

HostCommand HostCommandLine::Parse(int argc, const char* const* argv)
{
    CLI::App app("Plays MIDI files through a MIDI output unit, lists units and destinations, "
                 "and saves unit presets.",
                 "auhost");
    app.footer(kExitStatuses);

    HostCommand command;
    PlayOptions& play = command.mPlay;
    PresetOptions& preset = command.mPreset;
    std::optional<std::string> unitText, bankText;
    std::vector<std::string> settingTexts;
    std::optional<long> program;
    bool version = false;
    app.add_flag("--version", version, "print auhost's version");

    CLI::App* list = app.add_subcommand("list", "every component found, with its bundle");
    CLI::App* destinations = app.add_subcommand(
        "destinations", "the MIDI destinations, numbered as the unit's \"TX Device\" counts them");

    CLI::App* playCommand = app.add_subcommand("play", "plays a MIDI file through the unit");
    playCommand->footer(kExitStatuses);
    playCommand->add_option("FILE.mid", play.mFile, "the Standard MIDI File to play")->required();
    playCommand
        ->add_option("--to", play.mDestination,
                     "the destination: its number, its name (JACK's client:port too) or a "
                     "part of it (default: auhost's monitor)")
        ->type_name("NAME|NUMBER");
    playCommand->add_option("--channel", play.mChannel, "send every message on this channel")
        ->type_name("N")
        ->check(WholeNumberFrom(1, 16, "a channel"));
    playCommand
        ->add_option("--program", program,
                     "program change to send first (0 to 127; needs a transmit channel)")
        ->type_name("N")
        ->check(WholeNumberFrom(0, kMaxMIDIValue, "a program"));
    playCommand
        ->add_option("--bank", bankText,
                     "bank select to send first (0 to 127 each; needs a transmit channel)")
        ->type_name("MSB[:LSB]");
    playCommand->add_option("--rate", play.mSampleRate, "sample rate (default 44100)")
        ->type_name("HZ")
        ->check(WholeNumberFrom(8000, 384000, "a sample rate"));
    playCommand->add_option("--block", play.mBlockFrames, "frames per render call (default 512)")
        ->type_name("FRAMES")
        ->check(WholeNumberFrom(1, 4096, "a number of frames"));
    playCommand->add_flag("--offline", play.mOffline, "render as fast as the destination takes it");
    playCommand
        ->add_option("--record", play.mRecordFile,
                     "record what arrives at the monitor as a MIDI file")
        ->type_name("OUT.mid");
    playCommand->add_flag("--quiet", play.mQuiet, "print only the summary");
    playCommand->add_flag("--unit-log", play.mUnitLog, "show the unit's own log");
    playCommand->add_option("--preset", play.mPresetFile, "load this preset into the unit first")
        ->type_name("FILE.aupreset");
    playCommand
        ->add_option("--offset-ms", play.mOffsetMilliseconds,
                     "deliver to the destination this much later, or earlier when negative")
        ->type_name("MS")
        ->check(NumberFrom(-1000, 1000, "an offset in milliseconds"));
    AddUnitOption(*playCommand, unitText);

    CLI::App* presetCommand = app.add_subcommand("preset", "saves or shows unit presets");
    CLI::App* save = presetCommand->add_subcommand("save", "saves the unit's state as a preset");
    save->add_option("FILE.aupreset", preset.mFile, "the preset file to write")->required();
    save->add_option("--set", settingTexts, "set a parameter before saving (repeatable)")
        ->type_name("ID=VALUE");
    AddUnitOption(*save, unitText);
    CLI::App* show = presetCommand->add_subcommand("show", "shows what a preset holds");
    show->add_option("FILE.aupreset", preset.mFile, "the preset file to read")->required();
    CLI::App* validate = AddValidateCommand(app, command.mValidate);
    for (CLI::App* each :
         {&app, list, destinations, playCommand, presetCommand, save, show, validate}) {
        each->allow_extras();
    }

    try {
        app.parse(argc, argv);
        if (const std::vector<std::string> extras = app.remaining(true); !extras.empty()) {
            throw CLI::ParseError(ExtraArgumentText(extras.front(), !app.get_subcommands().empty()),
                                  CLI::ExitCodes::ExtrasError);
        }
        if (version) {
            command.mKind = HostCommand::kHelp;
            command.mHelpText = "auhost " AUHOST_VERSION "\n";
        } else if (list->parsed()) {
            command.mKind = HostCommand::kList;
        } else if (destinations->parsed()) {
            command.mKind = HostCommand::kDestinations;
        } else if (playCommand->parsed()) {
            command.mKind = HostCommand::kPlay;
            if (program) {
                play.mProgram = static_cast<Byte>(*program);
            }
            if (bankText) {
                play.mBank = BankFromText(*bankText);
            }
            if (unitText) {
                play.mUnit = UnitFromText(*unitText);
            }
        } else if (save->parsed() || show->parsed()) {
            command.mKind = save->parsed() ? HostCommand::kPresetSave : HostCommand::kPresetShow;
            for (const std::string& text : settingTexts) {
                preset.mSettings.push_back(SettingFromText(text));
            }
            if (unitText) {
                preset.mUnit = UnitFromText(*unitText);
            }
        } else if (validate->parsed()) {
            command.mKind = HostCommand::kValidate;
        } else {
            throw CLI::ParseError(presetCommand->parsed()
                                      ? "save or show expected"
                                      : "a command is expected: list, "
                                        "destinations, play, preset or validate",
                                  CLI::ExitCodes::RequiredError);
        }
    } catch (const CLI::Success&) {
        command.mKind = HostCommand::kHelp;
        command.mHelpText = app.help();
    } catch (const CLI::ParseError& error) {
        throw CommandLineError(CommandPath(app) + RefusalText(error) + " (see --help)");
    }
    return command;
}
