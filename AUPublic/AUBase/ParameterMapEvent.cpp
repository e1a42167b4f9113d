#include "ParameterMapEvent.h"

#include <algorithm>
#include <limits>

void ParameterMapEvent::SetScheduledEvent(const AudioUnitParameterEvent& event, UInt32 sliceOffset,
                                          UInt32 sliceDuration)
{
    mEventType = event.eventType;
    mSliceDurationFrames = sliceDuration;
    if (mEventType == kParameterEvent_Immediate) {
        // An immediate value holds for the whole slice.
        mStartBufferOffset = 0;
        mDurationInFrames = sliceDuration;
        mValue1 = mValue2 = event.eventValues.immediate.value;
    } else {
        mDurationInFrames = event.eventValues.ramp.durationInFrames;
        // A host may name any offset: the difference is taken in 64 bits and held at the
        // range's edge, so that it cannot overflow.
        const SInt64 offset =
            SInt64(event.eventValues.ramp.startBufferOffset) - SInt64(sliceOffset);
        mStartBufferOffset = static_cast<SInt32>(std::clamp<SInt64>(
            offset, std::numeric_limits<SInt32>::min(), std::numeric_limits<SInt32>::max()));
        mValue1 = event.eventValues.ramp.startValue;
        mValue2 = event.eventValues.ramp.endValue;
    }
}

void ParameterMapEvent::GetRampSliceStartEnd(AudioUnitParameterValue& outStartValue,
                                             AudioUnitParameterValue& outEndValue,
                                             AudioUnitParameterValue& outValuePerFrameDelta) const
{
    if (mEventType != kParameterEvent_Ramped || mDurationInFrames == 0) {
        // A ramp of no length has no slope and has already arrived at its end value (for an
        // immediate value the two are equal).
        outValuePerFrameDelta = 0;
        outStartValue = outEndValue = mValue2;
        return;
    }
    outValuePerFrameDelta = (mValue2 - mValue1) / static_cast<Float32>(mDurationInFrames);
    outStartValue =
        mValue1 + outValuePerFrameDelta * static_cast<Float32>(-SInt64(mStartBufferOffset));
    outEndValue =
        outStartValue + outValuePerFrameDelta * static_cast<Float32>(mSliceDurationFrames);
}
