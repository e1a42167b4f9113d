#include "ComponentSearchPath.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

std::vector<std::string> ComponentSearchFolders()
{
    std::vector<std::string> folders;
    if (const char* path = std::getenv("AUDIO_COMPONENT_PATH")) {
        std::istringstream entries(path);
        std::string folder;
        while (std::getline(entries, folder, ':')) {
            if (!folder.empty()) {
                folders.push_back(folder);
            }
        }
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        folders.push_back(std::string(home) + "/.local/lib/audio-components");
    }
    folders.push_back("/usr/local/lib/audio-components");
    return folders;
}

std::vector<std::string> ComponentBundlesIn(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::vector<std::string> bundles;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const fs::path& path = entry->path();
        // Its own error code: a dangling link must not end the listing of the folder.
        std::error_code entryError;
        if (path.extension() == ".component" && entry->is_directory(entryError)) {
            bundles.push_back(path.string());
        }
    }
    std::sort(bundles.begin(), bundles.end());
    return bundles;
}
