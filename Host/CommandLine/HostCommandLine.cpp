#include "CommandLine/HostCommandLine.h"

#include "CommandLine/PlayCommandLine.h"
#include "CommandLine/PresetCommandLine.h"
#include "ValidateCommandLine.h"

#include <CLI/CLI.hpp>

namespace {

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

// Arguments that no command takes are refused by us, with the first of them named, rather than
// by CLI11 in its own words: every command of the line lets them through.
void AllowExtrasEverywhere(CLI::App& app)
{
    app.allow_extras();
    for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
        AllowExtrasEverywhere(*command);
    }
}

void RefuseExtras(const CLI::App& app)
{
    if (const std::vector<std::string> extras = app.remaining(true); !extras.empty()) {
        throw CLI::ParseError(ExtraArgumentText(extras.front(), !app.get_subcommands().empty()),
                              CLI::ExitCodes::ExtrasError);
    }
}

// auhost's commands on one command line; each reads its own options.
class CommandSet {
public:
    CommandSet(CLI::App& app, HostCommand& command)
        : mList(app.add_subcommand("list", "every component found, with its bundle")),
          mDestinations(app.add_subcommand(
              "destinations",
              "the MIDI destinations, numbered as the unit's \"TX Device\" counts them")),
          mPlay(app, command.mPlay), mPreset(app, command.mPreset),
          mValidate(AddValidateCommand(app, command.mValidate))
    {
    }

    // The command the parsed line names, its options read; a CLI11 parse error when it names
    // none or one of its texts does not read.
    HostCommand::Kind Chosen()
    {
        if (mList->parsed()) {
            return HostCommand::kList;
        }
        if (mDestinations->parsed()) {
            return HostCommand::kDestinations;
        }
        if (mPlay.Parsed()) {
            mPlay.Finish();
            return HostCommand::kPlay;
        }
        if (const std::optional<HostCommand::Kind> preset = mPreset.Finish()) {
            return *preset;
        }
        if (mValidate->parsed()) {
            return HostCommand::kValidate;
        }
        throw CLI::ParseError(mPreset.Parsed() ? "save or show expected"
                                               : "a command is expected: list, "
                                                 "destinations, play, preset or validate",
                              CLI::ExitCodes::RequiredError);
    }

private:
    CLI::App* mList;
    CLI::App* mDestinations;
    PlayCommandLine mPlay;
    PresetCommandLine mPreset;
    CLI::App* mValidate;
};

} // namespace

HostCommand HostCommandLine::Parse(int argc, const char* const* argv)
{
    CLI::App app("Plays MIDI files through a MIDI output unit, lists units and destinations, "
                 "and saves unit presets.",
                 "auhost");
    app.footer(kExitStatuses);
    bool version = false;
    app.add_flag("--version", version, "print auhost's version");
    HostCommand command;
    CommandSet commands(app, command);
    AllowExtrasEverywhere(app);
    try {
        app.parse(argc, argv);
        RefuseExtras(app);
        if (version) {
            command.mKind = HostCommand::kHelp;
            command.mHelpText = "auhost " AUHOST_VERSION "\n";
        } else {
            command.mKind = commands.Chosen();
        }
    } catch (const CLI::Success&) {
        command.mKind = HostCommand::kHelp;
        command.mHelpText = app.help();
    } catch (const CLI::ParseError& error) {
        throw CommandLineError(CommandPath(app) + RefusalText(error) + " (see --help)");
    }
    return command;
}
