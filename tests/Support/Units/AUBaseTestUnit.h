// A small unit class for exercising AUBase directly: it records the hooks the framework calls,
// can be told what to answer, and renders a recognisable ramp into its output buffers without
// allocating. Shared by the unit-core tests, the allocation test and the render benchmark.
#pragma once

#include "AUBase.h"
#include "CAFlushDenormals.h"
#include "TestBuffers.h"
#include "ThrownStatus.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace aubase_test {

class TestUnit : public AUBase {
public:
    struct Slice {
        UInt32 start;
        UInt32 frames;
        Float32 value0; // global parameter 0 at the slice's first frame
        Float32 value1; // global parameter 1 at the slice's first frame
    };

    explicit TestUnit(UInt32 inputs = 1, UInt32 outputs = 1, UInt32 groups = 0)
        : AUBase(nullptr, inputs, outputs, groups)
    {
    }

    OSStatus Initialize() override
    {
        ++mInitializeCalls;
        return mInitializeResult;
    }
    void Cleanup() override { ++mCleanupCalls; }
    bool CanScheduleParameters() const override { return mCanSchedule; }
    bool StreamFormatWritable(AudioUnitScope, AudioUnitElement) override
    {
        return mStreamFormatWritable;
    }

    OSStatus SetParameter(AudioUnitParameterID inID, AudioUnitScope inScope,
                          AudioUnitElement inElement, AudioUnitParameterValue inValue,
                          UInt32 inBufferOffsetInFrames) override
    {
        mLastParameterOffset = inBufferOffsetInFrames;
        return AUBase::SetParameter(inID, inScope, inElement, inValue, inBufferOffsetInFrames);
    }

    // Writes sample n of channel c as n + 1000 c + mRenderCalls into the output's buffers (first
    // prepared as the unit's own with mRenderIntoOwnBuffers), then answers mRenderResult; a
    // failing render into the given buffers writes nothing.
    OSStatus Render(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp&,
                    UInt32 inNumberFrames) override
    {
        ++mRenderCalls;
        mRenderFlagsSeen = ioActionFlags;
        mControlRegisterSeen = GETCSR();
        if (mRenderThrows)
            ThrowAs(*mRenderThrows, mRenderThrownStatus);
        if (mRenderResult != noErr && !mRenderIntoOwnBuffers)
            return mRenderResult;
        AudioBufferList& list = mRenderIntoOwnBuffers ? GetOutput(0)->PrepareBuffer(inNumberFrames)
                                                      : GetOutput(0)->GetBufferList();
        for (UInt32 c = 0; c < list.mNumberBuffers; ++c) {
            auto* samples = static_cast<Float32*>(list.mBuffers[c].mData);
            for (UInt32 n = 0; n < inNumberFrames; ++n)
                samples[n] = Float32(n + 1000 * c + mRenderCalls);
        }
        return mRenderResult;
    }

    UInt32 GetChannelLayoutTags(AudioUnitScope scope, AudioUnitElement element,
                                AudioChannelLayoutTag* outLayoutTags) override
    {
        ++mLayoutTagQueries;
        if (mLayoutTags.empty())
            return AUBase::GetChannelLayoutTags(scope, element, outLayoutTags);
        if (outLayoutTags != nullptr)
            std::memcpy(outLayoutTags, mLayoutTags.data(),
                        mLayoutTags.size() * sizeof(AudioChannelLayoutTag));
        return static_cast<UInt32>(mLayoutTags.size());
    }

    OSStatus ProcessScheduledSlice(void*, UInt32 inStartFrameInBuffer,
                                   UInt32 inSliceFramesToProcess, UInt32) override
    {
        Float32 start0 = 0, start1 = 0, end = 0, delta = 0;
        if (Globals()->HasParameterID(0))
            Globals()->GetRampSliceStartEnd(0, start0, end, delta);
        if (Globals()->HasParameterID(1))
            Globals()->GetRampSliceStartEnd(1, start1, end, delta);
        mSlices.push_back({inStartFrameInBuffer, inSliceFramesToProcess, start0, start1});
        return mSlices.size() == mFailAtSlice ? OSStatus(-123) : OSStatus(noErr);
    }

    OSStatus ProcessBufferLists(AudioUnitRenderActionFlags&, const AudioBufferList&,
                                AudioBufferList&, UInt32 inFramesToProcess) override
    {
        ++mProcessCalls;
        mLastProcessFrames = inFramesToProcess;
        if (mRenderThrows)
            ThrowAs(*mRenderThrows, mRenderThrownStatus);
        return noErr;
    }

    // Exposed for tests of the render cycle's parts.
    using AUBase::GetParamEventList;
    using AUBase::NeedsToRender;
    using AUBase::RenderCallbackList;
    using AUBase::SetRenderError;
    using AUBase::TakeLastRenderError;

    OSStatus mInitializeResult = noErr;
    OSStatus mRenderResult = noErr;
    bool mRenderIntoOwnBuffers = false;
    bool mCanSchedule = false;
    bool mStreamFormatWritable = true;
    int mInitializeCalls = 0;
    int mCleanupCalls = 0;
    int mRenderCalls = 0;
    int mProcessCalls = 0;
    int mLayoutTagQueries = 0;
    UInt32 mLastProcessFrames = 0;
    UInt32 mLastParameterOffset = 0;
    AudioUnitRenderActionFlags mRenderFlagsSeen = 0;
    int mControlRegisterSeen = 0;
    // What Render and ProcessBufferLists throw, if anything; a status is mRenderThrownStatus.
    std::optional<ThrowKind> mRenderThrows;
    int mRenderThrownStatus = 0;
    std::vector<AudioChannelLayoutTag> mLayoutTags;
    std::vector<Slice> mSlices;
    size_t mFailAtSlice = 0;
};

using test_support::SampleTime;
using test_support::TestBuffers;

// A test unit with its elements made, as an open leaves a unit.
inline std::unique_ptr<TestUnit> MakeUnit(UInt32 inputs = 1, UInt32 outputs = 1, UInt32 groups = 0)
{
    auto unit = std::make_unique<TestUnit>(inputs, outputs, groups);
    unit->PostConstructor();
    return unit;
}

} // namespace aubase_test
