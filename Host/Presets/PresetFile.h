// Unit presets as .aupreset files: a unit's class-info state written as an XML property list,
// and read back with the checks a host makes before it hands a file to a unit. Every error is
// one line that starts with the file's path.
#pragma once

#include "CFOwned.h"

#include <AudioUnit/AudioComponent.h>
#include <CoreFoundation/CoreFoundation.h>

#include <ostream>
#include <string>
#include <vector>

// One parameter value of a preset's "data" record.
struct PresetParameter {
    UInt32 mScope;
    UInt32 mElement;
    UInt32 mID;
    Float32 mValue;
};

class PresetFile {
public:
    // Presets are small property lists; a larger file is no preset.
    static constexpr size_t kMaxSize = size_t(1) << 20;

    // Reads and checks the file: a property list holding a class-info dictionary of version 0
    // with its unit's numbers and a whole parameter record. Throws std::runtime_error.
    // [host-thread]
    explicit PresetFile(const std::string& path);
    // The same for the bytes of a file read already; path only names it in errors.
    PresetFile(const std::string& path, const std::vector<Byte>& bytes);

    // Writes a unit's state. Throws std::runtime_error. [host-thread]
    static void Write(const std::string& path, CFPropertyListRef state);

    // Throws std::runtime_error unless the preset is one of the unit described: the same type,
    // subtype and manufacturer (the unit itself compares only the last two, so a preset of
    // another kind of unit would be taken). [host-thread]
    void CheckUnit(const AudioComponentDescription& unit) const;

    CFDictionaryRef State() const { return mState.get(); }
    const AudioComponentDescription& Unit() const { return mUnit; }
    const std::string& Name() const { return mName; }
    const std::vector<PresetParameter>& Parameters() const { return mParameters; }

    // The unit, the name and one line per parameter. [host-thread]
    void Print(std::ostream& out) const;

private:
    [[noreturn]] void Fail(const std::string& what) const;
    SInt32 Number(const char* key) const;

    std::string mPath;
    CFOwned<CFDictionaryRef> mState;
    AudioComponentDescription mUnit = {};
    std::string mName;
    std::vector<PresetParameter> mParameters;
};
