// `auhost list`: every component the component host finds, described as a host sees it.
#pragma once

#include <AudioUnit/AudioComponent.h>

#include <ostream>
#include <string>
#include <vector>

struct ComponentInfo {
    AudioComponentDescription mDescription;
    std::string mName;
    UInt32 mVersion;
    std::string mBundle; // empty for a component registered in-process
};

// Every component, in the component host's order. [host-thread]
std::vector<ComponentInfo> FindComponents();

// One line per component: 'type' 'subtype' 'manufacturer', version, name and bundle; one line
// saying so when there is none. [host-thread]
void PrintComponents(std::ostream& out, const std::vector<ComponentInfo>& components);

// 'type' 'subtype' 'manufacturer', as listings and messages show a component.
std::string DescriptionText(const AudioComponentDescription& description);

// A component version 0xMMMMmmbb as major.minor.bugfix.
std::string VersionText(UInt32 version);
