// Where component bundles are looked for: the folders of AUDIO_COMPONENT_PATH (colon-separated),
// then the user's and the machine's component folders.
#pragma once

#include <string>
#include <vector>

// The folders in search order; empty entries of the variable are left out.
std::vector<std::string> ComponentSearchFolders();

// The NAME.component folders directly inside folder, sorted by name; none when it cannot be read.
std::vector<std::string> ComponentBundlesIn(const std::string& folder);
