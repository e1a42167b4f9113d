#include "Units/ComponentList.h"

// The stand-in's text of a CoreFoundation string.
#include "CFStringText.h"

#include "CAStreamBasicDescription.h"

namespace {

std::string CodeText(OSType code)
{
    char text[16];
    return CAStringForOSType(code, text, sizeof text);
}

// The text of a +1 string, which is released.
std::string TakeText(CFStringRef string)
{
    std::string text = CFStringText(string).value_or("");
    if (string != nullptr) {
        CFRelease(string);
    }
    return text;
}

} // namespace

std::vector<ComponentInfo> FindComponents()
{
    std::vector<ComponentInfo> components;
    for (AudioComponent component = AudioComponentFindNext(nullptr, nullptr); component != nullptr;
         component = AudioComponentFindNext(component, nullptr)) {
        ComponentInfo info = {};
        CFStringRef name = nullptr;
        CFStringRef bundle = nullptr;
        if (AudioComponentGetDescription(component, &info.mDescription) != noErr ||
            AudioComponentGetVersion(component, &info.mVersion) != noErr ||
            AudioComponentCopyName(component, &name) != noErr ||
            AudioComponentCopyBundlePath(component, &bundle) != noErr) {
            TakeText(name);
            continue;
        }
        info.mName = TakeText(name);
        info.mBundle = TakeText(bundle);
        components.push_back(std::move(info));
    }
    return components;
}

void PrintComponents(std::ostream& out, const std::vector<ComponentInfo>& components)
{
    if (components.empty()) {
        out << "No components found.\n";
    }
    for (const ComponentInfo& info : components) {
        out << DescriptionText(info.mDescription) << "  " << VersionText(info.mVersion) << "  "
            << info.mName << "  "
            << (info.mBundle.empty() ? "(registered in-process)" : info.mBundle) << '\n';
    }
}

std::string DescriptionText(const AudioComponentDescription& description)
{
    return CodeText(description.componentType) + ' ' + CodeText(description.componentSubType) +
           ' ' + CodeText(description.componentManufacturer);
}

std::string VersionText(UInt32 version)
{
    return std::to_string(version >> 16) + '.' + std::to_string((version >> 8) & 0xFF) + '.' +
           std::to_string(version & 0xFF);
}
