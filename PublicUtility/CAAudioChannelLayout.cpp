#include "CAAudioChannelLayout.h"

#include "CA_calloc.h"
#include "CountOnes.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr UInt32 kHeaderBytes = offsetof(AudioChannelLayout, mChannelDescriptions);
constexpr UInt32 kMaxDescriptions = (UINT32_MAX - kHeaderBytes) / sizeof(AudioChannelDescription);

} // namespace

UInt32 CAAudioChannelLayout::CalculateByteSize(UInt32 numberChannelDescriptions)
{
    return kHeaderBytes + numberChannelDescriptions * sizeof(AudioChannelDescription);
}

AudioChannelLayout* CAAudioChannelLayout::Create(UInt32 numberChannelDescriptions)
{
    // A wrapped byte size would give a block too small for the descriptions written below.
    if (numberChannelDescriptions > kMaxDescriptions) {
        throw std::bad_alloc();
    }
    auto* layout = static_cast<AudioChannelLayout*>(
        CA_calloc(1, CalculateByteSize(numberChannelDescriptions)));
    SetAllToUnknown(*layout, numberChannelDescriptions);
    return layout;
}

void CAAudioChannelLayout::Destroy(AudioChannelLayout* layout)
{
    free(layout);
}

void CAAudioChannelLayout::SetAllToUnknown(AudioChannelLayout& layout,
                                           UInt32 numberChannelDescriptions)
{
    layout.mChannelLayoutTag = kAudioChannelLayoutTag_UseChannelDescriptions;
    layout.mChannelBitmap = 0;
    layout.mNumberChannelDescriptions = numberChannelDescriptions;
    AudioChannelDescription* descriptions = layout.mChannelDescriptions;
    for (UInt32 i = 0; i < numberChannelDescriptions; ++i) {
        descriptions[i] =
            AudioChannelDescription{kAudioChannelLabel_Unknown, 0, {0.0f, 0.0f, 0.0f}};
    }
}

UInt32 CAAudioChannelLayout::NumberChannels(const AudioChannelLayout& layout)
{
    switch (layout.mChannelLayoutTag) {
    case kAudioChannelLayoutTag_UseChannelDescriptions:
        return layout.mNumberChannelDescriptions;
    case kAudioChannelLayoutTag_UseChannelBitmap:
        return CountOnes(layout.mChannelBitmap);
    default:
        return AudioChannelLayoutTag_GetNumberOfChannels(layout.mChannelLayoutTag);
    }
}

bool operator==(const AudioChannelLayout& a, const AudioChannelLayout& b)
{
    const UInt32 size = CAAudioChannelLayout::CalculateByteSize(a.mNumberChannelDescriptions);
    return size == CAAudioChannelLayout::CalculateByteSize(b.mNumberChannelDescriptions) &&
           std::memcmp(&a, &b, size) == 0;
}

bool operator!=(const AudioChannelLayout& a, const AudioChannelLayout& b)
{
    return !(a == b);
}
