// Render calls at the rates and slice sizes hosts use, larger than prepared, and at random, with
// resets and re-initializations between them. A music device that is played nothing must be
// silent; every unit's output must be finite and free of denormals.
#include "CheckBodies.h"
#include "UnitUnderTest.h"

namespace {

constexpr Float64 kSampleRates[] = {44100, 48000, 96000, 192000};
constexpr UInt32 kSliceSizes[] = {1, 64, 256, 512, 1024, 4096};
constexpr int kSlicesEach = 4;
constexpr int kRandomSlices = 400;
constexpr int kResetEvery = 50;
constexpr OSType kMusicDeviceType = 0x61756d75; // 'aumu'

bool ExpectsSilence(AudioComponent component)
{
    AudioComponentDescription description{};
    AudioComponentGetDescription(component, &description);
    return description.componentType == kMusicDeviceType;
}

// Renders one slice and checks its status and output; false after a failure.
bool RenderChecked(ValidationContext& context, UnitUnderTest& unit, UInt32 frames, bool silence,
                   const std::string& where)
{
    const OSStatus status = unit.Render(frames);
    if (!context.Expect(status == noErr, where + ": a slice of " + std::to_string(frames) +
                                             " frames returned " + std::to_string(status)))
        return false;
    const std::string problem = unit.OutputProblem(silence);
    return context.Expect(problem.empty(), where + ": " + problem);
}

UInt32 MaximumFrames(const UnitUnderTest& unit)
{
    UInt32 frames = 0;
    UInt32 size = sizeof frames;
    AudioUnitGetProperty(unit.Unit(), kAudioUnitProperty_MaximumFramesPerSlice,
                         kAudioUnitScope_Global, 0, &frames, &size);
    return frames;
}

} // namespace

void CheckRenderGrid(ValidationContext& context)
{
    const bool silence = ExpectsSilence(context.Component());
    for (const Float64 rate : kSampleRates) {
        UnitUnderTest unit(context.Component());
        unit.Prepare(rate);
        const UInt32 maximum = MaximumFrames(unit);
        for (const UInt32 frames : kSliceSizes) {
            if (frames > maximum)
                continue;
            const std::string where = std::to_string(long(rate)) + " Hz";
            for (int slice = 0; slice < kSlicesEach; ++slice)
                if (!RenderChecked(context, unit, frames, silence, where))
                    return;
        }
    }
}

void CheckRenderTooManyFrames(ValidationContext& context)
{
    constexpr UInt32 kPrepared = 512;
    UnitUnderTest unit(context.Component());
    unit.Prepare(44100, kPrepared);
    const OSStatus status = unit.Render(kPrepared + 1);
    context.Expect(status == kAudioUnitErr_TooManyFramesToProcess,
                   "a slice of " + std::to_string(kPrepared + 1) + " frames with " +
                       std::to_string(kPrepared) + " prepared returned " + std::to_string(status) +
                       ", expected " + std::to_string(kAudioUnitErr_TooManyFramesToProcess));
    RenderChecked(context, unit, kPrepared, ExpectsSilence(context.Component()),
                  "after the refused slice");
}

void CheckRenderRandomSlices(ValidationContext& context)
{
    const bool silence = ExpectsSilence(context.Component());
    UnitUnderTest unit(context.Component());
    unit.Prepare();
    for (int slice = 1; slice <= kRandomSlices; ++slice) {
        const UInt32 frames = UInt32(context.RandomBetween(1, UnitUnderTest::kLargestSlice));
        if (!RenderChecked(context, unit, frames, silence, "random slice " + std::to_string(slice)))
            return;
        if (slice % kResetEvery == 0) {
            const OSStatus reset = unit.Reset();
            context.Expect(reset == noErr, "reset returned " + std::to_string(reset));
        }
        if (slice == kRandomSlices / 2) {
            const OSStatus uninitialize = unit.Uninitialize();
            context.Expect(uninitialize == noErr,
                           "uninitialize returned " + std::to_string(uninitialize));
            unit.Prepare();
        }
    }
}
