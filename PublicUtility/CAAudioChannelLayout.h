// Sizes, creation, comparison and channel counts of the platform's variable-length channel
// layout record.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>

class CAAudioChannelLayout {
public:
    // Bytes of a layout with that many channel descriptions.
    // [any-thread]
    static UInt32 CalculateByteSize(UInt32 numberChannelDescriptions);
    // A zeroed layout with every description unknown; release it with Destroy. Throws
    // std::bad_alloc when the size does not fit 32 bits or memory runs out.
    // [host-thread]
    static AudioChannelLayout* Create(UInt32 numberChannelDescriptions);
    // [host-thread]
    static void Destroy(AudioChannelLayout* layout);
    // Tag and bitmap 0, descriptions labelled unknown with no flags or coordinates.
    // [any-thread]
    static void SetAllToUnknown(AudioChannelLayout& layout, UInt32 numberChannelDescriptions);
    // Channels named by the descriptions, the bitmap or the tag, whichever the tag selects.
    // [any-thread]
    static UInt32 NumberChannels(const AudioChannelLayout& layout);
};

// Bytewise equality over the whole record, descriptions included.
// [any-thread]
bool operator==(const AudioChannelLayout& a, const AudioChannelLayout& b);
// [any-thread]
bool operator!=(const AudioChannelLayout& a, const AudioChannelLayout& b);
