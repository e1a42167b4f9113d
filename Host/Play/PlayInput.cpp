#include "Play/PlayInput.h"

#include "MIDIFile/MIDIFileReader.h"

#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace {

// The --record file must be writable before anything plays: its folder has to exist.
void CheckRecordTarget(const std::string& path)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::absolute(fs::path(path)).parent_path();
    std::error_code error;
    if (!fs::is_directory(folder, error) || access(folder.c_str(), W_OK) != 0) {
        throw std::runtime_error(path + ": cannot write: no writable folder " + folder.string());
    }
    if (fs::is_directory(path, error)) {
        throw std::runtime_error(path + ": is a directory");
    }
}

} // namespace

PlayInput::PlayInput(const PlayOptions& options)
    : mSong(MIDIFileReader::ReadFile(options.mFile, options.mSampleRate))
{
    if (options.mPresetFile) {
        mPreset.emplace(*options.mPresetFile);
        mPreset->CheckUnit(options.mUnit);
    }
    if (options.mRecordFile) {
        CheckRecordTarget(*options.mRecordFile);
    }
}

void CheckRecordRoute(const PlayOptions& options, const PlayRoute& route)
{
    if (options.mRecordFile && !route.mToMonitor) {
        throw std::runtime_error("--record records what arrives at \"" +
                                 std::string(MonitorEndpoint::kName) +
                                 "\", which --to does not choose");
    }
}
