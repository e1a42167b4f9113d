#include "CommandLine/PresetCommandLine.h"

#include "CommandLine/OptionTexts.h"

#include <CLI/CLI.hpp>

PresetCommandLine::PresetCommandLine(CLI::App& app, PresetOptions& options)
    : mOptions(options), mCommand(app.add_subcommand("preset", "saves or shows unit presets")),
      mSave(mCommand->add_subcommand("save", "saves the unit's state as a preset")),
      mShow(mCommand->add_subcommand("show", "shows what a preset holds"))
{
    mSave->add_option("FILE.aupreset", options.mFile, "the preset file to write")->required();
    mSave->add_option("--set", mSettingTexts, "set a parameter before saving (repeatable)")
        ->type_name("ID=VALUE");
    AddUnitOption(*mSave, mUnitText);
    mShow->add_option("FILE.aupreset", options.mFile, "the preset file to read")->required();
}

bool PresetCommandLine::Parsed() const
{
    return mCommand->parsed();
}

std::optional<HostCommand::Kind> PresetCommandLine::Finish()
{
    if (!mSave->parsed() && !mShow->parsed()) {
        return std::nullopt;
    }
    for (const std::string& text : mSettingTexts) {
        mOptions.mSettings.push_back(SettingFromText(text));
    }
    if (mUnitText) {
        mOptions.mUnit = UnitFromText(*mUnitText);
    }
    return mSave->parsed() ? HostCommand::kPresetSave : HostCommand::kPresetShow;
}
