// The saved state of AUBase (the class-info dictionary with its big-endian parameter record),
// the current preset, and helpers for unit classes that keep file references or print events.
#include "AUBase.h"

#include "CFOwned.h"
#include "CatchAsStatus.h"

#include <CoreFoundation/CFByteOrder.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFNumber.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr CFIndex kPathBufferSize = 1024;
constexpr AudioUnitScope kLastScopeWithNames = kAudioUnitScope_Group;
// Scope, element and count precede each entry's (id, value) pairs.
constexpr size_t kEntryHeaderSize = 3 * sizeof(UInt32);
constexpr size_t kPairSize = 2 * sizeof(UInt32);

CFStringRef FileReferencesKey()
{
    return CFSTR("file-references");
}

// The value under the key when it has the type asked for, else null: a saved state comes from
// outside and any of its values may be of the wrong type.
template <class Ref> Ref GetTypedValue(CFDictionaryRef dict, CFStringRef key, CFTypeID typeID)
{
    CFTypeRef value = CFDictionaryGetValue(dict, key);
    if (value == nullptr || CFGetTypeID(value) != typeID)
        return nullptr;
    return static_cast<Ref>(value);
}

CFNumberRef GetNumber(CFDictionaryRef dict, CFStringRef key)
{
    return GetTypedValue<CFNumberRef>(dict, key, CFNumberGetTypeID());
}

// A four-character code saved as a signed 32-bit number; a writer that kept it unsigned is read
// the same. False for anything that is not a number of those 32 bits.
bool NumberHoldsCode(CFNumberRef number, UInt32 code)
{
    SInt64 value = 0;
    if (number == nullptr || !CFNumberGetValue(number, kCFNumberSInt64Type, &value))
        return false;
    if (value < INT32_MIN || value > SInt64(UINT32_MAX))
        return false;
    return static_cast<UInt32>(value) == code;
}

UInt32 ReadBigEndian32(const UInt8* position)
{
    UInt32 value;
    std::memcpy(&value, position, sizeof(value));
    return CFSwapInt32BigToHost(value);
}

// Reads one of the unit's optional numeric properties (global scope, element 0) into the state
// when the unit serves it.
template <class Value>
void SaveOptionalNumber(AUBase& unit, CFMutableDictionaryRef dict, CFStringRef key,
                        CFNumberType type, AudioUnitPropertyID id)
{
    Value value{};
    UInt32 size = sizeof(value);
    if (unit.DispatchGetProperty(id, kAudioUnitScope_Global, 0, &value, size) != noErr)
        return;
    CFOwned<CFNumberRef> number(CFNumberCreate(nullptr, type, &value));
    CFDictionarySetValue(dict, key, number.get());
}

// Hands a saved optional number back to its property. What the unit makes of it is its own
// affair: a refusal, even a thrown one, does not fail the restore.
template <class Value>
void RestoreOptionalNumber(AUBase& unit, CFDictionaryRef dict, CFStringRef key, CFNumberType type,
                           AudioUnitPropertyID id)
{
    CFNumberRef number = GetNumber(dict, key);
    if (number == nullptr)
        return;
    Value value{};
    CFNumberGetValue(number, type, &value);
    CatchAsStatus([&] {
        return unit.DispatchSetProperty(id, kAudioUnitScope_Global, 0, &value, sizeof(value));
    });
}

CFStringRef CreateScopeKey(AudioUnitScope scope)
{
    char text[16];
    snprintf(text, sizeof(text), "%d", static_cast<int>(scope));
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingASCII);
}

} // namespace

// ---- Saving ----

void AUBase::AddNumToDictionary(CFMutableDictionaryRef dict, CFStringRef key, SInt32 value)
{
    CFOwned<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &value));
    CFDictionarySetValue(dict, key, number.get());
}

OSStatus AUBase::SaveState(CFPropertyListRef* outData)
{
    const AudioComponentDescription desc = GetComponentDescription();
    CFOwned<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));

    AddNumToDictionary(dict.get(), kVersionString, 0);
    AddNumToDictionary(dict.get(), kTypeString, static_cast<SInt32>(desc.componentType));
    AddNumToDictionary(dict.get(), kSubtypeString, static_cast<SInt32>(desc.componentSubType));
    AddNumToDictionary(dict.get(), kManufacturerString,
                       static_cast<SInt32>(desc.componentManufacturer));

    CFOwned<CFMutableDataRef> data(CFDataCreateMutable(nullptr, 0));
    for (AudioUnitScope scope = kAudioUnitScope_Global; scope <= kAudioUnitScope_Output; ++scope)
        GetScope(scope).SaveState(data.get());
    SaveExtendedScopes(data.get());
    CFDictionarySetValue(dict.get(), kDataString, data.get());

    // A unit class may have made a preset current without a name.
    if (mCurrentPreset.presetName != nullptr)
        CFDictionarySetValue(dict.get(), kNameString, mCurrentPreset.presetName);

    SaveOptionalNumber<SInt32>(*this, dict.get(), kRenderQualityString, kCFNumberSInt32Type,
                               kAudioUnitProperty_RenderQuality);
    SaveOptionalNumber<Float32>(*this, dict.get(), kCPULoadString, kCFNumberFloatType,
                                kAudioUnitProperty_CPULoad);

    bool anyNames = false;
    for (AudioUnitScope scope = kAudioUnitScope_Global; scope <= kLastScopeWithNames; ++scope)
        anyNames = anyNames || GetScope(scope).HasElementWithName();
    if (anyNames) {
        CFMutableDictionaryRef names = CFDictionaryCreateMutable(
            nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        CFOwned<CFMutableDictionaryRef> ownedNames(names);
        for (AudioUnitScope scope = kAudioUnitScope_Global; scope <= kLastScopeWithNames; ++scope)
            GetScope(scope).AddElementNamesToDict(names);
        CFDictionarySetValue(dict.get(), kElementNameString, names);
    }

    *outData = dict.release();
    return noErr;
}

// ---- Restoring ----

OSStatus AUBase::RestoreState(CFPropertyListRef plist)
{
    if (plist == nullptr || CFGetTypeID(plist) != CFDictionaryGetTypeID())
        return kAudioUnitErr_InvalidPropertyValue;
    auto dict = static_cast<CFDictionaryRef>(plist);
    if (CFDictionaryContainsKey(dict, kPartString))
        return kAudioUnitErr_InvalidPropertyValue;

    // Everything required is checked, types included, before anything changes.
    SInt32 version = -1;
    CFNumberRef versionNumber = GetNumber(dict, kVersionString);
    if (versionNumber == nullptr ||
        !CFNumberGetValue(versionNumber, kCFNumberSInt32Type, &version) || version != 0)
        return kAudioUnitErr_InvalidPropertyValue;
    const AudioComponentDescription desc = GetComponentDescription();
    if (!NumberHoldsCode(GetNumber(dict, kSubtypeString), desc.componentSubType) ||
        !NumberHoldsCode(GetNumber(dict, kManufacturerString), desc.componentManufacturer))
        return kAudioUnitErr_InvalidPropertyValue;
    CFTypeRef dataValue = CFDictionaryGetValue(dict, kDataString);
    if (dataValue != nullptr && CFGetTypeID(dataValue) != CFDataGetTypeID())
        return kAudioUnitErr_InvalidPropertyValue;

    if (dataValue != nullptr) {
        // The values as they are, put back when the record fails part-way: a damaged state is
        // refused whole, never applied in part.
        CFOwned<CFMutableDataRef> before(CFDataCreateMutable(nullptr, 0));
        for (AudioUnitScope scope = kAudioUnitScope_Global; scope <= kAudioUnitScope_Output;
             ++scope)
            GetScope(scope).SaveState(before.get());
        SaveExtendedScopes(before.get());
        OSStatus result = noErr;
        try {
            result = RestoreParameterRecord(static_cast<CFDataRef>(dataValue));
        } catch (...) {
            RestoreParameterRecord(before.get());
            throw;
        }
        if (result != noErr) {
            RestoreParameterRecord(before.get());
            return result;
        }
    }

    // Optional values of the wrong type are treated as absent.
    CFStringRef name = GetTypedValue<CFStringRef>(dict, kNameString, CFStringGetTypeID());
    ReplaceCurrentPreset(-1, name != nullptr ? name : kUntitledString);
    PropertyChanged(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0);

    RestoreOptionalNumber<SInt32>(*this, dict, kRenderQualityString, kCFNumberSInt32Type,
                                  kAudioUnitProperty_RenderQuality);
    RestoreOptionalNumber<Float32>(*this, dict, kCPULoadString, kCFNumberFloat32Type,
                                   kAudioUnitProperty_CPULoad);

    if (auto names =
            GetTypedValue<CFDictionaryRef>(dict, kElementNameString, CFDictionaryGetTypeID())) {
        for (AudioUnitScope scope = kAudioUnitScope_Global; scope <= kLastScopeWithNames; ++scope) {
            CFOwned<CFStringRef> key(CreateScopeKey(scope));
            auto scopeNames =
                GetTypedValue<CFDictionaryRef>(names, key.get(), CFDictionaryGetTypeID());
            if (scopeNames != nullptr)
                GetScope(scope).RestoreElementNames(scopeNames);
        }
    }
    return noErr;
}

OSStatus AUBase::RestoreParameterRecord(CFDataRef data)
{
    const UInt8* position = CFDataGetBytePtr(data);
    const UInt8* const end = position + CFDataGetLength(data);
    while (position < end) {
        // An entry is applied only when all of it lies inside the record; a truncated one ends
        // the restore, and the caller puts back the entries before it.
        const size_t remaining = size_t(end - position);
        if (remaining < kEntryHeaderSize)
            return kAudioUnitErr_InvalidPropertyValue;
        const UInt32 count = ReadBigEndian32(position + 2 * sizeof(UInt32));
        if ((remaining - kEntryHeaderSize) / kPairSize < count)
            return kAudioUnitErr_InvalidPropertyValue;
        // A scope the unit does not have throws -10866.
        AUScope& scope = GetScope(ReadBigEndian32(position));
        position = scope.RestoreState(position + sizeof(UInt32));
    }
    return noErr;
}

// ---- The current preset ----

void AUBase::ReplaceCurrentPreset(SInt32 number, CFStringRef name)
{
    if (name != nullptr)
        CFRetain(name);
    if (mCurrentPreset.presetName != nullptr)
        CFRelease(mCurrentPreset.presetName);
    mCurrentPreset.presetNumber = number;
    mCurrentPreset.presetName = name;
}

OSStatus AUBase::NewCustomPresetSet(const AUPreset& inNewCustomPreset)
{
    ReplaceCurrentPreset(inNewCustomPreset.presetNumber, inNewCustomPreset.presetName);
    return noErr;
}

bool AUBase::SetAFactoryPresetAsCurrent(const AUPreset& inPreset)
{
    if (inPreset.presetNumber < 0 || inPreset.presetName == nullptr)
        return false;
    ReplaceCurrentPreset(inPreset.presetNumber, inPreset.presetName);
    return true;
}

// ---- File references ----

OSStatus AUBase::GetFileRefPath(CFDictionaryRef parent, CFStringRef frKey, CFStringRef* fPath)
{
    auto references =
        GetTypedValue<CFDictionaryRef>(parent, FileReferencesKey(), CFDictionaryGetTypeID());
    if (references == nullptr)
        return kAudioUnitErr_InvalidPropertyValue;
    auto path = GetTypedValue<CFStringRef>(references, frKey, CFStringGetTypeID());
    if (path == nullptr)
        return kAudioUnitErr_InvalidPropertyValue;
    if (fPath != nullptr)
        *fPath = path;
    return noErr;
}

CFMutableDictionaryRef AUBase::CreateFileRefDict(CFStringRef fKey, CFStringRef fPath,
                                                 CFMutableDictionaryRef fileRefDict)
{
    if (fileRefDict == nullptr)
        fileRefDict = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(fileRefDict, fKey, fPath);
    return fileRefDict;
}

OSStatus AUBase::AccessURLAsset(const CFURLRef& inURL, int mode)
{
    UInt8 path[kPathBufferSize];
    if (!CFURLGetFileSystemRepresentation(inURL, true, path, sizeof(path)))
        return kAudio_FileNotFoundError;
    if (access(reinterpret_cast<const char*>(path), mode) == 0)
        return noErr;
    switch (errno) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
        return kAudio_FileNotFoundError;
    case EPERM:
    case EACCES:
        return kAudio_FilePermissionError;
    default:
        return errno;
    }
}

// ---- Debugging ----

void AUBase::PrintAUParamEvent(AudioUnitParameterEvent& event, FILE* f)
{
    const bool isRamp = event.eventType == kParameterEvent_Ramped;
    fprintf(f, "\tParamID=%ld,Scope=%ld,Element=%ld\n", long(event.parameter), long(event.scope),
            long(event.element));
    fprintf(f, "\tEvent Type:%s,", isRamp ? "ramp" : "immediate");
    if (isRamp)
        fprintf(f, "start=%ld,dur=%ld,startValue=%f,endValue=%f\n",
                long(event.eventValues.ramp.startBufferOffset),
                long(event.eventValues.ramp.durationInFrames),
                double(event.eventValues.ramp.startValue), double(event.eventValues.ramp.endValue));
    else
        fprintf(f, "start=%ld,value=%f\n", long(event.eventValues.immediate.bufferOffset),
                double(event.eventValues.immediate.value));
    fprintf(f, "- - - - - - - - - - - - - - - -\n");
}
