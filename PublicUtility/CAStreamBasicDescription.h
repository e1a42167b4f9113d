// A stream format: the platform's format record plus the predicates, wildcard comparisons,
// canonical forms, ordering and text forms (printing, naming, parsing) built on it.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>
#include <cstddef>

class CAStreamBasicDescription : public AudioStreamBasicDescription {
public:
    enum CommonPCMFormat {
        kCommonPCMFormat_Other = 0,
        kCommonPCMFormat_Float32 = 1,
        kCommonPCMFormat_Int16 = 2,
        kCommonPCMFormat_Fixed824 = 3,
        kCommonPCMFormat_Float64 = 4
    };

    static const char* sTextParsingUsageString;

    // [any-thread]
    CAStreamBasicDescription();
    // [any-thread]
    CAStreamBasicDescription(const AudioStreamBasicDescription& desc);
    // [any-thread]
    CAStreamBasicDescription(Float64 sampleRate, UInt32 formatID, UInt32 bytesPerPacket,
                             UInt32 framesPerPacket, UInt32 bytesPerFrame, UInt32 channelsPerFrame,
                             UInt32 bitsPerChannel, UInt32 formatFlags);

    // [any-thread]
    void SetFrom(const AudioStreamBasicDescription& desc);
    // 32-bit native float, packed; one buffer per channel unless interleaved. Keeps the rate.
    // [any-thread]
    void SetAUCanonical(UInt32 channels, bool interleaved);

    // [any-thread]
    bool IsPCM() const { return mFormatID == kAudioFormatLinearPCM; }
    // [any-thread]
    bool IsInterleaved() const { return (mFormatFlags & kAudioFormatFlagIsNonInterleaved) == 0; }
    // [any-thread]
    UInt32 NumberChannels() const { return mChannelsPerFrame; }
    // The number of buffers a buffer list of this format needs.
    // [any-thread]
    UInt32 NumberChannelStreams() const { return IsInterleaved() ? 1 : mChannelsPerFrame; }
    // The number of channels in each buffer.
    // [any-thread]
    UInt32 NumberInterleavedChannels() const { return IsInterleaved() ? mChannelsPerFrame : 1; }
    // [any-thread]
    UInt32 SampleWordSize() const;
    // Writes a note to standard error when asked of a non-PCM format, and still answers.
    // [any-thread]
    bool PackednessIsSignificant() const;
    // [any-thread]
    bool AlignmentIsSignificant() const;
    // Recognises the handful of sample formats that fast paths exist for; false when the
    // description is not a usable PCM format at all.
    // [any-thread]
    bool IdentifyCommonPCMFormat(CommonPCMFormat& outFormat, bool* outIsInterleaved) const;
    // With wildcards, a zero field matches anything (operator==); without, every field but
    // mReserved must be identical.
    // [any-thread]
    bool IsEqual(const AudioStreamBasicDescription& other, bool interpretingWildcards) const;
    // Always terminated when size > 0; pieces that do not fit are cut.
    // [any-thread]
    const char* AsString(char* buffer, size_t size, bool brief) const;

    // [any-thread]
    static void NormalizeLinearPCMFormat(AudioStreamBasicDescription& desc);
    // [any-thread]
    static void NormalizeLinearPCMFormat(bool nativeEndian, AudioStreamBasicDescription& desc);
    // [any-thread]
    static void ResetFormat(AudioStreamBasicDescription& desc);
    // Fills every zero field of desc from defaults.
    // [any-thread]
    static void FillOutFormat(AudioStreamBasicDescription& desc,
                              const AudioStreamBasicDescription& defaults);
    // Writes at most maxSize bytes, terminator included, whenever maxSize > 0.
    // [any-thread]
    static void GetSimpleName(const AudioStreamBasicDescription& desc, char* outName,
                              UInt32 maxSize, bool abbreviate, bool includeSampleRate);
    // [any-thread]
    static bool FlagIndependentEquivalence(const AudioStreamBasicDescription& a,
                                           const AudioStreamBasicDescription& b);
    // Like operator== but also ignores the flags a format converter does not care about.
    // [any-thread]
    static bool IsFunctionallyEquivalent(const AudioStreamBasicDescription& a,
                                         const AudioStreamBasicDescription& b);
    // Clears in flagsA and flagsB the bits that do not make two formats differ.
    // [any-thread]
    static void ModifyFormatFlagsForMatching(const AudioStreamBasicDescription& a,
                                             const AudioStreamBasicDescription& b, UInt32& flagsA,
                                             UInt32& flagsB, bool converterOnly);
    // Parses the text form described by sTextParsingUsageString; reports what is wrong on
    // standard error and answers false. out holds what was parsed up to the failure.
    // [any-thread]
    static bool FromText(const char* text, AudioStreamBasicDescription& out);
};

// Equality with wildcards.
// [any-thread]
bool operator==(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b);
// [any-thread]
inline bool operator!=(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b)
{
    return !(a == b);
}
// Orders PCM before other formats, then by mixability, integer before float, bit depth, rate
// and channel count; fields that are zero on either side are skipped.
// [any-thread]
bool operator<(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y);
// [any-thread]
bool SanityCheck(const AudioStreamBasicDescription& desc);
// 'abcd' when the four bytes are printable, else 0xHHHHHHHH; always terminated when size > 0.
// [any-thread]
char* CAStringForOSType(UInt32 code, char* buffer, size_t size);
