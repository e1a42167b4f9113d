#include "BundledUnit.h"

#include <AudioUnit/AudioUnitProperties.h>
#include <CoreFoundation/CFString.h>

#include <stdexcept>

namespace {

void Check(OSStatus status, const std::string& bundle, const std::string& what)
{
    if (status != noErr)
        throw std::runtime_error("the unit in " + bundle + " refused " + what + " (status " +
                                 std::to_string(status) + ")");
}

} // namespace

BundledUnit::BundledUnit(const std::string& componentBundle,
                         const AudioComponentDescription& description)
    : mBundle(componentBundle)
{
    const CFStringRef path =
        CFStringCreateWithCString(nullptr, componentBundle.c_str(), kCFStringEncodingUTF8);
    mComponent = path != nullptr ? AudioComponentFindInBundle(path, &description) : nullptr;
    if (path != nullptr)
        CFRelease(path);
    if (mComponent == nullptr)
        throw std::runtime_error("no unit in " + componentBundle);
    if (AudioComponentInstanceNew(mComponent, &mUnit) != noErr) {
        mUnit = nullptr;
        throw std::runtime_error("the unit in " + componentBundle + " does not open");
    }
}

BundledUnit::~BundledUnit()
{
    if (mInitialized)
        AudioUnitUninitialize(mUnit);
    AudioComponentInstanceDispose(mUnit);
}

void BundledUnit::Initialize(Float64 sampleRate, UInt32 maxFrames)
{
    Check(AudioUnitSetProperty(mUnit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0,
                               &sampleRate, sizeof sampleRate),
          mBundle, "the sample rate");
    Check(AudioUnitSetProperty(mUnit, kAudioUnitProperty_MaximumFramesPerSlice,
                               kAudioUnitScope_Global, 0, &maxFrames, sizeof maxFrames),
          mBundle, std::to_string(maxFrames) + " frames per render call");
    Check(AudioUnitInitialize(mUnit), mBundle, "to initialize");
    mInitialized = true;
}
