#include "HostCommands.h"

#include "ComponentList.h"
#include "DestinationList.h"
#include "FileBytes.h"
#include "MIDIFileReader.h"
#include "MonitorEndpoint.h"
#include "ValidateCommand.h"

#include <iostream>
#include <stdexcept>

namespace {

// What a command that needs the play engine or the preset code exits with until they exist.
constexpr int kNotAvailableStatus = 1;
// Presets are small property lists; a larger file is no preset.
constexpr size_t kMaxPresetSize = size_t(1) << 20;

// Listing and checking --to send nothing to the monitor.
void IgnorePackets(const MIDIPacketList*, void*, void*) {}

// Reads a file only to learn that it can be read, so that a bad path fails before anything
// starts; its error starts with the path.
void CheckReadable(const std::string& path, size_t maxSize)
{
    try {
        ReadFileBytes(path, maxSize);
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(path + ": " + error.what());
    }
}

int NotAvailable(const char* command)
{
    std::cerr << "auhost: " << command << " is not available in this build yet\n";
    return kNotAvailableStatus;
}

// Everything play can check before it opens the unit: the file, the destination, the preset.
int Play(const PlayOptions& options)
{
    MIDIFileReader::ReadFile(options.mFile, options.mSampleRate);
    if (options.mDestination) {
        MonitorEndpoint monitor(IgnorePackets, nullptr);
        ResolveDestination(*options.mDestination, DestinationNames());
    }
    if (options.mPresetFile) {
        CheckReadable(*options.mPresetFile, kMaxPresetSize);
    }
    return NotAvailable("play");
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
        return Play(command.mPlay);
    case HostCommand::kPresetSave:
        return NotAvailable("preset save");
    case HostCommand::kPresetShow:
        CheckReadable(command.mPreset.mFile, kMaxPresetSize);
        return NotAvailable("preset show");
    case HostCommand::kValidate:
        return RunValidation(command.mValidate, out);
    }
    return 0;
}
