#include "CommandLine/HostCommands.h"

#include "Monitor/MonitorEndpoint.h"
#include "Play/PlayCommand.h"
#include "Presets/PresetFile.h"
#include "Units/ComponentList.h"
#include "Units/DestinationList.h"
#include "Units/UnitInstance.h"
#include "ValidateCommand.h"

#include <AudioUnit/AudioUnitProperties.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

// Listing destinations sends nothing to the monitor.
void IgnorePackets(const MIDIPacketList*, void*, void*) {}

// The unit's state with the settings applied, named after the file as hosts name presets.
int SavePreset(const PresetOptions& options)
{
    UnitInstance unit(options.mUnit);
    for (const ParameterSetting& setting : options.mSettings) {
        // A value the unit would take and then ignore is refused here, in words.
        unit.CheckParameterValue(setting.mID, setting.mValue);
        unit.SetParameter(setting.mID, setting.mValue);
    }
    const std::string name = std::filesystem::path(options.mFile).stem().string();
    CFOwned<CFStringRef> nameString(
        CFStringCreateWithCString(nullptr, name.c_str(), kCFStringEncodingUTF8));
    unit.SetPresentPreset(nameString.get());
    CFOwned<CFPropertyListRef> state(unit.CopyClassInfo());
    PresetFile::Write(options.mFile, state.get());
    return 0;
}

} // namespace

int RunHostCommand(const HostCommand& command, std::ostream& out)
{
    switch (command.mKind) {
    case HostCommand::kHelp:
        out << command.mHelpText;
        return 0;
    case HostCommand::kList:
        PrintComponents(out, FindComponents());
        return 0;
    case HostCommand::kDestinations: {
        // The monitor is listed at the number it has while a file plays.
        MonitorEndpoint monitor(IgnorePackets, nullptr);
        PrintDestinations(out, DestinationNames());
        return 0;
    }
    case HostCommand::kPlay:
        return RunPlay(command.mPlay, out);
    case HostCommand::kPresetSave:
        // The unit's log is for play's --unit-log alone.
        setenv("PLENKO_LOG", "off", 1);
        return SavePreset(command.mPreset);
    case HostCommand::kPresetShow:
        PresetFile(command.mPreset.mFile).Print(out);
        return 0;
    case HostCommand::kValidate:
        return RunValidation(command.mValidate, out);
    }
    return 0;
}
