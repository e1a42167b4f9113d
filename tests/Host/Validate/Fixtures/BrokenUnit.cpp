// A fixture unit for the validator's own tests: the MIDI output unit with the one flaw that
// BROKEN_UNIT_FLAW names, exported as BrokenUnitFactory.
#include "BrokenUnit.h"

#include "APFactory.h"
#include "AUPlugInDispatch.h"
#include "PlenkoOut.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// Where the scratch block goes, so that the allocation cannot be optimized away.
void* volatile sScratch = nullptr;
std::mutex sSettingsMutex;

constexpr UInt16 kInPlaceAnswer = 1;

class BrokenUnit : public PlenkoOut {
public:
    using PlenkoOut::PlenkoOut;

    OSStatus Render(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& inTimeStamp,
                    UInt32 inNumberFrames) override
    {
        if (BROKEN_UNIT_FLAW == kAllocatesInRender) {
            sScratch = std::malloc(inNumberFrames * sizeof(Float32));
            std::free(sScratch);
        }
        if (BROKEN_UNIT_FLAW == kLocksInRender) {
            const std::lock_guard<std::mutex> lock(sSettingsMutex);
            return PlenkoOut::Render(ioActionFlags, inTimeStamp, inNumberFrames);
        }
        return PlenkoOut::Render(ioActionFlags, inTimeStamp, inNumberFrames);
    }

    OSStatus GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                             AudioUnitElement inElement, UInt32& outDataSize,
                             Boolean& outWritable) override
    {
        if (BROKEN_UNIT_FLAW == kWrongPropertySize && AnswersInPlace(inID, inScope)) {
            outDataSize = sizeof kInPlaceAnswer;
            outWritable = false;
            return noErr;
        }
        return PlenkoOut::GetPropertyInfo(inID, inScope, inElement, outDataSize, outWritable);
    }

    OSStatus GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                         AudioUnitElement inElement, void* outData) override
    {
        if (BROKEN_UNIT_FLAW == kWrongPropertySize && AnswersInPlace(inID, inScope)) {
            std::memcpy(outData, &kInPlaceAnswer, sizeof kInPlaceAnswer);
            return noErr;
        }
        return PlenkoOut::GetProperty(inID, inScope, inElement, outData);
    }

    OSStatus RestoreState(CFPropertyListRef plist) override
    {
        const Float32 channel = Globals()->GetParameter(kParameterTXChannel);
        const OSStatus status = PlenkoOut::RestoreState(plist);
        if (BROKEN_UNIT_FLAW == kForgetsOnRestore)
            Globals()->SetParameter(kParameterTXChannel, channel);
        return status;
    }

    OSStatus SetParameter(AudioUnitParameterID inID, AudioUnitScope inScope,
                          AudioUnitElement inElement, AudioUnitParameterValue inValue,
                          UInt32 inBufferOffsetInFrames) override
    {
        if (BROKEN_UNIT_FLAW == kAbortsOnNaNParameter && std::isnan(inValue))
            std::abort();
        if (BROKEN_UNIT_FLAW == kLocksInRender) {
            const std::lock_guard<std::mutex> lock(sSettingsMutex);
            return PlenkoOut::SetParameter(inID, inScope, inElement, inValue,
                                           inBufferOffsetInFrames);
        }
        return PlenkoOut::SetParameter(inID, inScope, inElement, inValue, inBufferOffsetInFrames);
    }

private:
    static bool AnswersInPlace(AudioUnitPropertyID id, AudioUnitScope scope)
    {
        return id == kAudioUnitProperty_InPlaceProcessing && scope == kAudioUnitScope_Global;
    }
};

} // namespace

extern "C" __attribute__((visibility("default"))) AudioComponentPlugInInterface*
BrokenUnitFactory(const AudioComponentDescription* inDesc)
{
    return APFactory<AUMusicLookup, BrokenUnit>::Factory(inDesc);
}
