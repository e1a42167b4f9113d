#include "AUScope.h"

#include "AUBase.h"
#include "AUElement.h"
#include "AUIOElement.h"

#include <CoreFoundation/CFByteOrder.h>
#include <CoreFoundation/CFString.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kElementNameKeySize = 32;

CFStringRef CreateDecimalKey(UInt32 number)
{
    char text[kElementNameKeySize];
    snprintf(text, sizeof(text), "%d", static_cast<int>(number));
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingASCII);
}

UInt32 PeekBigEndian32(const UInt8* position)
{
    UInt32 value;
    std::memcpy(&value, position, sizeof(value));
    return CFSwapInt32BigToHost(value);
}

} // namespace

AUScope::~AUScope()
{
    for (AUElement* element : mElements)
        delete element;
}

void AUScope::Initialize(AUBase* audioUnit, AudioUnitScope scope, UInt32 numberOfElements)
{
    mAudioUnit = audioUnit;
    mScope = scope;
    SetNumberOfElements(numberOfElements);
}

void AUScope::SetNumberOfElements(UInt32 numberOfElements)
{
    if (numberOfElements > mElements.size()) {
        mElements.reserve(numberOfElements);
        while (mElements.size() < numberOfElements) {
            AUElement* element =
                mAudioUnit->CreateElement(mScope, static_cast<AudioUnitElement>(mElements.size()));
            mElements.push_back(element);
        }
        return;
    }
    while (mElements.size() > numberOfElements) {
        delete mElements.back();
        mElements.pop_back();
    }
}

void AUScope::ThrowInvalidElement()
{
    throw static_cast<int>(kAudioUnitErr_InvalidElement);
}

AUIOElement* AUScope::GetIOElement(UInt32 elementIndex) const
{
    AUElement* element = GetElement(elementIndex);
    AUIOElement* ioElement = element != nullptr ? element->AsIOElement() : nullptr;
    if (ioElement == nullptr)
        throw static_cast<int>(kAudioUnitErr_InvalidElement);
    return ioElement;
}

bool AUScope::HasElementWithName() const
{
    for (const AUElement* element : mElements)
        if (element->HasName())
            return true;
    return false;
}

void AUScope::AddElementNamesToDict(CFMutableDictionaryRef& namesDict) const
{
    if (!HasElementWithName())
        return;
    CFMutableDictionaryRef elementDict = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    for (UInt32 i = 0; i < mElements.size(); ++i) {
        if (!mElements[i]->HasName())
            continue;
        CFStringRef key = CreateDecimalKey(i);
        CFDictionarySetValue(elementDict, key, mElements[i]->GetName());
        CFRelease(key);
    }
    CFStringRef scopeKey = CreateDecimalKey(mScope);
    CFDictionarySetValue(namesDict, scopeKey, elementDict);
    CFRelease(scopeKey);
    CFRelease(elementDict);
}

void AUScope::RestoreElementNames(CFDictionaryRef& nameDict) const
{
    const CFIndex count = CFDictionaryGetCount(nameDict);
    std::vector<const void*> keys(count), values(count);
    CFDictionaryGetKeysAndValues(nameDict, keys.data(), values.data());
    for (CFIndex i = 0; i < count; ++i) {
        // A saved state is outside input: only string keys and string names are taken.
        if (keys[i] == nullptr || CFGetTypeID(keys[i]) != CFStringGetTypeID() ||
            values[i] == nullptr || CFGetTypeID(values[i]) != CFStringGetTypeID())
            continue;
        char text[kElementNameKeySize];
        if (!CFStringGetCString(static_cast<CFStringRef>(keys[i]), text, sizeof(text),
                                kCFStringEncodingASCII))
            continue;
        unsigned elementIndex = 0;
        if (sscanf(text, "%u", &elementIndex) != 1)
            continue;
        if (AUElement* element = GetElement(elementIndex))
            element->SetName(static_cast<CFStringRef>(values[i]));
    }
}

void AUScope::SaveState(CFMutableDataRef data) const
{
    for (UInt32 i = 0; i < mElements.size(); ++i) {
        AUElement* element = mElements[i];
        if (element->GetNumberOfParameters() == 0)
            continue;
        const UInt32 header[2] = {CFSwapInt32HostToBig(mScope), CFSwapInt32HostToBig(i)};
        CFDataAppendBytes(data, reinterpret_cast<const UInt8*>(header), sizeof(header));
        element->SaveState(data);
    }
}

const UInt8* AUScope::RestoreState(const UInt8* state) const
{
    const UInt32 elementIndex = PeekBigEndian32(state);
    const UInt8* block = state + sizeof(UInt32);
    if (AUElement* element = GetElement(elementIndex))
        return element->RestoreState(block);
    const UInt32 count = PeekBigEndian32(block);
    return block + sizeof(UInt32) + size_t(count) * 2 * sizeof(UInt32);
}
