// The render thread under the conditions of a live host: another thread automating parameters and
// reading properties while slices render, and what render asks of the allocator and of locks.
#include "CheckBodies.h"
#include "RealTimeProbe.h"
#include "UnitUnderTest.h"

#include <atomic>
#include <thread>

namespace {

constexpr int kSlices = 10000;
constexpr int kWarmUpSlices = 1000;
constexpr UInt32 kSliceFrames = 64;

// Parameter writes inside each range and property reads, from a thread of its own, until stopped.
class SecondThread {
public:
    SecondThread(ValidationContext& context, const UnitUnderTest& unit)
        : mContext(context), mUnit(unit), mRandom(context.Random()())
    {
        for (const ParameterAddress& address : unit.Parameters()) {
            AudioUnitParameterInfo info;
            if (unit.ParameterInfo(address, info) == noErr &&
                (info.flags & kAudioUnitParameterFlag_IsWritable) != 0)
                mParameters.push_back({address, info});
        }
        mThread = std::thread([this] { Run(); });
    }
    ~SecondThread() { Stop(); }

    // Stops the thread; the number of calls it made.
    long Stop()
    {
        mStop = true;
        if (mThread.joinable())
            mThread.join();
        return mCalls;
    }

private:
    struct Writable {
        ParameterAddress mAddress;
        AudioUnitParameterInfo mInfo;
    };

    void Run()
    {
        const AudioUnit unit = mUnit.Unit();
        while (!mStop) {
            for (const Writable& parameter : mParameters) {
                const Float32 value = std::uniform_real_distribution<Float32>(
                    parameter.mInfo.minValue, parameter.mInfo.maxValue)(mRandom);
                const OSStatus status = mUnit.SetParameter(parameter.mAddress, value);
                mContext.Expect(status == noErr,
                                parameter.mAddress.Text() + " set to " + std::to_string(value) +
                                    " during render returned " + std::to_string(status));
                ++mCalls;
            }
            UInt32 frames = 0;
            UInt32 size = sizeof frames;
            AudioUnitGetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice,
                                 kAudioUnitScope_Global, 0, &frames, &size);
            AudioStreamBasicDescription format{};
            size = sizeof format;
            AudioUnitGetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0,
                                 &format, &size);
            mUnit.CopyState();
            mUnit.Parameters();
            mCalls += 4;
        }
    }

    ValidationContext& mContext;
    const UnitUnderTest& mUnit;
    std::mt19937_64 mRandom;
    std::vector<Writable> mParameters;
    std::atomic<bool> mStop{false};
    long mCalls = 0;
    std::thread mThread;
};

// Renders `count` slices; false, with the failure recorded, at the first that fails.
bool RenderSlices(ValidationContext& context, UnitUnderTest& unit, int count)
{
    for (int slice = 0; slice < count; ++slice) {
        const OSStatus status = unit.Render(kSliceFrames);
        if (!context.Expect(status == noErr, "slice " + std::to_string(slice + 1) + " returned " +
                                                 std::to_string(status)))
            return false;
    }
    return true;
}

} // namespace

void CheckThreads(ValidationContext& context)
{
    UnitUnderTest unit(context.Component());
    unit.Prepare(44100, kSliceFrames);
    SecondThread second(context, unit);
    bool rendered = true;
    for (int slice = 1; slice <= kSlices && rendered; ++slice) {
        const OSStatus status = unit.Render(kSliceFrames);
        rendered =
            context.Expect(status == noErr, "slice " + std::to_string(slice) + " returned " +
                                                std::to_string(status)) &&
            context.Expect(unit.OutputProblem(false).empty(),
                           "slice " + std::to_string(slice) + ": " + unit.OutputProblem(false));
    }
    const long calls = second.Stop();
    context.Note(std::to_string(kSlices) + " slices, " + std::to_string(calls) +
                 " calls from the second thread");
}

void CheckRealTime(ValidationContext& context)
{
    if (!RealTimeProbe::Installed()) {
        context.Skip("this build cannot count allocations (a sanitizer owns the allocator)");
        return;
    }
    UnitUnderTest unit(context.Component());
    unit.Prepare(44100, kSliceFrames);
    if (!RenderSlices(context, unit, kWarmUpSlices))
        return;
    RealTimeProbe probe;
    for (int slice = 0; slice < kSlices; ++slice) {
        probe.Start();
        const OSStatus status = unit.Render(kSliceFrames);
        probe.Stop();
        if (!context.Expect(status == noErr, "slice " + std::to_string(slice + 1) + " returned " +
                                                 std::to_string(status)))
            return;
    }
    const RealTimeCounts& counts = probe.Counts();
    const std::string over = " on the render thread over " + std::to_string(kSlices) + " slices";
    context.Expect(counts.mAllocations == 0 && counts.mFrees == 0,
                   std::to_string(counts.mAllocations) + " allocations and " +
                       std::to_string(counts.mFrees) + " frees" + over);
    context.Expect(counts.mLocks == 0, std::to_string(counts.mLocks) + " blocking lock calls (" +
                                           std::to_string(counts.mWaits) + " of them waited)" +
                                           over);
    context.Note("no allocation and no lock" + over);
}
