// The property protocol of AUBase: information, reading, writing and removing of the properties
// every unit shares, the hooks for the others, and the property listeners.
#include "AUBase.h"

#include "AUDiagnostics.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

constexpr const char* kSourceFile = "AUPublic/AUBase/AUBaseProperties.cpp";
constexpr UInt32 kPropertyListenersReserved = 32;
// The sample time of the latest render, as a Float64.
constexpr AudioUnitPropertyID kLastRenderedSampleTimeProperty = 0x6C727374; // 'lrst'
constexpr UInt32 kChannelLayoutHeaderSize = offsetof(AudioChannelLayout, mChannelDescriptions);
constexpr UInt32 kFormatBytesWithoutReserved = offsetof(AudioStreamBasicDescription, mReserved);
// External buffers must suit vector loads.
constexpr uintptr_t kExternalBufferAlignment = 16;

// One precondition of the protocol: the text of its condition, its label and its status.
struct Check {
    const char* condition;
    const char* label;
    OSStatus status;
};

constexpr Check kGlobalScope{"inScope == kAudioUnitScope_Global", "InvalidScope",
                             kAudioUnitErr_InvalidScope};
constexpr Check kInputOrGlobalScope{
    "inScope == kAudioUnitScope_Input || inScope == kAudioUnitScope_Global", "InvalidScope",
    kAudioUnitErr_InvalidScope};
constexpr Check kInputOrOutputScope{
    "(inScope == kAudioUnitScope_Input || inScope == kAudioUnitScope_Output)", "InvalidScope",
    kAudioUnitErr_InvalidScope};
constexpr Check kElementExists{"GetElement(inScope, inElement) != NULL", "InvalidElement",
                               kAudioUnitErr_InvalidElement};
constexpr Check kAPIVersion{"AudioUnitAPIVersion() > 1", "InvalidProperty",
                            kAudioUnitErr_InvalidProperty};
constexpr Check kPropertyListSize{"inDataSize == sizeof(CFPropertyListRef *)",
                                  "InvalidPropertyValue", kAudioUnitErr_InvalidPropertyValue};
constexpr Check kConnectionSize{"inDataSize >= sizeof(AudioUnitConnection)", "InvalidPropertyValue",
                                kAudioUnitErr_InvalidPropertyValue};
constexpr Check kFloat64Size{"inDataSize == sizeof(Float64)", "InvalidPropertyValue",
                             kAudioUnitErr_InvalidPropertyValue};
constexpr Check kUInt32Size{"inDataSize == sizeof(UInt32)", "InvalidPropertyValue",
                            kAudioUnitErr_InvalidPropertyValue};
constexpr Check kExternalBufferSize{"inDataSize >= sizeof(AudioUnitExternalBuffer)",
                                    "InvalidPropertyValue", kAudioUnitErr_InvalidPropertyValue};
constexpr Check kChannelLayoutSize{
    "inDataSize >= headerSize + layout->mNumberChannelDescriptions * "
    "sizeof(AudioChannelDescription)",
    "InvalidPropertyValue", kAudioUnitErr_InvalidPropertyValue};
constexpr Check kRenderCallbackSize{"inDataSize >= sizeof(AURenderCallbackStruct)",
                                    "InvalidPropertyValue", kAudioUnitErr_InvalidPropertyValue};
constexpr Check kStringSize{"inDataSize == sizeof(CFStringRef)", "InvalidPropertyValue",
                            kAudioUnitErr_InvalidPropertyValue};
constexpr Check kPresetSize{"inDataSize == sizeof(AUPreset)", "InvalidPropertyValue",
                            kAudioUnitErr_InvalidPropertyValue};
constexpr Check kBusCountWritable{"BusCountWritable(inScope)", "NotWritable",
                                  kAudioUnitErr_PropertyNotWritable};
constexpr Check kValidFormat{"ValidFormat(inScope, inElement, newDesc)", "InvalidFormat",
                             kAudioUnitErr_FormatNotSupported};
constexpr Check kFormatWritable{"IsStreamFormatWritable(inScope, inElement)", "NotWritable",
                                kAudioUnitErr_PropertyNotWritable};
constexpr Check kInitialized{"IsInitialized()", "Uninitialized", kAudioUnitErr_Uninitialized};
constexpr Check kNotInitialized{"!IsInitialized()", "Initialized", kAudioUnitErr_Initialized};

OSStatus Fail(const Check& check, int line)
{
    return AURequireFailed(check.condition, check.label, kSourceFile, line, check.status);
}

bool IsGlobal(AudioUnitScope scope)
{
    return scope == kAudioUnitScope_Global;
}

bool IsInputOrGlobal(AudioUnitScope scope)
{
    return scope == kAudioUnitScope_Input || scope == kAudioUnitScope_Global;
}

bool IsInputOrOutput(AudioUnitScope scope)
{
    return scope == kAudioUnitScope_Input || scope == kAudioUnitScope_Output;
}

template <class T> T ReadValue(const void* data)
{
    T value;
    std::memcpy(&value, data, sizeof(T));
    return value;
}

template <class T> void WriteValue(void* data, const T& value)
{
    std::memcpy(data, &value, sizeof(T));
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

// The record of the clump-name property.
struct ClumpNameRecord {
    UInt32 inID;
    SInt32 inDesiredLength;
    CFStringRef outName;
};
static_assert(sizeof(ClumpNameRecord) == 16, "the clump-name record is 16 bytes");

} // namespace

// ---- Information ----

OSStatus AUBase::DispatchGetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement, UInt32& outDataSize,
                                         Boolean& outWritable)
{
    OSStatus result = noErr;
    bool validateElement = true;

    switch (inID) {
    case kAudioUnitProperty_ClassInfo:
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
        outDataSize = sizeof(CFPropertyListRef);
        outWritable = true;
        break;
    case kAudioUnitProperty_MakeConnection:
        if (!IsInputOrGlobal(inScope))
            return Fail(kInputOrGlobalScope, __LINE__);
        outDataSize = sizeof(AudioUnitConnection);
        outWritable = true;
        break;
    case kAudioUnitProperty_SampleRate:
        outDataSize = sizeof(Float64);
        outWritable = IsStreamFormatWritable(inScope, inElement);
        break;
    case kAudioUnitProperty_ParameterList: {
        UInt32 count = 0;
        result = GetParameterList(inScope, nullptr, count);
        outDataSize = count * UInt32(sizeof(AudioUnitParameterID));
        outWritable = false;
        validateElement = false;
        break;
    }
    case kAudioUnitProperty_ParameterInfo:
        outDataSize = sizeof(AudioUnitParameterInfo);
        outWritable = false;
        validateElement = false;
        break;
    case kAudioUnitProperty_StreamFormat:
        outDataSize = sizeof(AudioStreamBasicDescription);
        outWritable = IsStreamFormatWritable(inScope, inElement);
        break;
    case kAudioUnitProperty_ElementCount:
        outDataSize = sizeof(UInt32);
        outWritable = BusCountWritable(inScope);
        validateElement = false;
        break;
    case kAudioUnitProperty_Latency:
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
        outDataSize = sizeof(Float64);
        outWritable = false;
        break;
    case kAudioUnitProperty_SupportedNumChannels: {
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
        const UInt32 count = SupportedNumChannels(nullptr);
        if (count == 0)
            return kAudioUnitErr_InvalidProperty;
        outDataSize = count * UInt32(sizeof(AUChannelInfo));
        outWritable = false;
        break;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
        outDataSize = sizeof(UInt32);
        outWritable = true;
        break;
    case kAudioUnitProperty_ParameterValueStrings:
        result = GetParameterValueStrings(inScope, inElement, nullptr);
        if (result == noErr) {
            outDataSize = sizeof(CFArrayRef);
            outWritable = false;
        }
        validateElement = false;
        break;
    case kAudioUnitProperty_AudioChannelLayout:
        outWritable = false;
        outDataSize = GetAudioChannelLayout(inScope, inElement, nullptr, outWritable);
        if (outDataSize == 0)
            result = GetChannelLayoutTags(inScope, inElement, nullptr) == 0
                         ? OSStatus(kAudioUnitErr_InvalidProperty)
                         : OSStatus(kAudioUnitErr_InvalidPropertyValue);
        validateElement = false;
        break;
    case kAudioUnitProperty_TailTime:
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
        if (!SupportsTail())
            return kAudioUnitErr_InvalidProperty;
        outDataSize = sizeof(Float64);
        outWritable = false;
        break;
    case kAudioUnitProperty_LastRenderError:
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
        outDataSize = sizeof(OSStatus);
        outWritable = false;
        break;
    case kAudioUnitProperty_SetRenderCallback:
        if (AudioUnitAPIVersion() <= 1)
            return Fail(kAPIVersion, __LINE__);
        if (!IsInputOrGlobal(inScope))
            return Fail(kInputOrGlobalScope, __LINE__);
        outDataSize = sizeof(AURenderCallbackStruct);
        outWritable = true;
        break;
    case kAudioUnitProperty_FactoryPresets:
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
        result = GetPresets(nullptr);
        if (result == noErr) {
            outDataSize = sizeof(CFArrayRef);
            outWritable = false;
        }
        break;
    case kAudioUnitProperty_ContextName:
    case kAudioUnitProperty_NickName:
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
        outDataSize = sizeof(CFStringRef);
        outWritable = true;
        break;
    case kAudioUnitProperty_HostCallbacks:
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
        outDataSize = sizeof(HostCallbackInfo);
        outWritable = true;
        break;
    case kAudioUnitProperty_ElementName:
        outDataSize = sizeof(CFStringRef);
        outWritable = true;
        break;
    case kAudioUnitProperty_SupportedChannelLayoutTags: {
        const UInt32 count = GetChannelLayoutTags(inScope, inElement, nullptr);
        if (count == 0)
            return kAudioUnitErr_InvalidProperty;
        outDataSize = count * UInt32(sizeof(AudioChannelLayoutTag));
        outWritable = false;
        validateElement = false;
        break;
    }
    case kAudioUnitProperty_ParameterClumpName:
        outDataSize = sizeof(ClumpNameRecord);
        outWritable = false;
        break;
    case kAudioUnitProperty_PresentPreset:
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
        outDataSize = sizeof(AUPreset);
        outWritable = true;
        break;
    case kAudioUnitProperty_IconLocation:
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
        if (!HasIcon())
            return kAudioUnitErr_InvalidProperty;
        outDataSize = sizeof(CFURLRef);
        outWritable = false;
        break;
    case kAudioUnitProperty_ShouldAllocateBuffer:
        if (!IsInputOrOutput(inScope))
            return Fail(kInputOrOutputScope, __LINE__);
        outDataSize = sizeof(UInt32);
        outWritable = true;
        break;
    case kAudioUnitProperty_ParameterHistoryInfo:
        outDataSize = 2 * sizeof(Float32);
        outWritable = false;
        validateElement = false;
        break;
    case kLastRenderedSampleTimeProperty:
        outDataSize = sizeof(Float64);
        outWritable = false;
        break;
    default:
        return GetPropertyInfo(inID, inScope, inElement, outDataSize, outWritable);
    }

    if (result == noErr && validateElement && GetElement(inScope, inElement) == NULL)
        return Fail(kElementExists, __LINE__);
    return result;
}

// ---- Reading ----

OSStatus AUBase::DispatchGetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                     AudioUnitElement inElement, void* outData)
{
    switch (inID) {
    case kAudioUnitProperty_ClassInfo: {
        auto* plist = static_cast<CFPropertyListRef*>(outData);
        *plist = nullptr;
        return SaveState(plist);
    }
    case kAudioUnitProperty_SampleRate:
        WriteValue<Float64>(outData, GetStreamFormat(inScope, inElement).mSampleRate);
        return noErr;
    case kAudioUnitProperty_ParameterList: {
        UInt32 count = 0;
        return GetParameterList(inScope, static_cast<AudioUnitParameterID*>(outData), count);
    }
    case kAudioUnitProperty_ParameterInfo:
        // The element argument carries the parameter id.
        return GetParameterInfo(inScope, inElement, *static_cast<AudioUnitParameterInfo*>(outData));
    case kAudioUnitProperty_StreamFormat: {
        const AudioStreamBasicDescription& format = GetStreamFormat(inScope, inElement);
        std::memcpy(outData, &format, sizeof(format));
        return noErr;
    }
    case kAudioUnitProperty_ElementCount:
        WriteValue<UInt32>(outData, GetScope(inScope).GetNumberOfElements());
        return noErr;
    case kAudioUnitProperty_Latency:
        WriteValue<Float64>(outData, GetLatency());
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
    case kAudioUnitProperty_ParameterValueStrings:
        return GetParameterValueStrings(inScope, inElement, static_cast<CFArrayRef*>(outData));
    case kAudioUnitProperty_AudioChannelLayout: {
        Boolean writable = false;
        const UInt32 size = GetAudioChannelLayout(
            inScope, inElement, static_cast<AudioChannelLayout*>(outData), writable);
        return size == 0 ? OSStatus(kAudioUnitErr_InvalidProperty) : OSStatus(noErr);
    }
    case kAudioUnitProperty_TailTime:
        if (!SupportsTail())
            return kAudioUnitErr_InvalidProperty;
        WriteValue<Float64>(outData, GetTailTime());
        return noErr;
    case kAudioUnitProperty_LastRenderError:
        WriteValue<OSStatus>(outData, TakeLastRenderError());
        return noErr;
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
    case kAudioUnitProperty_HostCallbacks:
        std::memcpy(outData, &mHostCallbackInfo, sizeof(mHostCallbackInfo));
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
    case kAudioUnitProperty_SupportedChannelLayoutTags: {
        const UInt32 count =
            GetChannelLayoutTags(inScope, inElement, static_cast<AudioChannelLayoutTag*>(outData));
        return count == 0 ? OSStatus(kAudioUnitErr_InvalidProperty) : OSStatus(noErr);
    }
    case kAudioUnitProperty_ParameterClumpName: {
        auto record = ReadValue<ClumpNameRecord>(outData);
        if (record.inID == 0)
            return kAudioUnitErr_InvalidPropertyValue;
        const OSStatus result = CopyClumpName(
            inScope, record.inID, static_cast<UInt32>(record.inDesiredLength), &record.outName);
        if (result == kAudioUnitErr_InvalidProperty)
            return GetProperty(inID, inScope, inElement, outData);
        WriteValue(outData, record);
        return result;
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
    case kAudioUnitProperty_ShouldAllocateBuffer:
        WriteValue<UInt32>(outData, GetIOElement(inScope, inElement)->WillAllocateBuffer() ? 1 : 0);
        return noErr;
    case kAudioUnitProperty_ParameterHistoryInfo: {
        Float32 history[2] = {0, 0};
        const OSStatus result = GetParameterHistoryInfo(inScope, inElement, history[0], history[1]);
        std::memcpy(outData, history, sizeof(history));
        return result;
    }
    case kAudioUnitProperty_NickName:
        if (mNickName != nullptr)
            CFRetain(mNickName);
        WriteValue<CFStringRef>(outData, mNickName);
        return noErr;
    case kLastRenderedSampleTimeProperty:
        WriteValue<Float64>(outData, mCurrentRenderTime.mSampleTime);
        return noErr;
    default:
        return GetProperty(inID, inScope, inElement, outData);
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
    switch (inID) {
    case kAudioUnitProperty_ClassInfo:
        if (inDataSize != sizeof(CFPropertyListRef))
            return Fail(kPropertyListSize, __LINE__);
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
        return RestoreState(ReadValue<CFPropertyListRef>(inData));

    case kAudioUnitProperty_MakeConnection:
        if (inDataSize < sizeof(AudioUnitConnection))
            return Fail(kConnectionSize, __LINE__);
        return SetConnection(ReadValue<AudioUnitConnection>(inData));

    case kAudioUnitProperty_SampleRate: {
        if (inDataSize != sizeof(Float64))
            return Fail(kFloat64Size, __LINE__);
        if (GetElement(inScope, inElement) == NULL)
            return Fail(kElementExists, __LINE__);
        CAStreamBasicDescription newDesc = GetStreamFormat(inScope, inElement);
        newDesc.mSampleRate = ReadValue<Float64>(inData);
        return ApplyStreamFormat(inScope, inElement, newDesc);
    }

    case kAudioUnitProperty_StreamFormat: {
        if (inDataSize < kFormatBytesWithoutReserved)
            return kAudioUnitErr_InvalidPropertyValue;
        if (GetElement(inScope, inElement) == NULL)
            return Fail(kElementExists, __LINE__);
        // The reserved field stays 0 whatever the host sent.
        CAStreamBasicDescription newDesc;
        std::memset(static_cast<AudioStreamBasicDescription*>(&newDesc), 0,
                    sizeof(AudioStreamBasicDescription));
        std::memcpy(static_cast<AudioStreamBasicDescription*>(&newDesc), inData,
                    kFormatBytesWithoutReserved);
        return ApplyStreamFormat(inScope, inElement, newDesc);
    }

    case kAudioUnitProperty_ElementCount: {
        if (inDataSize != sizeof(UInt32))
            return Fail(kUInt32Size, __LINE__);
        if (!BusCountWritable(inScope))
            return Fail(kBusCountWritable, __LINE__);
        const OSStatus result = SetBusCount(inScope, ReadValue<UInt32>(inData));
        if (result == noErr)
            PropertyChanged(inID, inScope, inElement);
        return result;
    }

    case kAudioUnitProperty_MaximumFramesPerSlice: {
        if (inDataSize != sizeof(UInt32))
            return Fail(kUInt32Size, __LINE__);
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
        const OSStatus result = SetAudioChannelLayout(inScope, inElement, layout);
        if (result == noErr)
            PropertyChanged(inID, inScope, inElement);
        return result;
    }

    case kAudioUnitProperty_SetRenderCallback: {
        if (inDataSize < sizeof(AURenderCallbackStruct))
            return Fail(kRenderCallbackSize, __LINE__);
        if (AudioUnitAPIVersion() <= 1)
            return Fail(kAPIVersion, __LINE__);
        const auto callback = ReadValue<AURenderCallbackStruct>(inData);
        return SetInputCallback(kAudioUnitProperty_SetRenderCallback, inElement, callback.inputProc,
                                callback.inputProcRefCon);
    }

    case kAudioUnitProperty_ContextName: {
        if (inDataSize != sizeof(CFStringRef))
            return Fail(kStringSize, __LINE__);
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
        const auto name = ReadValue<CFStringRef>(inData);
        if (!IsStringOrNull(name))
            return kAudioUnitErr_InvalidPropertyValue;
        ReplaceOwnedString(mContextName, name);
        PropertyChanged(inID, inScope, inElement);
        return noErr;
    }

    case kAudioUnitProperty_HostCallbacks: {
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
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

    case kAudioUnitProperty_ElementName: {
        AUElement* element = GetElement(inScope, inElement);
        if (element == NULL)
            return Fail(kElementExists, __LINE__);
        if (inDataSize != sizeof(CFStringRef))
            return Fail(kStringSize, __LINE__);
        const auto name = ReadValue<CFStringRef>(inData);
        if (!IsStringOrNull(name))
            return kAudioUnitErr_InvalidPropertyValue;
        element->SetName(name);
        PropertyChanged(inID, inScope, inElement);
        return noErr;
    }

    case kAudioUnitProperty_PresentPreset: {
        if (inDataSize != sizeof(AUPreset))
            return Fail(kPresetSize, __LINE__);
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
        const auto preset = ReadValue<AUPreset>(inData);
        if (!IsStringOrNull(preset.presetName))
            return kAudioUnitErr_InvalidPropertyValue;
        OSStatus result = kAudioUnitErr_InvalidPropertyValue;
        if (preset.presetNumber >= 0)
            result = NewFactoryPresetSet(preset);
        else if (preset.presetName != nullptr)
            result = NewCustomPresetSet(preset);
        if (result == noErr)
            PropertyChanged(inID, inScope, inElement);
        return result;
    }

    case kAudioUnitProperty_ShouldAllocateBuffer: {
        if (!IsInputOrOutput(inScope))
            return Fail(kInputOrOutputScope, __LINE__);
        if (GetElement(inScope, inElement) == NULL)
            return Fail(kElementExists, __LINE__);
        if (inDataSize != sizeof(UInt32))
            return Fail(kUInt32Size, __LINE__);
        if (IsInitialized())
            return Fail(kNotInitialized, __LINE__);
        GetIOElement(inScope, inElement)->SetWillAllocateBuffer(ReadValue<UInt32>(inData) != 0);
        return noErr;
    }

    case kAudioUnitProperty_NickName: {
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
        if (inDataSize != sizeof(CFStringRef))
            return Fail(kStringSize, __LINE__);
        const auto name = ReadValue<CFStringRef>(inData);
        if (!IsStringOrNull(name))
            return kAudioUnitErr_InvalidPropertyValue;
        ReplaceOwnedString(mNickName, name);
        PropertyChanged(inID, inScope, inElement);
        return noErr;
    }

    default: {
        const OSStatus result = SetProperty(inID, inScope, inElement, inData, inDataSize);
        if (result == noErr)
            PropertyChanged(inID, inScope, inElement);
        return result;
    }
    }
}

// ---- Removing ----

OSStatus AUBase::DispatchRemovePropertyValue(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                             AudioUnitElement inElement)
{
    switch (inID) {
    case kAudioUnitProperty_AudioChannelLayout: {
        const OSStatus result = RemoveAudioChannelLayout(inScope, inElement);
        if (result == noErr)
            PropertyChanged(inID, inScope, inElement);
        return result;
    }
    case kAudioUnitProperty_ContextName:
        ReplaceOwnedString(mContextName, nullptr);
        return noErr;
    case kAudioUnitProperty_HostCallbacks: {
        if (!IsGlobal(inScope))
            return Fail(kGlobalScope, __LINE__);
        static const HostCallbackInfo kNoCallbacks{};
        if (std::memcmp(&mHostCallbackInfo, &kNoCallbacks, sizeof(kNoCallbacks)) != 0) {
            mHostCallbackInfo = kNoCallbacks;
            PropertyChanged(inID, inScope, inElement);
        }
        return noErr;
    }
    case kAudioUnitProperty_NickName:
        if (!IsGlobal(inScope))
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
