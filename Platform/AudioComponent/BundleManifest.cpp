#include "BundleManifest.h"

#include <CoreFoundation/CoreFoundation.h>

#include <fstream>
#include <iterator>
#include <memory>

namespace {

struct CFReleaser {
    void operator()(CFTypeRef object) const { CFRelease(object); }
};
using CFHolder = std::unique_ptr<const void, CFReleaser>;

// The value under key when it has the expected type, else NULL.
CFTypeRef TypedValue(CFDictionaryRef dictionary, CFStringRef key, CFTypeID type)
{
    CFTypeRef value = CFDictionaryGetValue(dictionary, key);
    return (value != nullptr && CFGetTypeID(value) == type) ? value : nullptr;
}

bool StringValue(CFDictionaryRef dictionary, CFStringRef key, std::string& text)
{
    auto string = static_cast<CFStringRef>(TypedValue(dictionary, key, CFStringGetTypeID()));
    if (string == nullptr) {
        return false;
    }
    const CFIndex capacity =
        CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8) + 1;
    std::string buffer(static_cast<size_t>(capacity), '\0');
    if (!CFStringGetCString(string, buffer.data(), capacity, kCFStringEncodingUTF8)) {
        return false;
    }
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    text = std::move(buffer);
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

} // namespace

bool FourCharCodeFromText(const std::string& text, OSType& code)
{
    if (text.size() != 4) {
        return false;
    }
    code = 0;
    for (unsigned char c : text) {
        code = (code << 8) | c;
    }
    return true;
}

bool ReadBundleManifest(const std::string& plistPath, std::vector<ManifestComponent>& components,
                        std::string& error)
{
    std::ifstream file(plistPath, std::ios::binary);
    if (!file) {
        error = "cannot read " + plistPath;
        return false;
    }
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
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
