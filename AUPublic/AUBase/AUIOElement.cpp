#include "AUIOElement.h"

#include "AUBase.h"

namespace {
constexpr Float64 kDefaultSampleRate = 44100.0;
constexpr UInt32 kDefaultChannels = 2;
} // namespace

AUIOElement::AUIOElement(AUBase* audioUnit) : AUElement(audioUnit)
{
    AUBase::MakeCanonicalFormat(mStreamFormat, kDefaultChannels);
    mStreamFormat.mSampleRate = kDefaultSampleRate;
}

OSStatus AUIOElement::SetStreamFormat(const CAStreamBasicDescription& format)
{
    mStreamFormat = format;
    return noErr;
}

void AUIOElement::AllocateBuffer(UInt32 frames)
{
    if (!GetAudioUnit()->HasBegunInitializing())
        return;
    if (frames == 0)
        frames = GetAudioUnit()->GetMaxFramesPerSlice();
    mIOBuffer.Allocate(mStreamFormat, mWillAllocate && NeedsBufferSpace() ? frames : 0);
}

AudioBufferList& AUIOElement::PrepareBuffer(UInt32 frames)
{
    if (!mWillAllocate)
        throw static_cast<int>(kAudioUnitErr_InvalidPropertyValue);
    return mIOBuffer.PrepareBuffer(mStreamFormat, frames);
}

UInt32 AUIOElement::GetChannelLayoutTags(AudioChannelLayoutTag* /*outLayoutTags*/)
{
    return 0;
}

UInt32 AUIOElement::GetAudioChannelLayout(AudioChannelLayout* /*outLayout*/,
                                          Boolean& /*outWritable*/)
{
    return 0;
}

OSStatus AUIOElement::SetAudioChannelLayout(const AudioChannelLayout& /*layout*/)
{
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUIOElement::RemoveAudioChannelLayout()
{
    return kAudioUnitErr_InvalidPropertyValue;
}
