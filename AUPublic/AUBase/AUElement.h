// One element of a scope: its parameter values, stored by index or in an ordered map, and its
// optional name. Buses (AUIOElement) and the instrument's groups and parts build on it.
#pragma once

#include "ParameterMapEvent.h"

#include <AudioUnit/AudioUnitProperties.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFString.h>

#include <map>
#include <vector>

class AUBase;
class AUIOElement;

class AUElement {
public:
    explicit AUElement(AUBase* audioUnit) : mAudioUnit(audioUnit) {}
    virtual ~AUElement();
    AUElement(const AUElement&) = delete;
    AUElement& operator=(const AUElement&) = delete;

    // [any-thread]
    virtual UInt32 GetNumberOfParameters();
    // Fills `outList` (sized from GetNumberOfParameters) with the ids in increasing order.
    // [host-thread]
    virtual void GetParameterList(AudioUnitParameterID* outList);
    // Switches to ids 0..count-1 in a vector; existing entries keep their values.
    // [host-thread & !initialized]
    virtual void UseIndexedParameters(int numberOfParameters);
    // The element as a bus, or null. [any-thread]
    virtual AUIOElement* AsIOElement() { return nullptr; }

    AUBase* GetAudioUnit() const { return mAudioUnit; }

    // Reads throw -10878 for an id the element does not hold. [any-thread]
    bool HasParameterID(AudioUnitParameterID paramID) const;
    AudioUnitParameterValue GetParameter(AudioUnitParameterID paramID) const;
    AudioUnitParameterValue GetEndValue(AudioUnitParameterID paramID) const;
    void GetRampSliceStartEnd(AudioUnitParameterID paramID, AudioUnitParameterValue& outStart,
                              AudioUnitParameterValue& outEnd,
                              AudioUnitParameterValue& outValuePerFrameDelta) const;

    // Stores an immediate value. A map element creates an unknown id, except while the unit is
    // initialized and the caller does not allow it: then a warning is printed and nothing
    // changes. [any-thread] (creation allocates: host-thread only)
    void SetParameter(AudioUnitParameterID paramID, AudioUnitParameterValue value,
                      bool okWhenInitialized = false);
    // Stores a scheduled event for the slice at `sliceOffset`, creating the id as SetParameter
    // does. [render-thread] (creation allocates: host-thread only)
    void SetScheduledEvent(AudioUnitParameterID paramID, const AudioUnitParameterEvent& event,
                           UInt32 sliceOffset, UInt32 sliceDuration,
                           bool okWhenInitialized = false);

    // The name is retained; null clears it. [host-thread]
    bool HasName() const { return mElementName != nullptr; }
    CFStringRef GetName() const { return mElementName; }
    void SetName(CFStringRef name);

    // Appends the count, then each (id, value) pair, all big-endian. [host-thread]
    void SaveState(CFMutableDataRef data);
    // Reads a block written by SaveState through this element's own SetParameter; returns the
    // position after it. [host-thread]
    const UInt8* RestoreState(const UInt8* state);

private:
    ParameterMapEvent& FindEvent(AudioUnitParameterID paramID);
    const ParameterMapEvent& FindEvent(AudioUnitParameterID paramID) const;
    // The record for a write: existing, or created when allowed; null when dropped.
    ParameterMapEvent* EventForWrite(AudioUnitParameterID paramID, bool okWhenInitialized,
                                     const char* operation);

    AUBase* mAudioUnit;
    std::map<AudioUnitParameterID, ParameterMapEvent> mParameters;
    bool mUseIndexedParameters = false;
    std::vector<ParameterMapEvent> mIndexedParameters;
    CFStringRef mElementName = nullptr;
};
