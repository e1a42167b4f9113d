// Reads the component list of a bundle's Info.plist: the AudioComponents array, one dictionary
// per component with its type, subtype, manufacturer, name, version and factory function.
#pragma once

#include <AudioUnit/AudioComponent.h>

#include <string>
#include <vector>

struct ManifestComponent {
    AudioComponentDescription mDescription;
    std::string mName;
    UInt32 mVersion;
    std::string mFactoryFunction;
};

// The components the manifest at plistPath lists. False, with what is wrong in error, when the
// file cannot be read or any entry is incomplete: a bundle is taken whole or not at all.
bool ReadBundleManifest(const std::string& plistPath, std::vector<ManifestComponent>& components,
                        std::string& error);
