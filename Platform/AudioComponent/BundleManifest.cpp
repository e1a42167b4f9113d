#include "BundleManifest.h"

#include "CFOwned.h"
#include "CFStringText.h"
#include "FourCharCode.h"

#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// A manifest lists a few components in a few hundred bytes; anything far larger is not one.
constexpr std::uintmax_t kMaxManifestBytes = 1 << 20;

using CFHolder = CFOwned<CFTypeRef>;

// The value under key when it has the expected type, else NULL.
CFTypeRef TypedValue(CFDictionaryRef dictionary, CFStringRef key, CFTypeID type)
{
    CFTypeRef value = CFDictionaryGetValue(dictionary, key);
    return (value != nullptr && CFGetTypeID(value) == type) ? value : nullptr;
}

bool StringValue(CFDictionaryRef dictionary, CFStringRef key, std::string& text)
{
    std::optional<std::string> value =
        CFStringText(static_cast<CFStringRef>(TypedValue(dictionary, key, CFStringGetTypeID())));
    if (!value) {
        return false;
    }
    text = std::move(*value);
    return true;
}

bool CodeValue(CFDictionaryRef dictionary, CFStringRef key, OSType& code)
{
    std::string text;
    return StringValue(dictionary, key, text) && FourCharCodeFromText(text, code);
}

bool VersionValue(CFDictionaryRef dictionary, CFStringRef key, UInt32& version)
{
    auto number = static_cast<CFNumberRef>(TypedValue(dictionary, key, CFNumberGetTypeID()));
    SInt64 value = 0;
    if (number == nullptr || !CFNumberGetValue(number, kCFNumberSInt64Type, &value) || value < 0 ||
        value > static_cast<SInt64>(UINT32_MAX)) {
        return false;
    }
    version = static_cast<UInt32>(value);
    return true;
}

// One AudioComponents entry; the name of the first missing or malformed key in error.
bool ReadComponent(CFTypeRef entry, ManifestComponent& component, std::string& error)
{
    if (CFGetTypeID(entry) != CFDictionaryGetTypeID()) {
        error = "an AudioComponents entry is not a dictionary";
        return false;
    }
    auto dictionary = static_cast<CFDictionaryRef>(entry);
    component.mDescription = AudioComponentDescription{};
    const struct {
        const char* key;
        bool found;
    } checks[] = {
        {"type", CodeValue(dictionary, CFSTR("type"), component.mDescription.componentType)},
        {"subtype",
         CodeValue(dictionary, CFSTR("subtype"), component.mDescription.componentSubType)},
        {"manufacturer", CodeValue(dictionary, CFSTR("manufacturer"),
                                   component.mDescription.componentManufacturer)},
        {"name", StringValue(dictionary, CFSTR("name"), component.mName)},
        {"version", VersionValue(dictionary, CFSTR("version"), component.mVersion)},
        {"factoryFunction",
         StringValue(dictionary, CFSTR("factoryFunction"), component.mFactoryFunction)},
    };
    for (const auto& check : checks) {
        if (!check.found) {
            error = std::string("an AudioComponents entry has no valid \"") + check.key + "\"";
            return false;
        }
    }
    return true;
}

// The whole file, if it is a regular file of at most kMaxManifestBytes: a folder, a pipe or a
// device in the manifest's place is refused without reading it.
bool ReadManifestFile(const std::string& path, std::string& bytes, std::string& error)
{
    std::error_code code;
    const bool regular = std::filesystem::is_regular_file(path, code);
    const std::uintmax_t size = regular ? std::filesystem::file_size(path, code) : 0;
    if (!regular || code) {
        error = "cannot read " + path;
        return false;
    }
    if (size > kMaxManifestBytes) {
        error = path + " is larger than " + std::to_string(kMaxManifestBytes) + " bytes";
        return false;
    }
    bytes.resize(static_cast<size_t>(size));
    std::ifstream file(path, std::ios::binary);
    if (!file.read(bytes.data(), static_cast<std::streamsize>(size))) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

} // namespace

bool ReadBundleManifest(const std::string& plistPath, std::vector<ManifestComponent>& components,
                        std::string& error)
{
    std::string bytes;
    if (!ReadManifestFile(plistPath, bytes, error)) {
        return false;
    }
    CFHolder data(CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bytes.data()),
                               static_cast<CFIndex>(bytes.size())));
    CFHolder plist(data ? CFPropertyListCreateWithData(kCFAllocatorDefault,
                                                       static_cast<CFDataRef>(data.get()),
                                                       kCFPropertyListImmutable, nullptr, nullptr)
                        : nullptr);
    if (!plist || CFGetTypeID(plist.get()) != CFDictionaryGetTypeID()) {
        error = plistPath + " is not a property-list dictionary";
        return false;
    }
    auto array = static_cast<CFArrayRef>(TypedValue(static_cast<CFDictionaryRef>(plist.get()),
                                                    CFSTR("AudioComponents"), CFArrayGetTypeID()));
    if (array == nullptr || CFArrayGetCount(array) == 0) {
        error = plistPath + " has no AudioComponents array";
        return false;
    }
    std::vector<ManifestComponent> found(static_cast<size_t>(CFArrayGetCount(array)));
    for (CFIndex index = 0; index < CFArrayGetCount(array); ++index) {
        if (!ReadComponent(CFArrayGetValueAtIndex(array, index), found[static_cast<size_t>(index)],
                           error)) {
            return false;
        }
    }
    components = std::move(found);
    return true;
}
