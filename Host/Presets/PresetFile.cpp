#include "Presets/PresetFile.h"

#include "MIDIFile/FileBytes.h"
#include "Units/ComponentList.h"

// The stand-in's text of a CoreFoundation string.
#include "CFStringText.h"

#include <cstring>
#include <stdexcept>

namespace {

const char* const kScopeNames[] = {"global", "input", "output"};

CFStringRef Key(const char* text)
{
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}

UInt32 BigEndianWord(const Byte* bytes)
{
    return UInt32(bytes[0]) << 24 | UInt32(bytes[1]) << 16 | UInt32(bytes[2]) << 8 | bytes[3];
}

std::vector<Byte> ReadPresetBytes(const std::string& path)
{
    try {
        return ReadFileBytes(path, PresetFile::kMaxSize);
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(path + ": " + error.what());
    }
}

// The dictionary of the property list in the bytes (+1).
CFDictionaryRef ReadDictionary(const std::string& path, const std::vector<Byte>& bytes)
{
    CFOwned<CFDataRef> data(CFDataCreate(nullptr, bytes.data(), CFIndex(bytes.size())));
    CFPropertyListRef list = CFPropertyListCreateWithData(
        nullptr, data.get(), kCFPropertyListImmutable, nullptr, nullptr);
    if (list == nullptr) {
        throw std::runtime_error(path + ": not a property list");
    }
    if (CFGetTypeID(list) != CFDictionaryGetTypeID()) {
        CFRelease(list);
        throw std::runtime_error(path + ": not a unit preset (its property list is no dictionary)");
    }
    return static_cast<CFDictionaryRef>(list);
}

} // namespace

PresetFile::PresetFile(const std::string& path) : PresetFile(path, ReadPresetBytes(path)) {}

PresetFile::PresetFile(const std::string& path, const std::vector<Byte>& bytes)
    : mPath(path), mState(ReadDictionary(path, bytes))
{
    if (const SInt32 version = Number("version"); version != 0) {
        Fail("preset version " + std::to_string(version) + " is not supported (0 expected)");
    }
    mUnit.componentType = OSType(Number("type"));
    mUnit.componentSubType = OSType(Number("subtype"));
    mUnit.componentManufacturer = OSType(Number("manufacturer"));

    CFOwned<CFStringRef> nameKey(Key("name"));
    const CFTypeRef name = CFDictionaryGetValue(State(), nameKey.get());
    if (name != nullptr && CFGetTypeID(name) == CFStringGetTypeID()) {
        mName = CFStringText(static_cast<CFStringRef>(name)).value_or("");
    }

    CFOwned<CFStringRef> dataKey(Key("data"));
    const CFTypeRef record = CFDictionaryGetValue(State(), dataKey.get());
    if (record == nullptr) {
        return;
    }
    if (CFGetTypeID(record) != CFDataGetTypeID()) {
        Fail("not a unit preset (its \"data\" is no data)");
    }
    const Byte* at = CFDataGetBytePtr(static_cast<CFDataRef>(record));
    size_t left = size_t(CFDataGetLength(static_cast<CFDataRef>(record)));
    // Entries of scope, element, count and count pairs of id and value, all big-endian.
    while (left > 0) {
        if (left < 12 || (left - 12) / 8 < BigEndianWord(at + 8)) {
            Fail("its parameter data is truncated");
        }
        const UInt32 scope = BigEndianWord(at), element = BigEndianWord(at + 4);
        const UInt32 count = BigEndianWord(at + 8);
        at += 12;
        left -= 12;
        for (UInt32 i = 0; i < count; ++i, at += 8, left -= 8) {
            const UInt32 bits = BigEndianWord(at + 4);
            Float32 value;
            std::memcpy(&value, &bits, sizeof value);
            mParameters.push_back({scope, element, BigEndianWord(at), value});
        }
    }
}

SInt32 PresetFile::Number(const char* key) const
{
    CFOwned<CFStringRef> keyString(Key(key));
    const CFTypeRef value = CFDictionaryGetValue(State(), keyString.get());
    SInt32 number = 0;
    if (value == nullptr || CFGetTypeID(value) != CFNumberGetTypeID() ||
        !CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt32Type, &number)) {
        Fail(std::string("not a unit preset (no number \"") + key + "\")");
    }
    return number;
}

void PresetFile::Write(const std::string& path, CFPropertyListRef state)
{
    CFOwned<CFDataRef> data(
        CFPropertyListCreateData(nullptr, state, kCFPropertyListXMLFormat_v1_0, 0, nullptr));
    if (!data) {
        throw std::runtime_error(path + ": the unit's state is no property list");
    }
    const Byte* bytes = CFDataGetBytePtr(data.get());
    try {
        WriteFileBytes(path, std::vector<Byte>(bytes, bytes + CFDataGetLength(data.get())));
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(path + ": " + error.what());
    }
}

void PresetFile::CheckUnit(const AudioComponentDescription& unit) const
{
    if (mUnit.componentType != unit.componentType ||
        mUnit.componentSubType != unit.componentSubType ||
        mUnit.componentManufacturer != unit.componentManufacturer) {
        Fail("a preset of the unit " + DescriptionText(mUnit) + ", not of " +
             DescriptionText(unit));
    }
}

void PresetFile::Print(std::ostream& out) const
{
    out << "unit  " << DescriptionText(mUnit) << '\n' << "name  " << mName << '\n';
    for (const PresetParameter& parameter : mParameters) {
        out << (parameter.mScope < 3 ? kScopeNames[parameter.mScope]
                                     : "scope " + std::to_string(parameter.mScope))
            << ' ' << parameter.mElement << "  parameter " << parameter.mID << " = "
            << parameter.mValue << '\n';
    }
}

void PresetFile::Fail(const std::string& what) const
{
    throw std::runtime_error(mPath + ": " + what);
}
