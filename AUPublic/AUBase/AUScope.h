// One scope of a unit (global, input, output, group, part): a dense list of owned elements
// numbered from 0, with the element names and parameter blocks of the saved state.
#pragma once

#include <AudioUnit/AudioUnitProperties.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFDictionary.h>

#include <vector>

class AUBase;
class AUElement;
class AUIOElement;

class AUScope {
public:
    AUScope() = default;
    ~AUScope();
    AUScope(const AUScope&) = delete;
    AUScope& operator=(const AUScope&) = delete;

    // Binds the scope to its unit and id and creates `numberOfElements` elements through the
    // unit's CreateElement. [host-thread & !initialized]
    void Initialize(AUBase* audioUnit, AudioUnitScope scope, UInt32 numberOfElements);

    AudioUnitScope GetScope() const { return mScope; }
    UInt32 GetNumberOfElements() const { return static_cast<UInt32>(mElements.size()); }
    // Grows through the unit's CreateElement, shrinks by deleting from the end.
    // [host-thread & !initialized]
    void SetNumberOfElements(UInt32 numberOfElements);

    // Null when out of range. [any-thread]
    AUElement* GetElement(UInt32 elementIndex) const
    {
        return elementIndex < mElements.size() ? mElements[elementIndex] : nullptr;
    }
    // Throws -10877 when out of range. [any-thread]
    AUElement* SafeGetElement(UInt32 elementIndex) const
    {
        AUElement* element = GetElement(elementIndex);
        if (element == nullptr)
            ThrowInvalidElement();
        return element;
    }
    // Throws -10877 when missing or not a bus. [any-thread]
    AUIOElement* GetIOElement(UInt32 elementIndex) const;

    // [host-thread]
    bool HasElementWithName() const;
    // Adds {scope id: {element id: name}} when some element is named. [host-thread]
    void AddElementNamesToDict(CFMutableDictionaryRef& namesDict) const;
    // Names the elements that the dictionary's decimal keys select. [host-thread]
    void RestoreElementNames(CFDictionaryRef& nameDict) const;

    // Appends (scope, element, parameter block) for each element with parameters.
    // [host-thread]
    void SaveState(CFMutableDataRef data) const;
    // Restores or skips one element's block, starting at its element id; returns the position
    // after it. [host-thread]
    const UInt8* RestoreState(const UInt8* state) const;

private:
    [[noreturn]] static void ThrowInvalidElement();

    AUBase* mAudioUnit = nullptr;
    AudioUnitScope mScope = 0;
    std::vector<AUElement*> mElements;
};
