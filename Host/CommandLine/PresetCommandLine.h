// The `preset save` and `preset show` commands of auhost's command line: FILE.aupreset, and for
// save the --set and --unit texts that become PresetOptions once the line is parsed.
#pragma once

#include "CommandLine/HostCommand.h"

#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

class PresetCommandLine {
public:
    // Adds `preset` and its two commands to `app`; what the line gives lands in `options`.
    // [host-thread]
    PresetCommandLine(CLI::App& app, PresetOptions& options);

    // `preset` was named, with or without save or show.
    bool Parsed() const;
    // kPresetSave or kPresetShow, with the texts read into the options (a text that does not
    // read is a CLI11 parse error); nothing when neither command was named.
    std::optional<HostCommand::Kind> Finish();

private:
    PresetOptions& mOptions;
    CLI::App* mCommand;
    CLI::App* mSave;
    CLI::App* mShow;
    std::optional<std::string> mUnitText;
    std::vector<std::string> mSettingTexts;
};
