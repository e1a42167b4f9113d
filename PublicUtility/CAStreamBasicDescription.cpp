#include "CAStreamBasicDescription.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>

const char* CAStreamBasicDescription::sTextParsingUsageString =
    "format[@sample_rate_hz][/format_flags][#frames_per_packet][:LHbytesPerFrame][,channelsDI].\n"
    "Format for PCM is [-][BE|LE]{F|I|UI}{bitdepth}; else a 4-char format code (e.g. aac, "
    "alac).\n";

namespace {

// Appends formatted pieces to a caller's buffer without ever passing its end; once a piece is
// cut short, later pieces are dropped. The text stays terminated whenever the buffer has room
// for at least the terminator.
class BoundedText {
public:
    BoundedText(char* buffer, size_t size) : mNext(buffer), mRoom(size) {}

    __attribute__((format(printf, 2, 3))) void Append(const char* format, ...)
    {
        if (mRoom == 0) {
            return;
        }
        va_list args;
        va_start(args, format);
        const int written = vsnprintf(mNext, mRoom, format, args);
        va_end(args);
        if (written < 0 || static_cast<size_t>(written) >= mRoom) {
            mRoom = 0;
            return;
        }
        mNext += written;
        mRoom -= static_cast<size_t>(written);
    }

private:
    char* mNext;
    size_t mRoom;
};

constexpr UInt32 kFractionMask = kLinearPCMFormatFlagsSampleFractionMask;
constexpr UInt32 kFractionShift = kLinearPCMFormatFlagsSampleFractionShift;

UInt32 FractionBits(UInt32 flags)
{
    return (flags & kFractionMask) >> kFractionShift;
}

bool FieldsMatchOrWildcard(UInt32 a, UInt32 b)
{
    return a == 0 || b == 0 || a == b;
}

bool MatchFormatFlags(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b)
{
    UInt32 flagsA = a.mFormatFlags;
    UInt32 flagsB = b.mFormatFlags;
    CAStreamBasicDescription::ModifyFormatFlagsForMatching(a, b, flagsA, flagsB, false);
    return flagsA == flagsB;
}

void ClearInBoth(UInt32& flagsA, UInt32& flagsB, UInt32 bits)
{
    flagsA &= ~bits;
    flagsB &= ~bits;
}

// Reads digits of the given base (10 or 16); saturates instead of overflowing, so that any
// text parses to some value.
UInt64 ReadNumber(const char*& p, int base)
{
    UInt64 value = 0;
    for (;; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        unsigned digit;
        if (isdigit(c)) {
            digit = c - '0';
        } else if (base == 16 && isxdigit(c)) {
            digit = static_cast<unsigned>(tolower(c) - 'a' + 10);
        } else {
            return value;
        }
        value = value > (UINT64_MAX - digit) / static_cast<UInt64>(base)
                    ? UINT64_MAX
                    : value * static_cast<UInt64>(base) + digit;
    }
}

int HexDigitValue(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    if (!isxdigit(u)) {
        return -1;
    }
    return isdigit(u) ? u - '0' : tolower(u) - 'a' + 10;
}

// Reads a four-character code, where "\xHH" stands for one byte and a three-character text
// (such as "aac") gets a trailing space. Returns false when the code cannot be read.
bool ReadFormatCode(const char*& p, UInt32& outCode)
{
    char code[4] = {' ', ' ', ' ', ' '};
    bool lastWasLiteral = true;
    for (int i = 0; i < 4; ++i) {
        if (*p == '\\') {
            if (p[1] != 'x') {
                return false;
            }
            const int high = HexDigitValue(p[2]);
            const int low = high < 0 ? -1 : HexDigitValue(p[3]);
            if (low < 0) {
                return false;
            }
            code[i] = static_cast<char>(high * 16 + low);
            p += 4;
            lastWasLiteral = false;
        } else if (*p == '\0') {
            if (i != 3) {
                return false;
            }
            break;
        } else {
            code[i] = *p++;
            lastWasLiteral = true;
        }
    }
    // "aac@44100": a three-letter code runs straight into the next field.
    const char last = code[3];
    if (lastWasLiteral && (last == '-' || last == '@' || last == '/' || last == '#')) {
        code[3] = ' ';
        --p;
    }
    outCode = 0;
    for (char c : code) {
        outCode = (outCode << 8) | static_cast<unsigned char>(c);
    }
    return true;
}

// ---- Reading a format from text ----

// The kind of sample a format text starts with: an optional '-', a byte order ("BE" or "LE"),
// then 'F' for float or an optional 'U' and an 'I' for integer, which leave `pcmFlags` saying so.
// Any other start is a format code, read from the text's beginning into `formatID`, and the
// format is not PCM. False when that code cannot be read.
bool ReadSampleKind(const char* text, const char*& p, bool& isPCM, UInt32& pcmFlags,
                    UInt32& formatID)
{
    if (*p == '-') {
        ++p;
    }
    if (p[0] == 'B' && p[1] == 'E') {
        pcmFlags |= kAudioFormatFlagIsBigEndian;
        p += 2;
    } else if (p[0] == 'L' && p[1] == 'E') {
        p += 2;
    }
    if (*p == 'F') {
        pcmFlags = (pcmFlags & ~kAudioFormatFlagIsSignedInteger) | kAudioFormatFlagIsFloat;
        ++p;
        return true;
    }
    if (*p == 'U') {
        pcmFlags &= ~kAudioFormatFlagIsSignedInteger;
        ++p;
    }
    if (*p == 'I') {
        ++p;
        return true;
    }
    isPCM = false;
    p = text;
    return ReadFormatCode(p, formatID);
}

// A PCM format's bit depth, with "." and the fraction bits of a fixed-point format; one
// channel of one frame a packet until the text says otherwise. False for a '.' without digits.
bool ReadPCMDepth(const char*& p, UInt32 pcmFlags, AudioStreamBasicDescription& out)
{
    out.mFormatID = kAudioFormatLinearPCM;
    out.mFormatFlags = pcmFlags;
    out.mFramesPerPacket = 1;
    out.mChannelsPerFrame = 1;
    UInt32 bitDepth = static_cast<UInt32>(ReadNumber(p, 10));
    if (*p == '.') {
        ++p;
        if (!isdigit(static_cast<unsigned char>(*p))) {
            fprintf(stderr, "Expected fractional bits following '.'\n");
            return false;
        }
        const UInt32 fractionBits = static_cast<UInt32>(ReadNumber(p, 10));
        bitDepth += fractionBits;
        out.mFormatFlags |= fractionBits << kFractionShift;
    }
    out.mBitsPerChannel = bitDepth;
    out.mBytesPerFrame = out.mBytesPerPacket = bitDepth / 8 + ((bitDepth & 7) != 0 ? 1 : 0);
    if (bitDepth & 7) {
        out.mFormatFlags =
            (out.mFormatFlags & ~kAudioFormatFlagIsPacked) | kAudioFormatFlagIsAlignedHigh;
    }
    return true;
}

// The fields a format text may name after its kind, each behind its own mark: "@" sample rate,
// "/" flags in hex, "#" frames per packet.
void ReadRateFlagsAndPacketFrames(const char*& p, AudioStreamBasicDescription& out)
{
    if (*p == '@') {
        ++p;
        out.mSampleRate = static_cast<Float64>(ReadNumber(p, 10));
    }
    if (*p == '/') {
        ++p;
        out.mFormatFlags = static_cast<UInt32>(ReadNumber(p, 16));
    }
    if (*p == '#') {
        ++p;
        out.mFramesPerPacket = static_cast<UInt32>(ReadNumber(p, 10));
    }
}

// ":L" or ":H" and a byte count: unpacked samples aligned low or high in frames of that size.
// False for another alignment letter.
bool ReadAlignment(const char*& p, AudioStreamBasicDescription& out)
{
    if (*p != ':') {
        return true;
    }
    ++p;
    out.mFormatFlags &= ~kAudioFormatFlagIsPacked;
    if (*p == 'L') {
        out.mFormatFlags &= ~kAudioFormatFlagIsAlignedHigh;
    } else if (*p == 'H') {
        out.mFormatFlags |= kAudioFormatFlagIsAlignedHigh;
    } else {
        return false;
    }
    ++p;
    out.mBytesPerFrame = out.mBytesPerPacket = static_cast<UInt32>(ReadNumber(p, 10));
    return true;
}

// "," and a channel count, then "D" for non-interleaved (PCM only) or an optional "I" for
// interleaved, whose PCM frames grow by the count. False for "D" on a format that is not PCM.
bool ReadChannels(const char*& p, bool isPCM, AudioStreamBasicDescription& out)
{
    if (*p != ',') {
        return true;
    }
    ++p;
    out.mChannelsPerFrame = static_cast<UInt32>(ReadNumber(p, 10));
    if (*p == 'D') {
        ++p;
        if (!isPCM) {
            fprintf(stderr, "non-interleaved flag invalid for non-PCM formats\n");
            return false;
        }
        out.mFormatFlags |= kAudioFormatFlagIsNonInterleaved;
        return true;
    }
    if (*p == 'I') {
        ++p;
    }
    if (isPCM) {
        out.mBytesPerPacket = out.mBytesPerFrame *= out.mChannelsPerFrame;
    }
    return true;
}

bool RefuseFormatText(const char* text)
{
    fprintf(stderr, "Invalid format string: %s\n", text);
    fprintf(stderr, "Syntax of format strings is: \n");
    return false;
}

} // namespace

CAStreamBasicDescription::CAStreamBasicDescription() : AudioStreamBasicDescription{} {}

CAStreamBasicDescription::CAStreamBasicDescription(const AudioStreamBasicDescription& desc)
{
    SetFrom(desc);
}

CAStreamBasicDescription::CAStreamBasicDescription(Float64 sampleRate, UInt32 formatID,
                                                   UInt32 bytesPerPacket, UInt32 framesPerPacket,
                                                   UInt32 bytesPerFrame, UInt32 channelsPerFrame,
                                                   UInt32 bitsPerChannel, UInt32 formatFlags)
{
    mSampleRate = sampleRate;
    mFormatID = formatID;
    mBytesPerPacket = bytesPerPacket;
    mFramesPerPacket = framesPerPacket;
    mBytesPerFrame = bytesPerFrame;
    mChannelsPerFrame = channelsPerFrame;
    mBitsPerChannel = bitsPerChannel;
    mFormatFlags = formatFlags;
    mReserved = 0;
}

void CAStreamBasicDescription::SetFrom(const AudioStreamBasicDescription& desc)
{
    std::memcpy(static_cast<AudioStreamBasicDescription*>(this), &desc, sizeof(desc));
}

void CAStreamBasicDescription::SetAUCanonical(UInt32 channels, bool interleaved)
{
    mFormatID = kAudioFormatLinearPCM;
    mFormatFlags = kAudioFormatFlagsCanonical;
    mChannelsPerFrame = channels;
    mFramesPerPacket = 1;
    mBitsPerChannel = 32;
    if (interleaved) {
        mBytesPerPacket = mBytesPerFrame = channels * sizeof(Float32);
    } else {
        mBytesPerPacket = mBytesPerFrame = sizeof(Float32);
        mFormatFlags |= kAudioFormatFlagIsNonInterleaved;
    }
}

UInt32 CAStreamBasicDescription::SampleWordSize() const
{
    const UInt32 channelsPerBuffer = NumberInterleavedChannels();
    return (mBytesPerFrame > 0 && channelsPerBuffer > 0) ? mBytesPerFrame / channelsPerBuffer : 0;
}

bool CAStreamBasicDescription::PackednessIsSignificant() const
{
    if (!IsPCM()) {
        fprintf(stderr, "PackednessIsSignificant only applies for PCM\n");
    }
    return SampleWordSize() * 8 != mBitsPerChannel;
}

bool CAStreamBasicDescription::AlignmentIsSignificant() const
{
    return PackednessIsSignificant() || (mBitsPerChannel & 7) != 0;
}

bool CAStreamBasicDescription::IdentifyCommonPCMFormat(CommonPCMFormat& outFormat,
                                                       bool* outIsInterleaved) const
{
    outFormat = kCommonPCMFormat_Other;
    if (mFormatID != kAudioFormatLinearPCM || mFramesPerPacket != 1 ||
        mBytesPerFrame != mBytesPerPacket || mBitsPerChannel / 8 > mBytesPerFrame ||
        mChannelsPerFrame == 0) {
        return false;
    }
    const bool interleaved = IsInterleaved();
    if (outIsInterleaved != nullptr) {
        *outIsInterleaved = interleaved;
    }
    UInt32 wordSize = mBytesPerFrame;
    if (interleaved) {
        if (wordSize % mChannelsPerFrame != 0) {
            return false;
        }
        wordSize /= mChannelsPerFrame;
    }
    if ((mFormatFlags & kAudioFormatFlagIsBigEndian) || wordSize * 8 != mBitsPerChannel) {
        return true;
    }
    const UInt32 fraction = FractionBits(mFormatFlags);
    if (mFormatFlags & kAudioFormatFlagIsFloat) {
        if ((mFormatFlags & kAudioFormatFlagIsSignedInteger) || fraction != 0) {
            return false;
        }
        if (wordSize == 4) {
            outFormat = kCommonPCMFormat_Float32;
        } else if (wordSize == 8) {
            outFormat = kCommonPCMFormat_Float64;
        }
        return true;
    }
    if (mFormatFlags & kAudioFormatFlagIsSignedInteger) {
        if (wordSize == 4 && fraction == 24) {
            outFormat = kCommonPCMFormat_Fixed824;
        } else if (wordSize == 2 && fraction == 0) {
            outFormat = kCommonPCMFormat_Int16;
        }
    }
    return true;
}

bool CAStreamBasicDescription::IsEqual(const AudioStreamBasicDescription& other,
                                       bool interpretingWildcards) const
{
    if (interpretingWildcards) {
        return *this == other;
    }
    return std::memcmp(static_cast<const AudioStreamBasicDescription*>(this), &other,
                       offsetof(AudioStreamBasicDescription, mReserved)) == 0;
}

const char* CAStreamBasicDescription::AsString(char* buffer, size_t size, bool brief) const
{
    char formatID[24];
    CAStringForOSType(mFormatID, formatID, sizeof(formatID));
    BoundedText text(buffer, size);

    if (brief) {
        CommonPCMFormat common;
        bool interleaved;
        if (IdentifyCommonPCMFormat(common, &interleaved) && common != kCommonPCMFormat_Other) {
            static const char* const kNames[] = {nullptr, "Float32", "Int16", "Int8.24", "Float64"};
            const char* layout =
                mChannelsPerFrame <= 1 ? "" : (interleaved ? ", inter" : ", non-inter");
            text.Append("%2d ch, %6.0f Hz, %s%s", static_cast<int>(mChannelsPerFrame), mSampleRate,
                        kNames[common], layout);
            return buffer;
        }
        if (mChannelsPerFrame == 0 && mSampleRate == 0.0 && mFormatID == 0) {
            text.Append("%2d ch, %6.0f Hz", static_cast<int>(mChannelsPerFrame), mSampleRate);
            return buffer;
        }
    }

    text.Append("%2d ch, %6.0f Hz, %s (0x%08X) ", static_cast<int>(NumberChannels()), mSampleRate,
                formatID, static_cast<unsigned>(mFormatFlags));
    if (mFormatID == kAudioFormatLinearPCM) {
        const bool isInt = (mFormatFlags & kAudioFormatFlagIsFloat) == 0;
        const int wordSize = static_cast<int>(SampleWordSize());
        const UInt32 fraction = FractionBits(mFormatFlags);
        char bitDepth[24];
        if (fraction > 0) {
            snprintf(bitDepth, sizeof(bitDepth), "%d.%d",
                     static_cast<int>(mBitsPerChannel - fraction), static_cast<int>(fraction));
        } else {
            snprintf(bitDepth, sizeof(bitDepth), "%d", static_cast<int>(mBitsPerChannel));
        }
        const char* endian = "";
        if (wordSize >= 2) {
            endian =
                (mFormatFlags & kAudioFormatFlagIsBigEndian) ? " big-endian" : " little-endian";
        }
        const char* sign = "";
        if (isInt) {
            sign = (mFormatFlags & kAudioFormatFlagIsSignedInteger) ? " signed" : " unsigned";
        }
        char packing[32] = "";
        if (wordSize > 0 && PackednessIsSignificant()) {
            snprintf(packing, sizeof(packing), "%s in %d bytes",
                     (mFormatFlags & kAudioFormatFlagIsPacked) ? "packed" : "unpacked", wordSize);
        }
        const char* alignment = "";
        if (wordSize > 0 && AlignmentIsSignificant()) {
            alignment =
                (mFormatFlags & kAudioFormatFlagIsAlignedHigh) ? " high-aligned" : " low-aligned";
        }
        const char* separator = (packing[0] != '\0' || alignment[0] != '\0') ? ", " : "";
        text.Append("%s-bit%s%s %s%s%s%s%s", bitDepth, endian, sign, isInt ? "integer" : "float",
                    separator, packing, alignment, IsInterleaved() ? "" : ", deinterleaved");
    } else if (mFormatID == kAudioFormatLosslessALAC) {
        static const int kSourceDepths[] = {16, 20, 24, 32};
        if (mFormatFlags >= kLosslessFormatFlag_16BitSourceData &&
            mFormatFlags <= kLosslessFormatFlag_32BitSourceData) {
            text.Append("from %d-bit source, ", kSourceDepths[mFormatFlags - 1]);
        } else {
            text.Append("from UNKNOWN source bit depth, ");
        }
        text.Append("%d frames/packet", static_cast<int>(mFramesPerPacket));
    } else {
        text.Append("%d bits/channel, %d bytes/packet, %d frames/packet, %d bytes/frame",
                    static_cast<int>(mBitsPerChannel), static_cast<int>(mBytesPerPacket),
                    static_cast<int>(mFramesPerPacket), static_cast<int>(mBytesPerFrame));
    }
    return buffer;
}

void CAStreamBasicDescription::NormalizeLinearPCMFormat(AudioStreamBasicDescription& desc)
{
    NormalizeLinearPCMFormat(true, desc);
}

void CAStreamBasicDescription::NormalizeLinearPCMFormat(bool nativeEndian,
                                                        AudioStreamBasicDescription& desc)
{
    if (desc.mFormatID != kAudioFormatLinearPCM ||
        (desc.mFormatFlags & kAudioFormatFlagIsNonMixable)) {
        return;
    }
    desc.mFormatFlags = kAudioFormatFlagsCanonical;
    if (!nativeEndian) {
        desc.mFormatFlags |= kAudioFormatFlagIsBigEndian;
    }
    desc.mBytesPerPacket = desc.mBytesPerFrame = sizeof(Float32) * desc.mChannelsPerFrame;
    desc.mFramesPerPacket = 1;
    desc.mBitsPerChannel = 32;
}

void CAStreamBasicDescription::ResetFormat(AudioStreamBasicDescription& desc)
{
    desc.mSampleRate = 0.0;
    desc.mFormatID = 0;
    desc.mFormatFlags = 0;
    desc.mBytesPerPacket = 0;
    desc.mFramesPerPacket = 0;
    desc.mBytesPerFrame = 0;
    desc.mChannelsPerFrame = 0;
    desc.mBitsPerChannel = 0;
}

void CAStreamBasicDescription::FillOutFormat(AudioStreamBasicDescription& desc,
                                             const AudioStreamBasicDescription& defaults)
{
    if (desc.mSampleRate == 0.0) {
        desc.mSampleRate = defaults.mSampleRate;
    }
    UInt32 AudioStreamBasicDescription::*const kCountFields[] = {
        &AudioStreamBasicDescription::mFormatID,
        &AudioStreamBasicDescription::mFormatFlags,
        &AudioStreamBasicDescription::mBytesPerPacket,
        &AudioStreamBasicDescription::mFramesPerPacket,
        &AudioStreamBasicDescription::mBytesPerFrame,
        &AudioStreamBasicDescription::mChannelsPerFrame,
        &AudioStreamBasicDescription::mBitsPerChannel};
    for (auto field : kCountFields) {
        if (desc.*field == 0) {
            desc.*field = defaults.*field;
        }
    }
}

void CAStreamBasicDescription::GetSimpleName(const AudioStreamBasicDescription& desc, char* outName,
                                             UInt32 maxSize, bool abbreviate,
                                             bool includeSampleRate)
{
    BoundedText text(outName, maxSize);
    if (includeSampleRate) {
        text.Append("%.0f ", desc.mSampleRate);
    }
    switch (desc.mFormatID) {
    case kAudioFormatAC3:
        text.Append("AC-3");
        return;
    case kAudioFormat60958AC3:
        text.Append("AC-3 for SPDIF");
        return;
    case kAudioFormatLinearPCM:
        break;
    default:
        text.Append("%c%c%c%c", static_cast<char>(desc.mFormatID >> 24),
                    static_cast<char>(desc.mFormatID >> 16), static_cast<char>(desc.mFormatID >> 8),
                    static_cast<char>(desc.mFormatID));
        return;
    }

    const UInt32 flags = desc.mFormatFlags;
    const bool bigEndian = (flags & kAudioFormatFlagIsBigEndian) != 0;
    const bool packed = (flags & kAudioFormatFlagIsPacked) != 0;
    const char* kind;
    if (flags & kAudioFormatFlagIsFloat) {
        kind = abbreviate ? "Float" : "Floating Point";
    } else if (flags & kAudioFormatFlagIsSignedInteger) {
        kind = abbreviate ? "SInt" : "Signed Integer";
    } else {
        kind = abbreviate ? "UInt" : "Unsigned Integer";
    }
    const char* alignment =
        packed ? "" : ((flags & kAudioFormatFlagIsAlignedHigh) ? "High" : "Low");
    const char* mixability = (flags & kAudioFormatFlagIsNonMixable) ? "Unmixable" : "Mixable";
    const int channels = static_cast<int>(desc.mChannelsPerFrame);
    const int bits = static_cast<int>(desc.mBitsPerChannel);
    // A format without a channel count has no known container size.
    const int container =
        channels == 0 ? 0 : static_cast<int>(desc.mBytesPerFrame / desc.mChannelsPerFrame * 8);
    const char* endianName = "Big Endian";

    if (!abbreviate) {
        if (bigEndian && !packed) {
            text.Append("%s %d Channel %d Bit %s %s Aligned %s in %d Bits", mixability, channels,
                        bits, endianName, kind, alignment, container);
        } else if (bigEndian) {
            text.Append("%s %d Channel %d Bit %s %s", mixability, channels, bits, endianName, kind);
        } else if (!packed) {
            text.Append("%s %d Channel %d Bit %s Aligned %s in %d Bits", mixability, channels, bits,
                        kind, alignment, container);
        } else {
            text.Append("%s %d Channel %d Bit %s", mixability, channels, bits, kind);
        }
    } else {
        if (bigEndian && !packed) {
            text.Append("%s %d Ch %s %s %s%d/%s%d", mixability, channels, endianName, alignment,
                        kind, bits, kind, container);
        } else if (bigEndian) {
            text.Append("%s %d Ch %s %s%d", mixability, channels, endianName, kind, bits);
        } else if (!packed) {
            text.Append("%s %d Ch %s %s%d/%s%d", mixability, channels, alignment, kind, bits, kind,
                        container);
        } else {
            text.Append("%s %d Ch %s%d", mixability, channels, kind, bits);
        }
    }
}

bool CAStreamBasicDescription::FlagIndependentEquivalence(const AudioStreamBasicDescription& a,
                                                          const AudioStreamBasicDescription& b)
{
    return (a.mSampleRate == 0.0 || b.mSampleRate == 0.0 || a.mSampleRate == b.mSampleRate) &&
           FieldsMatchOrWildcard(a.mFormatID, b.mFormatID) &&
           FieldsMatchOrWildcard(a.mBytesPerPacket, b.mBytesPerPacket) &&
           FieldsMatchOrWildcard(a.mFramesPerPacket, b.mFramesPerPacket) &&
           FieldsMatchOrWildcard(a.mBytesPerFrame, b.mBytesPerFrame) &&
           FieldsMatchOrWildcard(a.mChannelsPerFrame, b.mChannelsPerFrame) &&
           FieldsMatchOrWildcard(a.mBitsPerChannel, b.mBitsPerChannel);
}

bool CAStreamBasicDescription::IsFunctionallyEquivalent(const AudioStreamBasicDescription& a,
                                                        const AudioStreamBasicDescription& b)
{
    UInt32 flagsA = a.mFormatFlags;
    UInt32 flagsB = b.mFormatFlags;
    ModifyFormatFlagsForMatching(a, b, flagsA, flagsB, true);
    return FlagIndependentEquivalence(a, b) && flagsA == flagsB;
}

void CAStreamBasicDescription::ModifyFormatFlagsForMatching(const AudioStreamBasicDescription& a,
                                                            const AudioStreamBasicDescription& b,
                                                            UInt32& flagsA, UInt32& flagsB,
                                                            bool converterOnly)
{
    if (a.mFormatID == 0 || b.mFormatID == 0 || flagsA == 0 || flagsB == 0) {
        flagsA = flagsB = 0;
        return;
    }
    if (a.mFormatID != kAudioFormatLinearPCM) {
        return;
    }
    ClearInBoth(flagsA, flagsB, kAudioFormatFlagsAreAllClear);
    if ((flagsA & flagsB & kAudioFormatFlagIsPacked) != 0) {
        ClearInBoth(flagsA, flagsB, kAudioFormatFlagIsAlignedHigh);
    }
    if ((flagsA & flagsB & kAudioFormatFlagIsFloat) != 0) {
        ClearInBoth(flagsA, flagsB, kAudioFormatFlagIsSignedInteger);
    }
    // Byte order means nothing for samples of one byte.
    if (a.mBitsPerChannel <= 8 && (flagsA & kAudioFormatFlagIsPacked)) {
        flagsA &= ~kAudioFormatFlagIsBigEndian;
    }
    if (b.mBitsPerChannel <= 8 && (flagsB & kAudioFormatFlagIsPacked)) {
        flagsB &= ~kAudioFormatFlagIsBigEndian;
    }
    if (a.mChannelsPerFrame == 1 && b.mChannelsPerFrame == 1) {
        ClearInBoth(flagsA, flagsB, kAudioFormatFlagIsNonInterleaved);
    }
    if (converterOnly) {
        const CAStreamBasicDescription descA(a);
        const CAStreamBasicDescription descB(b);
        if (!descA.PackednessIsSignificant() && !descB.PackednessIsSignificant()) {
            ClearInBoth(flagsA, flagsB, kAudioFormatFlagIsPacked);
        }
        if (!descA.AlignmentIsSignificant() && !descB.AlignmentIsSignificant()) {
            ClearInBoth(flagsA, flagsB, kAudioFormatFlagIsAlignedHigh);
        }
        ClearInBoth(flagsA, flagsB, kAudioFormatFlagIsNonMixable);
    }
}

bool CAStreamBasicDescription::FromText(const char* text, AudioStreamBasicDescription& out)
{
    out = AudioStreamBasicDescription{};
    const char* p = text;
    bool isPCM = true;
    UInt32 pcmFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
    if (!ReadSampleKind(text, p, isPCM, pcmFlags, out.mFormatID)) {
        return false;
    }
    if (isPCM && !ReadPCMDepth(p, pcmFlags, out)) {
        return RefuseFormatText(text);
    }
    ReadRateFlagsAndPacketFrames(p, out);
    if (!ReadAlignment(p, out) || !ReadChannels(p, isPCM, out)) {
        return RefuseFormatText(text);
    }
    if (*p == '\0') {
        return true;
    }
    fprintf(stderr, "extra characters at end of format string: %s\n", p);
    return RefuseFormatText(text);
}

bool operator==(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b)
{
    return CAStreamBasicDescription::FlagIndependentEquivalence(a, b) && MatchFormatFlags(a, b);
}

bool operator<(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y)
{
    if (x.mFormatID != 0 && y.mFormatID != 0 && x.mFormatID != y.mFormatID) {
        if (x.mFormatID == kAudioFormatLinearPCM) {
            return true;
        }
        if (y.mFormatID == kAudioFormatLinearPCM) {
            return false;
        }
        return x.mFormatID < y.mFormatID;
    }
    if (x.mFormatID == kAudioFormatLinearPCM && y.mFormatID == kAudioFormatLinearPCM) {
        const bool xMixable = (x.mFormatFlags & kAudioFormatFlagIsNonMixable) == 0;
        const bool yMixable = (y.mFormatFlags & kAudioFormatFlagIsNonMixable) == 0;
        if (xMixable != yMixable) {
            return xMixable;
        }
        const bool xFloat = (x.mFormatFlags & kAudioFormatFlagIsFloat) != 0;
        const bool yFloat = (y.mFormatFlags & kAudioFormatFlagIsFloat) != 0;
        if (xFloat != yFloat) {
            return !xFloat;
        }
    }
    if (x.mBitsPerChannel != 0 && y.mBitsPerChannel != 0 &&
        x.mBitsPerChannel != y.mBitsPerChannel) {
        return x.mBitsPerChannel < y.mBitsPerChannel;
    }
    if (x.mSampleRate != 0.0 && y.mSampleRate != 0.0 && x.mSampleRate != y.mSampleRate) {
        return x.mSampleRate < y.mSampleRate;
    }
    if (x.mChannelsPerFrame != 0 && y.mChannelsPerFrame != 0 &&
        x.mChannelsPerFrame != y.mChannelsPerFrame) {
        return x.mChannelsPerFrame < y.mChannelsPerFrame;
    }
    return false;
}

bool SanityCheck(const AudioStreamBasicDescription& desc)
{
    constexpr UInt32 kMaxSize = 1000000;
    constexpr UInt32 kMaxChannelsOrBits = 1024;
    if (!(desc.mSampleRate >= 0.0 && desc.mSampleRate < 3000000.0)) {
        return false;
    }
    if (desc.mBytesPerPacket >= kMaxSize || desc.mFramesPerPacket >= kMaxSize ||
        desc.mBytesPerFrame >= kMaxSize || desc.mChannelsPerFrame > kMaxChannelsOrBits ||
        desc.mBitsPerChannel > kMaxChannelsOrBits || desc.mFormatID == 0) {
        return false;
    }
    return desc.mFormatID != kAudioFormatLinearPCM ||
           (desc.mFramesPerPacket == 1 && desc.mBytesPerPacket == desc.mBytesPerFrame);
}

char* CAStringForOSType(UInt32 code, char* buffer, size_t size)
{
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(code >> 24), static_cast<unsigned char>(code >> 16),
        static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code)};
    const bool printable = std::all_of(std::begin(bytes), std::end(bytes),
                                       [](unsigned char c) { return isprint(c) && c != '\\'; });
    BoundedText text(buffer, size);
    if (printable) {
        text.Append("'%c%c%c%c'", bytes[0], bytes[1], bytes[2], bytes[3]);
    } else {
        text.Append("0x");
        for (unsigned char byte : bytes) {
            text.Append("%02X", byte);
        }
    }
    return buffer;
}
