// The property protocol of AUBase: information, reading, writing and removing of the properties
// every unit shares, the hooks for the others, and the property listeners. Each shared property
// has one row of rules (where it lives, what its information says, how a write is checked); the
// dispatchers apply the rows, and what a read or a write then does is theirs.
#include "AUBase.h"

#include "AUDiagnostics.h"
#include "AUPropertyValue.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>

namespace {

constexpr const char* kSourceFile = "AUPublic/AUBase/AUBaseProperties.cpp";
constexpr UInt32 kPropertyListenersReserved = 32;
constexpr UInt32 kChannelLayoutHeaderSize = offsetof(AudioChannelLayout, mChannelDescriptions);
// External buffers must suit vector loads.
constexpr uintptr_t kExternalBufferAlignment = 16;

// One precondition of the protocol: the text of its condition, its label and its status.
struct Check {
    const char* condition;
    const char* label;
    OSStatus status;
};

OSStatus Fail(const Check& check, int line)
{
    return AURequireFailed(check.condition, check.label, kSourceFile, line, check.status);
}

constexpr Check kElementExists{"GetElement(inScope, inElement) != NULL", "InvalidElement",
                               kAudioUnitErr_InvalidElement};
constexpr Check kAPIVersion{"AudioUnitAPIVersion() > 1", "InvalidProperty",
                            kAudioUnitErr_InvalidProperty};
constexpr Check kChannelLayoutSize{
    "inDataSize >= headerSize + layout->mNumberChannelDescriptions * "
    "sizeof(AudioChannelDescription)",
    "InvalidPropertyValue", kAudioUnitErr_InvalidPropertyValue};
constexpr Check kExternalBufferSize{"inDataSize >= sizeof(AudioUnitExternalBuffer)",
                                    "InvalidPropertyValue", kAudioUnitErr_InvalidPropertyValue};
constexpr Check kBusCountWritable{"BusCountWritable(inScope)", "NotWritable",
                                  kAudioUnitErr_PropertyNotWritable};
constexpr Check kValidFormat{"ValidFormat(inScope, inElement, newDesc)", "InvalidFormat",
                             kAudioUnitErr_FormatNotSupported};
constexpr Check kFormatWritable{"IsStreamFormatWritable(inScope, inElement)", "NotWritable",
                                kAudioUnitErr_PropertyNotWritable};
constexpr Check kInitialized{"IsInitialized()", "Uninitialized", kAudioUnitErr_Uninitialized};
constexpr Check kNotInitialized{"!IsInitialized()", "Initialized", kAudioUnitErr_Initialized};

// The scopes a property lives in, with the check its refusal names.
struct ScopeRule {
    Check check;
    bool (*accepts)(AudioUnitScope scope);
};

constexpr ScopeRule kGlobal{
    {"inScope == kAudioUnitScope_Global", "InvalidScope", kAudioUnitErr_InvalidScope},
    [](AudioUnitScope scope) { return scope == kAudioUnitScope_Global; }};
constexpr ScopeRule kInputOrGlobal{
    {"inScope == kAudioUnitScope_Input || inScope == kAudioUnitScope_Global", "InvalidScope",
     kAudioUnitErr_InvalidScope},
    [](AudioUnitScope scope) {
        return scope == kAudioUnitScope_Input || scope == kAudioUnitScope_Global;
    }};
constexpr ScopeRule kInputOrOutput{
    {"(inScope == kAudioUnitScope_Input || inScope == kAudioUnitScope_Output)", "InvalidScope",
     kAudioUnitErr_InvalidScope},
    [](AudioUnitScope scope) {
        return scope == kAudioUnitScope_Input || scope == kAudioUnitScope_Output;
    }};

// The size a write must have, with the check its refusal names (none: refused without a line).
struct SizeRule {
    Check check;
    bool atLeast; // else exactly
    UInt32 bytes;
};

constexpr SizeRule SizeCheck(const char* condition, bool atLeast, UInt32 bytes)
{
    return {
        {condition, "InvalidPropertyValue", kAudioUnitErr_InvalidPropertyValue}, atLeast, bytes};
}

constexpr SizeRule kPropertyListSize =
    SizeCheck("inDataSize == sizeof(CFPropertyListRef *)", false, sizeof(CFPropertyListRef));
constexpr SizeRule kConnectionSize =
    SizeCheck("inDataSize >= sizeof(AudioUnitConnection)", true, sizeof(AudioUnitConnection));
constexpr SizeRule kFloat64Size = SizeCheck("inDataSize == sizeof(Float64)", false, 8);
constexpr SizeRule kUInt32Size = SizeCheck("inDataSize == sizeof(UInt32)", false, 4);
constexpr SizeRule kRenderCallbackSize =
    SizeCheck("inDataSize >= sizeof(AURenderCallbackStruct)", true, sizeof(AURenderCallbackStruct));
constexpr SizeRule kStringSize =
    SizeCheck("inDataSize == sizeof(CFStringRef)", false, sizeof(CFStringRef));
constexpr SizeRule kPresetSize =
    SizeCheck("inDataSize == sizeof(AUPreset)", false, sizeof(AUPreset));
// A format without its trailing reserved field will do; anything shorter is refused silently.
constexpr SizeRule kFormatSize{{nullptr, nullptr, kAudioUnitErr_InvalidPropertyValue},
                               true,
                               offsetof(AudioStreamBasicDescription, mReserved)};

// The record of the clump-name property.
struct ClumpNameRecord {
    UInt32 inID;
    SInt32 inDesiredLength;
    CFStringRef outName;
};
static_assert(sizeof(ClumpNameRecord) == 16, "the clump-name record is 16 bytes");

// What a row's flags say.
enum PropertyFlag : unsigned {
    kWritable = 1 << 0,            // the information says writable
    kWritableFormat = 1 << 1,      // writable as IsStreamFormatWritable says
    kWritableBusCount = 1 << 2,    // writable as BusCountWritable says
    kWritableLayout = 1 << 3,      // writable as GetAudioChannelLayout says
    kElementChecked = 1 << 4,      // the information needs the element to exist
    kNeedsAPIVersion2 = 1 << 5,    // information and write need API version 2 or later
    kWriteChecksScope = 1 << 6,    // a write checks the scope rule too
    kWriteChecksElement = 1 << 7,  // a write needs the element to exist
    kWriteChecksSizeLast = 1 << 8, // a write checks scope and element before size
};
constexpr unsigned kWrittenHere = kWritable | kWritableFormat | kWritableBusCount | kWritableLayout;

// What the information asks the unit before it answers: whether the property is offered here,
// and the size (and, for a layout, the writability) when it depends on the unit. A fixed size in
// the row is stored only when this gives 0.
using OfferQuery = OSStatus (*)(AUBase& unit, AudioUnitScope scope, AudioUnitElement element,
                                UInt32& size, Boolean& writable);

// The rules of one shared property; `line` is the line its checks report.
struct PropertyRule {
    AudioUnitPropertyID id;
    const ScopeRule* scope; // null: any scope
    UInt32 size;            // the value's bytes; 0 when the offer query gives them
    unsigned flags;
    OfferQuery offer; // null: always offered
    const SizeRule* writeSize;
    int line;
};

OSStatus OfferParameterList(AUBase& unit, AudioUnitScope scope, AudioUnitElement, UInt32& size,
                            Boolean&)
{
    UInt32 count = 0;
    const OSStatus result = unit.GetParameterList(scope, nullptr, count);
    size = count * UInt32(sizeof(AudioUnitParameterID));
    return result;
}

OSStatus OfferChannelConfigurations(AUBase& unit, AudioUnitScope, AudioUnitElement, UInt32& size,
                                    Boolean&)
{
    const UInt32 count = unit.SupportedNumChannels(nullptr);
    if (count == 0)
        return kAudioUnitErr_InvalidProperty;
    size = count * UInt32(sizeof(AUChannelInfo));
    return noErr;
}

OSStatus OfferValueStrings(AUBase& unit, AudioUnitScope scope, AudioUnitElement element, UInt32&,
                           Boolean&)
{
    return unit.GetParameterValueStrings(scope, element, nullptr);
}

OSStatus OfferChannelLayout(AUBase& unit, AudioUnitScope scope, AudioUnitElement element,
                            UInt32& size, Boolean& writable)
{
    size = unit.GetAudioChannelLayout(scope, element, nullptr, writable);
    if (size != 0)
        return noErr;
    // No layout: not offered at all without tags, an unset value with them.
    return unit.GetChannelLayoutTags(scope, element, nullptr) == 0
               ? OSStatus(kAudioUnitErr_InvalidProperty)
               : OSStatus(kAudioUnitErr_InvalidPropertyValue);
}

OSStatus OfferTail(AUBase& unit, AudioUnitScope, AudioUnitElement, UInt32&, Boolean&)
{
    return unit.SupportsTail() ? OSStatus(noErr) : OSStatus(kAudioUnitErr_InvalidProperty);
}

OSStatus OfferPresets(AUBase& unit, AudioUnitScope, AudioUnitElement, UInt32&, Boolean&)
{
    return unit.GetPresets(nullptr);
}

OSStatus OfferLayoutTags(AUBase& unit, AudioUnitScope scope, AudioUnitElement element, UInt32& size,
                         Boolean&)
{
    const UInt32 count = unit.GetChannelLayoutTags(scope, element, nullptr);
    if (count == 0)
        return kAudioUnitErr_InvalidProperty;
    size = count * UInt32(sizeof(AudioChannelLayoutTag));
    return noErr;
}

OSStatus OfferIcon(AUBase& unit, AudioUnitScope, AudioUnitElement, UInt32&, Boolean&)
{
    return unit.HasIcon() ? OSStatus(noErr) : OSStatus(kAudioUnitErr_InvalidProperty);
}

// A property written only in the scopes it lives in.
constexpr unsigned kScopedWritable = kWritable | kElementChecked | kWriteChecksScope;

// One row per shared property, in the order of their ids.
constexpr PropertyRule kPropertyRules[] = {
    {kAudioUnitProperty_ClassInfo, &kGlobal, sizeof(CFPropertyListRef), kScopedWritable, nullptr,
     &kPropertyListSize, __LINE__},
    {kAudioUnitProperty_MakeConnection, &kInputOrGlobal, sizeof(AudioUnitConnection),
     kWritable | kElementChecked, nullptr, &kConnectionSize, __LINE__},
    {kAudioUnitProperty_SampleRate, nullptr, sizeof(Float64),
     kWritableFormat | kElementChecked | kWriteChecksElement, nullptr, &kFloat64Size, __LINE__},
    {kAudioUnitProperty_ParameterList, nullptr, 0, 0, OfferParameterList, nullptr, __LINE__},
    {kAudioUnitProperty_ParameterInfo, nullptr, sizeof(AudioUnitParameterInfo), 0, nullptr, nullptr,
     __LINE__},
    {kAudioUnitProperty_StreamFormat, nullptr, sizeof(AudioStreamBasicDescription),
     kWritableFormat | kElementChecked | kWriteChecksElement, nullptr, &kFormatSize, __LINE__},
    {kAudioUnitProperty_ElementCount, nullptr, sizeof(UInt32), kWritableBusCount, nullptr,
     &kUInt32Size, __LINE__},
    {kAudioUnitProperty_Latency, &kGlobal, sizeof(Float64), kElementChecked, nullptr, nullptr,
     __LINE__},
    {kAudioUnitProperty_SupportedNumChannels, &kGlobal, 0, kElementChecked,
     OfferChannelConfigurations, nullptr, __LINE__},
    // Its write checks no scope.
    {kAudioUnitProperty_MaximumFramesPerSlice, &kGlobal, sizeof(UInt32),
     kWritable | kElementChecked, nullptr, &kUInt32Size, __LINE__},
    {kAudioUnitProperty_ParameterValueStrings, nullptr, sizeof(CFArrayRef), 0, OfferValueStrings,
     nullptr, __LINE__},
    // Its write checks the layout's own size.
    {kAudioUnitProperty_AudioChannelLayout, nullptr, 0, kWritableLayout, OfferChannelLayout,
     nullptr, __LINE__},
    {kAudioUnitProperty_TailTime, &kGlobal, sizeof(Float64), kElementChecked, OfferTail, nullptr,
     __LINE__},
    {kAudioUnitProperty_LastRenderError, &kGlobal, sizeof(OSStatus), kElementChecked, nullptr,
     nullptr, __LINE__},
    // Its write takes the callback for an input whatever the scope.
    {kAudioUnitProperty_SetRenderCallback, &kInputOrGlobal, sizeof(AURenderCallbackStruct),
     kWritable | kElementChecked | kNeedsAPIVersion2, nullptr, &kRenderCallbackSize, __LINE__},
    {kAudioUnitProperty_FactoryPresets, &kGlobal, sizeof(CFArrayRef), kElementChecked, OfferPresets,
     nullptr, __LINE__},
    {kAudioUnitProperty_ContextName, &kGlobal, sizeof(CFStringRef), kScopedWritable, nullptr,
     &kStringSize, __LINE__},
    // Any number of its bytes is taken.
    {kAudioUnitProperty_HostCallbacks, &kGlobal, sizeof(HostCallbackInfo), kScopedWritable, nullptr,
     nullptr, __LINE__},
    {kAudioUnitProperty_ElementName, nullptr, sizeof(CFStringRef),
     kWritable | kElementChecked | kWriteChecksElement | kWriteChecksSizeLast, nullptr,
     &kStringSize, __LINE__},
    {kAudioUnitProperty_SupportedChannelLayoutTags, nullptr, 0, 0, OfferLayoutTags, nullptr,
     __LINE__},
    {kAudioUnitProperty_ParameterClumpName, nullptr, sizeof(ClumpNameRecord), kElementChecked,
     nullptr, nullptr, __LINE__},
    {kAudioUnitProperty_PresentPreset, &kGlobal, sizeof(AUPreset), kScopedWritable, nullptr,
     &kPresetSize, __LINE__},
    {kAudioUnitProperty_IconLocation, &kGlobal, sizeof(CFURLRef), kElementChecked, OfferIcon,
     nullptr, __LINE__},
    {kAudioUnitProperty_ShouldAllocateBuffer, &kInputOrOutput, sizeof(UInt32),
     kScopedWritable | kWriteChecksElement | kWriteChecksSizeLast, nullptr, &kUInt32Size, __LINE__},
    {kAudioUnitProperty_ParameterHistoryInfo, nullptr, 2 * sizeof(Float32), 0, nullptr, nullptr,
     __LINE__},
    {kAudioUnitProperty_NickName, &kGlobal, sizeof(CFStringRef),
     kScopedWritable | kWriteChecksSizeLast, nullptr, &kStringSize, __LINE__},
    {kAudioUnitProperty_LastRenderSampleTime, nullptr, sizeof(Float64), kElementChecked, nullptr,
     nullptr, __LINE__},
};

const PropertyRule* FindRule(AudioUnitPropertyID id)
{
    for (const PropertyRule& rule : kPropertyRules)
        if (rule.id == id)
            return &rule;
    return nullptr;
}

// The checks of a row that a write passes before it takes effect, in the row's order.
OSStatus CheckWrite(AUBase& unit, const PropertyRule& rule, AudioUnitScope scope,
                    AudioUnitElement element, UInt32 dataSize)
{
    auto checkSize = [&]() -> OSStatus {
        const SizeRule* size = rule.writeSize;
        if (size == nullptr || (size->atLeast ? dataSize >= size->bytes : dataSize == size->bytes))
            return noErr;
        if (size->check.condition == nullptr)
            return size->check.status;
        return Fail(size->check, rule.line);
    };
    const bool sizeLast = (rule.flags & kWriteChecksSizeLast) != 0;
    if (!sizeLast) {
        if (const OSStatus status = checkSize())
            return status;
    }
    if ((rule.flags & kNeedsAPIVersion2) != 0 && unit.AudioUnitAPIVersion() <= 1)
        return Fail(kAPIVersion, rule.line);
    if ((rule.flags & kWriteChecksScope) != 0 && !rule.scope->accepts(scope))
        return Fail(rule.scope->check, rule.line);
    if ((rule.flags & kWriteChecksElement) != 0 && unit.GetElement(scope, element) == NULL)
        return Fail(kElementExists, rule.line);
    return sizeLast ? checkSize() : OSStatus(noErr);
}

// A name a host hands in must be a string (or null, where null is allowed): anything else
// would be stored and later written into saved states and handed to listeners as a string.
bool IsStringOrNull(CFStringRef name)
{
    return name == nullptr || CFGetTypeID(name) == CFStringGetTypeID();
}

// Replaces an owned string: the new one is retained, the old one released.
void ReplaceOwnedString(CFStringRef& owned, CFStringRef newValue)
{
    if (newValue != nullptr)
        CFRetain(newValue);
    if (owned != nullptr)
        CFRelease(owned);
    owned = newValue;
}

} // namespace

// ---- Information ----

OSStatus AUBase::DispatchGetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement, UInt32& outDataSize,
                                         Boolean& outWritable)
{
    const PropertyRule* rule = FindRule(inID);
    if (rule == nullptr)
        return GetPropertyInfo(inID, inScope, inElement, outDataSize, outWritable);
    if ((rule->flags & kNeedsAPIVersion2) != 0 && AudioUnitAPIVersion() <= 1)
        return Fail(kAPIVersion, rule->line);
    if (rule->scope != nullptr && !rule->scope->accepts(inScope))
        return Fail(rule->scope->check, rule->line);

    const OSStatus result = rule->offer != nullptr
                                ? rule->offer(*this, inScope, inElement, outDataSize, outWritable)
                                : OSStatus(noErr);
    if (result != noErr)
        return result;
    if (rule->size != 0)
        outDataSize = rule->size;
    if ((rule->flags & kWritableFormat) != 0)
        outWritable = IsStreamFormatWritable(inScope, inElement);
    else if ((rule->flags & kWritableBusCount) != 0)
        outWritable = BusCountWritable(inScope);
    else if ((rule->flags & kWritableLayout) == 0)
        outWritable = (rule->flags & kWritable) != 0;

    if ((rule->flags & kElementChecked) != 0 && GetElement(inScope, inElement) == NULL)
        return Fail(kElementExists, rule->line);
    return noErr;
}

// ---- Reading ----

OSStatus AUBase::DispatchGetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                     AudioUnitElement inElement, void* outData, UInt32& ioDataSize)
{
    static constexpr PropertyReader kReaders[] = {
        &AUBase::GetBusProperty, &AUBase::GetParameterProperty, &AUBase::GetRenderProperty,
        &AUBase::GetStateProperty};
    for (const PropertyReader read : kReaders)
        if (const std::optional<OSStatus> result =
                (this->*read)(inID, inScope, inElement, outData, ioDataSize))
            return *result;
    return GetPropertyWithSize(inID, inScope, inElement, outData, ioDataSize);
}

// Formats, bus counts, channel configurations and layouts, slice size and buffer allocation.
std::optional<OSStatus> AUBase::GetBusProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                               AudioUnitElement inElement, void* outData, UInt32&)
{
    switch (inID) {
    case kAudioUnitProperty_SampleRate:
        WriteValue<Float64>(outData, GetStreamFormat(inScope, inElement).mSampleRate);
        return noErr;
    case kAudioUnitProperty_StreamFormat: {
        const AudioStreamBasicDescription& format = GetStreamFormat(inScope, inElement);
        std::memcpy(outData, &format, sizeof(format));
        return noErr;
    }
    case kAudioUnitProperty_ElementCount:
        WriteValue<UInt32>(outData, GetScope(inScope).GetNumberOfElements());
        return noErr;
    case kAudioUnitProperty_SupportedNumChannels: {
        const AUChannelInfo* table = nullptr;
        const UInt32 count = SupportedNumChannels(&table);
        if (count != 0 && table != nullptr)
            std::memcpy(outData, table, count * sizeof(AUChannelInfo));
        return noErr;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
        WriteValue<UInt32>(outData, mMaxFramesPerSlice);
        return noErr;
    case kAudioUnitProperty_AudioChannelLayout: {
        Boolean writable = false;
        const UInt32 size = GetAudioChannelLayout(
            inScope, inElement, static_cast<AudioChannelLayout*>(outData), writable);
        return size == 0 ? OSStatus(kAudioUnitErr_InvalidProperty) : OSStatus(noErr);
    }
    case kAudioUnitProperty_SupportedChannelLayoutTags: {
        const UInt32 count =
            GetChannelLayoutTags(inScope, inElement, static_cast<AudioChannelLayoutTag*>(outData));
        return count == 0 ? OSStatus(kAudioUnitErr_InvalidProperty) : OSStatus(noErr);
    }
    case kAudioUnitProperty_ShouldAllocateBuffer:
        WriteValue<UInt32>(outData, GetIOElement(inScope, inElement)->WillAllocateBuffer() ? 1 : 0);
        return noErr;
    default:
        return std::nullopt;
    }
}

std::optional<OSStatus> AUBase::GetParameterProperty(AudioUnitPropertyID inID,
                                                     AudioUnitScope inScope,
                                                     AudioUnitElement inElement, void* outData,
                                                     UInt32& ioDataSize)
{
    switch (inID) {
    case kAudioUnitProperty_ParameterList: {
        UInt32 count = 0;
        return GetParameterList(inScope, static_cast<AudioUnitParameterID*>(outData), count);
    }
    case kAudioUnitProperty_ParameterInfo:
        // The element argument carries the parameter id.
        return GetParameterInfo(inScope, inElement, *static_cast<AudioUnitParameterInfo*>(outData));
    case kAudioUnitProperty_ParameterValueStrings:
        return GetParameterValueStrings(inScope, inElement, static_cast<CFArrayRef*>(outData));
    case kAudioUnitProperty_ParameterClumpName: {
        auto record = ReadValue<ClumpNameRecord>(outData);
        if (record.inID == 0)
            return kAudioUnitErr_InvalidPropertyValue;
        const OSStatus result = CopyClumpName(
            inScope, record.inID, static_cast<UInt32>(record.inDesiredLength), &record.outName);
        if (result == kAudioUnitErr_InvalidProperty)
            return GetPropertyWithSize(inID, inScope, inElement, outData, ioDataSize);
        WriteValue(outData, record);
        return result;
    }
    case kAudioUnitProperty_ParameterHistoryInfo: {
        Float32 history[2] = {0, 0};
        const OSStatus result = GetParameterHistoryInfo(inScope, inElement, history[0], history[1]);
        std::memcpy(outData, history, sizeof(history));
        return result;
    }
    default:
        return std::nullopt;
    }
}

// What the render cycle reports: latency, tail, the last error and sample time, the host's
// callbacks.
std::optional<OSStatus> AUBase::GetRenderProperty(AudioUnitPropertyID inID, AudioUnitScope,
                                                  AudioUnitElement, void* outData, UInt32&)
{
    switch (inID) {
    case kAudioUnitProperty_Latency:
        WriteValue<Float64>(outData, GetLatency());
        return noErr;
    case kAudioUnitProperty_TailTime:
        if (!SupportsTail())
            return kAudioUnitErr_InvalidProperty;
        WriteValue<Float64>(outData, GetTailTime());
        return noErr;
    case kAudioUnitProperty_LastRenderError:
        WriteValue<OSStatus>(outData, TakeLastRenderError());
        return noErr;
    case kAudioUnitProperty_HostCallbacks:
        std::memcpy(outData, &mHostCallbackInfo, sizeof(mHostCallbackInfo));
        return noErr;
    case kAudioUnitProperty_LastRenderSampleTime:
        WriteValue<Float64>(outData, mCurrentRenderTime.mSampleTime);
        return noErr;
    default:
        return std::nullopt;
    }
}

// The saved state, presets, icon and names; a string or preset handed out is retained for the
// caller.
std::optional<OSStatus> AUBase::GetStateProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                                 AudioUnitElement inElement, void* outData, UInt32&)
{
    switch (inID) {
    case kAudioUnitProperty_ClassInfo: {
        auto* plist = static_cast<CFPropertyListRef*>(outData);
        *plist = nullptr;
        return SaveState(plist);
    }
    case kAudioUnitProperty_FactoryPresets: {
        auto* presets = static_cast<CFArrayRef*>(outData);
        *presets = nullptr;
        return GetPresets(presets);
    }
    case kAudioUnitProperty_ContextName:
        WriteValue<CFStringRef>(outData, mContextName);
        if (mContextName == nullptr)
            return kAudioUnitErr_InvalidPropertyValue;
        CFRetain(mContextName);
        return noErr;
    case kAudioUnitProperty_ElementName: {
        AUElement* element = SafeGetElement(inScope, inElement);
        if (!element->HasName())
            return kAudioUnitErr_InvalidPropertyValue;
        CFStringRef name = element->GetName();
        CFRetain(name);
        WriteValue<CFStringRef>(outData, name);
        return noErr;
    }
    case kAudioUnitProperty_PresentPreset: {
        if (mCurrentPreset.presetName != nullptr)
            CFRetain(mCurrentPreset.presetName);
        WriteValue(outData, mCurrentPreset);
        return noErr;
    }
    case kAudioUnitProperty_IconLocation: {
        CFURLRef icon = CopyIconLocation();
        if (icon == nullptr)
            return kAudioUnitErr_InvalidProperty;
        WriteValue(outData, icon);
        return noErr;
    }
    case kAudioUnitProperty_NickName:
        if (mNickName != nullptr)
            CFRetain(mNickName);
        WriteValue<CFStringRef>(outData, mNickName);
        return noErr;
    default:
        return std::nullopt;
    }
}

// ---- Writing ----

OSStatus AUBase::ApplyStreamFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                                   const CAStreamBasicDescription& newDesc)
{
    if (!ValidFormat(inScope, inElement, newDesc))
        return Fail(kValidFormat, __LINE__);
    const CAStreamBasicDescription current = GetStreamFormat(inScope, inElement);
    if (current.IsEqual(newDesc, false))
        return noErr;
    if (!IsStreamFormatWritable(inScope, inElement))
        return Fail(kFormatWritable, __LINE__);
    return ChangeStreamFormat(inScope, inElement, current, newDesc);
}

OSStatus AUBase::DispatchSetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                     AudioUnitElement inElement, const void* inData,
                                     UInt32 inDataSize)
{
    const PropertyRule* rule = FindRule(inID);
    if (rule != nullptr && (rule->flags & kWrittenHere) != 0) {
        if (const OSStatus status = CheckWrite(*this, *rule, inScope, inElement, inDataSize))
            return status;
    }
    static constexpr PropertyWriter kWriters[] = {
        &AUBase::SetFormatProperty, &AUBase::SetBufferProperty, &AUBase::SetNameProperty,
        &AUBase::SetStateProperty};
    for (const PropertyWriter write : kWriters)
        if (const std::optional<OSStatus> result =
                (this->*write)(inID, inScope, inElement, inData, inDataSize))
            return *result;
    return NotifyIfDone(SetProperty(inID, inScope, inElement, inData, inDataSize), inID, inScope,
                        inElement);
}

// Sample rate, stream format, bus count and channel layout.
std::optional<OSStatus> AUBase::SetFormatProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                                  AudioUnitElement inElement, const void* inData,
                                                  UInt32 inDataSize)
{
    switch (inID) {
    case kAudioUnitProperty_SampleRate: {
        CAStreamBasicDescription newDesc = GetStreamFormat(inScope, inElement);
        newDesc.mSampleRate = ReadValue<Float64>(inData);
        return ApplyStreamFormat(inScope, inElement, newDesc);
    }
    case kAudioUnitProperty_StreamFormat: {
        // The reserved field stays 0 whatever the host sent.
        CAStreamBasicDescription newDesc;
        std::memset(static_cast<AudioStreamBasicDescription*>(&newDesc), 0,
                    sizeof(AudioStreamBasicDescription));
        std::memcpy(static_cast<AudioStreamBasicDescription*>(&newDesc), inData, kFormatSize.bytes);
        return ApplyStreamFormat(inScope, inElement, newDesc);
    }
    case kAudioUnitProperty_ElementCount: {
        if (!BusCountWritable(inScope))
            return Fail(kBusCountWritable, __LINE__);
        return NotifyIfDone(SetBusCount(inScope, ReadValue<UInt32>(inData)), inID, inScope,
                            inElement);
    }
    case kAudioUnitProperty_AudioChannelLayout: {
        // The count is read only once the header is known to be there; the sum is formed in
        // 64 bits so that a huge count cannot wrap around to a small size.
        if (inDataSize < kChannelLayoutHeaderSize)
            return Fail(kChannelLayoutSize, __LINE__);
        const auto* layout = static_cast<const AudioChannelLayout*>(inData);
        const UInt64 needed =
            UInt64(kChannelLayoutHeaderSize) +
            UInt64(layout->mNumberChannelDescriptions) * sizeof(AudioChannelDescription);
        if (inDataSize < needed)
            return Fail(kChannelLayoutSize, __LINE__);
        return NotifyIfDone(SetAudioChannelLayout(inScope, inElement, layout), inID, inScope,
                            inElement);
    }
    default:
        return std::nullopt;
    }
}

// Where the unit's audio comes from and goes: connections, callbacks, slice size, buffers.
std::optional<OSStatus> AUBase::SetBufferProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                                  AudioUnitElement inElement, const void* inData,
                                                  UInt32 inDataSize)
{
    switch (inID) {
    case kAudioUnitProperty_MakeConnection:
        return SetConnection(ReadValue<AudioUnitConnection>(inData));
    case kAudioUnitProperty_SetRenderCallback: {
        const auto callback = ReadValue<AURenderCallbackStruct>(inData);
        return SetInputCallback(kAudioUnitProperty_SetRenderCallback, inElement, callback.inputProc,
                                callback.inputProcRefCon);
    }
    case kAudioUnitProperty_MaximumFramesPerSlice: {
        const OSStatus result = CanSetMaxFrames();
        if (result != noErr)
            return result;
        SetMaxFramesPerSlice(ReadValue<UInt32>(inData));
        return noErr;
    }
    case kAudioUnitProperty_SetExternalBuffer: {
        if (inDataSize < sizeof(AudioUnitExternalBuffer))
            return Fail(kExternalBufferSize, __LINE__);
        if (!IsInitialized())
            return Fail(kInitialized, __LINE__);
        const auto buffer = ReadValue<AudioUnitExternalBuffer>(inData);
        if (reinterpret_cast<uintptr_t>(buffer.buffer) % kExternalBufferAlignment != 0)
            return kAudio_ParamError;
        if (inScope == kAudioUnitScope_Input)
            GetInput(inElement)->UseExternalBuffer(buffer);
        else
            GetOutput(inElement)->UseExternalBuffer(buffer);
        return noErr;
    }
    case kAudioUnitProperty_ShouldAllocateBuffer:
        if (IsInitialized())
            return Fail(kNotInitialized, __LINE__);
        GetIOElement(inScope, inElement)->SetWillAllocateBuffer(ReadValue<UInt32>(inData) != 0);
        return noErr;
    default:
        return std::nullopt;
    }
}

// The unit's context name and nickname, and an element's name: strings (or null) only.
std::optional<OSStatus> AUBase::SetNameProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                                AudioUnitElement inElement, const void* inData,
                                                UInt32)
{
    switch (inID) {
    case kAudioUnitProperty_ContextName:
    case kAudioUnitProperty_NickName:
    case kAudioUnitProperty_ElementName: {
        const auto name = ReadValue<CFStringRef>(inData);
        if (!IsStringOrNull(name))
            return kAudioUnitErr_InvalidPropertyValue;
        if (inID == kAudioUnitProperty_ElementName)
            GetElement(inScope, inElement)->SetName(name);
        else
            ReplaceOwnedString(inID == kAudioUnitProperty_NickName ? mNickName : mContextName,
                               name);
        PropertyChanged(inID, inScope, inElement);
        return noErr;
    }
    default:
        return std::nullopt;
    }
}

// A saved state, the host's callbacks and the present preset.
std::optional<OSStatus> AUBase::SetStateProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                                 AudioUnitElement inElement, const void* inData,
                                                 UInt32 inDataSize)
{
    switch (inID) {
    case kAudioUnitProperty_ClassInfo:
        return RestoreState(ReadValue<CFPropertyListRef>(inData));
    case kAudioUnitProperty_HostCallbacks: {
        // A shorter table clears the rest, so the whole new table is compared with the old:
        // a cleared procedure is a change even when the bytes sent are the stored ones.
        HostCallbackInfo callbacks{};
        std::memcpy(&callbacks, inData, std::min<UInt32>(inDataSize, sizeof(callbacks)));
        const bool changed = std::memcmp(&mHostCallbackInfo, &callbacks, sizeof(callbacks)) != 0;
        mHostCallbackInfo = callbacks;
        if (changed)
            PropertyChanged(inID, inScope, inElement);
        return noErr;
    }
    case kAudioUnitProperty_PresentPreset: {
        const auto preset = ReadValue<AUPreset>(inData);
        if (!IsStringOrNull(preset.presetName))
            return kAudioUnitErr_InvalidPropertyValue;
        OSStatus result = kAudioUnitErr_InvalidPropertyValue;
        if (preset.presetNumber >= 0)
            result = NewFactoryPresetSet(preset);
        else if (preset.presetName != nullptr)
            result = NewCustomPresetSet(preset);
        return NotifyIfDone(result, inID, inScope, inElement);
    }
    default:
        return std::nullopt;
    }
}

// ---- Removing ----

OSStatus AUBase::DispatchRemovePropertyValue(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                             AudioUnitElement inElement)
{
    switch (inID) {
    case kAudioUnitProperty_AudioChannelLayout: {
        return NotifyIfDone(RemoveAudioChannelLayout(inScope, inElement), inID, inScope, inElement);
    }
    case kAudioUnitProperty_ContextName:
        ReplaceOwnedString(mContextName, nullptr);
        return noErr;
    case kAudioUnitProperty_HostCallbacks: {
        if (!kGlobal.accepts(inScope))
            return Fail(kGlobal.check, __LINE__);
        static const HostCallbackInfo kNoCallbacks{};
        if (std::memcmp(&mHostCallbackInfo, &kNoCallbacks, sizeof(kNoCallbacks)) != 0) {
            mHostCallbackInfo = kNoCallbacks;
            PropertyChanged(inID, inScope, inElement);
        }
        return noErr;
    }
    case kAudioUnitProperty_NickName:
        // Refused without a line.
        if (!kGlobal.accepts(inScope))
            return kAudioUnitErr_InvalidScope;
        ReplaceOwnedString(mNickName, nullptr);
        PropertyChanged(inID, inScope, inElement);
        return noErr;
    default:
        return RemovePropertyValue(inID, inScope, inElement);
    }
}

// ---- Hooks for the unit's own properties ----

OSStatus AUBase::GetPropertyInfo(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, UInt32&,
                                 Boolean&)
{
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::GetProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, void*)
{
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::GetPropertyWithSize(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                     AudioUnitElement inElement, void* outData, UInt32&)
{
    return GetProperty(inID, inScope, inElement, outData);
}

OSStatus AUBase::SetProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, const void*,
                             UInt32)
{
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::RemovePropertyValue(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement)
{
    return kAudioUnitErr_InvalidProperty;
}

// ---- Writability and icon ----

bool AUBase::IsStreamFormatWritable(AudioUnitScope scope, AudioUnitElement element)
{
    switch (scope) {
    case kAudioUnitScope_Global:
        return StreamFormatWritable(kAudioUnitScope_Output, 0);
    case kAudioUnitScope_Input: {
        AUInputElement* input = GetInput(element);
        return !input->HasConnection() && StreamFormatWritable(kAudioUnitScope_Input, element);
    }
    case kAudioUnitScope_Output:
        return StreamFormatWritable(kAudioUnitScope_Output, element);
    default:
        return false;
    }
}

bool AUBase::HasIcon()
{
    CFURLRef icon = CopyIconLocation();
    if (icon == nullptr)
        return false;
    CFRelease(icon);
    return true;
}

// ---- Listeners ----

OSStatus AUBase::AddPropertyListener(AudioUnitPropertyID inID, AudioUnitPropertyListenerProc inProc,
                                     void* inProcRefCon)
{
    // Refused now rather than called through at the next change.
    if (inProc == nullptr)
        return kAudio_ParamError;
    if (mPropertyListeners.empty())
        mPropertyListeners.reserve(kPropertyListenersReserved);
    mPropertyListeners.push_back(PropertyListener{inID, inProc, inProcRefCon});
    return noErr;
}

OSStatus AUBase::RemovePropertyListener(AudioUnitPropertyID inID,
                                        AudioUnitPropertyListenerProc inProc, void* inProcRefCon,
                                        bool refConSpecified)
{
    for (size_t i = mPropertyListeners.size(); i-- > 0;) {
        const PropertyListener& listener = mPropertyListeners[i];
        if (listener.propertyID == inID && listener.listenerProc == inProc &&
            (!refConSpecified || listener.listenerRefCon == inProcRefCon))
            mPropertyListeners.erase(mPropertyListeners.begin() + static_cast<long>(i));
    }
    return noErr;
}

void AUBase::PropertyChanged(AudioUnitPropertyID inID, AudioUnitScope inScope,
                             AudioUnitElement inElement)
{
    // By index: a listener may add or remove listeners while it runs.
    for (size_t i = 0; i < mPropertyListeners.size(); ++i) {
        const PropertyListener listener = mPropertyListeners[i];
        if (listener.propertyID == inID)
            listener.listenerProc(listener.listenerRefCon, GetComponentInstance(), inID, inScope,
                                  inElement);
    }
}

OSStatus AUBase::NotifyIfDone(OSStatus result, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement)
{
    if (result == noErr)
        PropertyChanged(inID, inScope, inElement);
    return result;
}
