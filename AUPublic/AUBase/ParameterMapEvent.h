// One parameter's stored value and, for a ramped change, where the ramp stands relative to the
// slice being rendered.
#pragma once

#include <AudioUnit/AUComponent.h>

class ParameterMapEvent {
public:
    ParameterMapEvent() = default;
    explicit ParameterMapEvent(AudioUnitParameterValue value) : mValue1(value), mValue2(value) {}
    ParameterMapEvent(const AudioUnitParameterEvent& event, UInt32 sliceOffset,
                      UInt32 sliceDuration)
    {
        SetScheduledEvent(event, sliceOffset, sliceDuration);
    }

    // An immediate value: start and end are both `value`. [any-thread]
    void SetValue(AudioUnitParameterValue value)
    {
        mEventType = kParameterEvent_Immediate;
        mValue1 = mValue2 = value;
    }

    // Takes a scheduled event for a slice starting `sliceOffset` frames into the render call.
    // [render-thread]
    void SetScheduledEvent(const AudioUnitParameterEvent& event, UInt32 sliceOffset,
                           UInt32 sliceDuration);

    // The values at the slice's first and last frame and the change per frame. [render-thread]
    void GetRampSliceStartEnd(AudioUnitParameterValue& outStartValue,
                              AudioUnitParameterValue& outEndValue,
                              AudioUnitParameterValue& outValuePerFrameDelta) const;

    AUParameterEventType GetEventType() const { return mEventType; }
    AudioUnitParameterValue GetValue() const { return mValue1; }
    AudioUnitParameterValue GetEndValue() const { return mValue2; }
    SInt32 GetStartBufferOffset() const { return mStartBufferOffset; }
    UInt32 GetDurationInFrames() const { return mDurationInFrames; }
    UInt32 GetSliceDurationFrames() const { return mSliceDurationFrames; }

private:
    AUParameterEventType mEventType = kParameterEvent_Immediate;
    SInt32 mStartBufferOffset = 0;
    UInt32 mDurationInFrames = 0;
    AudioUnitParameterValue mValue1 = 0;
    AudioUnitParameterValue mValue2 = 0;
    UInt32 mSliceDurationFrames = 0;
};
