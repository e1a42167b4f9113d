// The audio data records every audio service and unit exchanges: stream formats, buffers,
// time stamps, channel layouts, their flags and the general status codes.
#pragma once

#include <MacTypes.h>

// ---- General status codes ----
enum {
    kAudio_UnimplementedError = -4,
    kAudio_FileNotFoundError = -43,
    kAudio_FilePermissionError = -54,
    kAudio_TooManyFilesOpenError = -42,
    kAudio_BadFilePathError = 0x21707468, // '!pth'
    kAudio_ParamError = -50,
    kAudio_MemFullError = -108
};

// ---- Stream format ----
struct AudioStreamBasicDescription {
    Float64 mSampleRate;
    UInt32 mFormatID;
    UInt32 mFormatFlags;
    UInt32 mBytesPerPacket;
    UInt32 mFramesPerPacket;
    UInt32 mBytesPerFrame;
    UInt32 mChannelsPerFrame;
    UInt32 mBitsPerChannel;
    UInt32 mReserved;
};
typedef struct AudioStreamBasicDescription AudioStreamBasicDescription;

enum {
    kAudioStreamAnyRate = 0
};

enum {
    kAudioFormatLinearPCM = 0x6C70636D,     // 'lpcm'
    kAudioFormatAC3 = 0x61632D33,           // 'ac-3'
    kAudioFormat60958AC3 = 0x63616333,      // 'cac3'
    kAudioFormatIMA4 = 0x696D6134,     // 'ima4'
    kAudioFormatMPEG4AAC = 0x61616320,      // 'aac '
    kAudioFormatMPEGLayer3 = 0x2E6D7033,    // '.mp3'
    kAudioFormatLosslessALAC = 0x616C6163, // 'alac'
    kAudioFormatULaw = 0x756C6177,          // 'ulaw'
    kAudioFormatALaw = 0x616C6177,          // 'alaw'
    kAudioFormatMIDIStream = 0x6D696469     // 'midi'
};

enum {
    kAudioFormatFlagIsFloat = (1U << 0),
    kAudioFormatFlagIsBigEndian = (1U << 1),
    kAudioFormatFlagIsSignedInteger = (1U << 2),
    kAudioFormatFlagIsPacked = (1U << 3),
    kAudioFormatFlagIsAlignedHigh = (1U << 4),
    kAudioFormatFlagIsNonInterleaved = (1U << 5),
    kAudioFormatFlagIsNonMixable = (1U << 6),
    kAudioFormatFlagsAreAllClear = 0x80000000U,

    kLinearPCMFormatFlagIsFloat = kAudioFormatFlagIsFloat,
    kLinearPCMFormatFlagIsBigEndian = kAudioFormatFlagIsBigEndian,
    kLinearPCMFormatFlagIsSignedInteger = kAudioFormatFlagIsSignedInteger,
    kLinearPCMFormatFlagIsPacked = kAudioFormatFlagIsPacked,
    kLinearPCMFormatFlagIsAlignedHigh = kAudioFormatFlagIsAlignedHigh,
    kLinearPCMFormatFlagIsNonInterleaved = kAudioFormatFlagIsNonInterleaved,
    kLinearPCMFormatFlagIsNonMixable = kAudioFormatFlagIsNonMixable,
    kLinearPCMFormatFlagsSampleFractionShift = 7,
    kLinearPCMFormatFlagsSampleFractionMask = (0x3FU << kLinearPCMFormatFlagsSampleFractionShift),
    kLinearPCMFormatFlagsAreAllClear = kAudioFormatFlagsAreAllClear,

    kLosslessFormatFlag_16BitSourceData = 1,
    kLosslessFormatFlag_20BitSourceData = 2,
    kLosslessFormatFlag_24BitSourceData = 3,
    kLosslessFormatFlag_32BitSourceData = 4
};

// This stand-in runs on little-endian processors only.
enum {
    kAudioFormatFlagsNativeEndian = 0,
    kAudioFormatFlagsCanonical =
        kAudioFormatFlagIsFloat | kAudioFormatFlagsNativeEndian | kAudioFormatFlagIsPacked,
    kAudioFormatFlagsAudioUnitCanonical = kAudioFormatFlagIsFloat | kAudioFormatFlagsNativeEndian |
                                          kAudioFormatFlagIsPacked |
                                          kAudioFormatFlagIsNonInterleaved,
    kAudioFormatFlagsNativeFloatPacked =
        kAudioFormatFlagIsFloat | kAudioFormatFlagsNativeEndian | kAudioFormatFlagIsPacked
};

typedef Float32 AudioSampleType;
typedef Float32 AudioUnitSampleType;

struct AudioStreamPacketDescription {
    SInt64 mStartOffset;
    UInt32 mVariableFramesInPacket;
    UInt32 mDataByteSize;
};
typedef struct AudioStreamPacketDescription AudioStreamPacketDescription;

// ---- Buffers ----
struct AudioBuffer {
    UInt32 mNumberChannels;
    UInt32 mDataByteSize;
    void* mData;
};
typedef struct AudioBuffer AudioBuffer;

struct AudioBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[1]; // variable length: mNumberBuffers entries
};
typedef struct AudioBufferList AudioBufferList;

// ---- Time stamps ----
typedef UInt32 SMPTETimeType;
enum {
    kSMPTETimeType24 = 0,
    kSMPTETimeType25 = 1,
    kSMPTETimeType30Drop = 2,
    kSMPTETimeType30 = 3,
    kSMPTETimeType2997 = 4,
    kSMPTETimeType2997Drop = 5,
    kSMPTETimeType60 = 6,
    kSMPTETimeType5994 = 7,
    kSMPTETimeType60Drop = 8,
    kSMPTETimeType5994Drop = 9,
    kSMPTETimeType50 = 10,
    kSMPTETimeType2398 = 11
};

typedef UInt32 SMPTETimeFlags;
enum { kSMPTETimeUnknown = 0, kSMPTETimeValid = (1U << 0), kSMPTETimeRunning = (1U << 1) };

struct SMPTETime {
    SInt16 mSubframes;
    SInt16 mSubframeDivisor;
    UInt32 mCounter;
    SMPTETimeType mType;
    SMPTETimeFlags mFlags;
    SInt16 mHours;
    SInt16 mMinutes;
    SInt16 mSeconds;
    SInt16 mFrames;
};
typedef struct SMPTETime SMPTETime;

typedef UInt32 AudioTimeStampFlags;
enum {
    kAudioTimeStampNothingValid = 0,
    kAudioTimeStampSampleTimeValid = (1U << 0),
    kAudioTimeStampHostTimeValid = (1U << 1),
    kAudioTimeStampRateScalarValid = (1U << 2),
    kAudioTimeStampWordClockTimeValid = (1U << 3),
    kAudioTimeStampSMPTETimeValid = (1U << 4),
    kAudioTimeStampSampleHostTimeValid =
        (kAudioTimeStampSampleTimeValid | kAudioTimeStampHostTimeValid)
};

struct AudioTimeStamp {
    Float64 mSampleTime;
    UInt64 mHostTime;
    Float64 mRateScalar;
    UInt64 mWordClockTime;
    SMPTETime mSMPTETime;
    AudioTimeStampFlags mFlags;
    UInt32 mReserved;
};
typedef struct AudioTimeStamp AudioTimeStamp;

// ---- Channel layouts ----
typedef UInt32 AudioChannelLabel;
typedef UInt32 AudioChannelLayoutTag;
typedef UInt32 AudioChannelBitmap;
typedef UInt32 AudioChannelFlags;

enum {
    kAudioChannelLabel_Unknown = 0xFFFFFFFF,
    kAudioChannelLabel_Unused = 0,
    kAudioChannelLabel_UseCoordinates = 100,
    kAudioChannelLabel_Left = 1,
    kAudioChannelLabel_Right = 2,
    kAudioChannelLabel_Center = 3,
    kAudioChannelLabel_LFEScreen = 4,
    kAudioChannelLabel_LeftSurround = 5,
    kAudioChannelLabel_RightSurround = 6,
    kAudioChannelLabel_Mono = 42
};

enum {
    kAudioChannelFlags_AllOff = 0,
    kAudioChannelFlags_RectangularCoordinates = (1U << 0),
    kAudioChannelFlags_SphericalCoordinates = (1U << 1),
    kAudioChannelFlags_Meters = (1U << 2)
};

enum {
    kAudioChannelBit_Left = (1U << 0),
    kAudioChannelBit_Right = (1U << 1),
    kAudioChannelBit_Center = (1U << 2),
    kAudioChannelBit_LFEScreen = (1U << 3),
    kAudioChannelBit_LeftSurround = (1U << 4),
    kAudioChannelBit_RightSurround = (1U << 5)
};

// The low 16 bits of a tag hold its channel count; the high 16 bits name the layout.
enum {
    kAudioChannelLayoutTag_UseChannelDescriptions = (0U << 16) | 0,
    kAudioChannelLayoutTag_UseChannelBitmap = (1U << 16) | 0,
    kAudioChannelLayoutTag_Mono = (100U << 16) | 1,
    kAudioChannelLayoutTag_Stereo = (101U << 16) | 2,
    kAudioChannelLayoutTag_StereoHeadphones = (102U << 16) | 2,
    kAudioChannelLayoutTag_Quadraphonic = (108U << 16) | 4,
    kAudioChannelLayoutTag_MPEG_5_1_A = (121U << 16) | 6,
    kAudioChannelLayoutTag_DiscreteInOrder = (147U << 16) | 0,
    kAudioChannelLayoutTag_Unknown = 0xFFFF0000
};

static inline UInt32 AudioChannelLayoutTag_GetNumberOfChannels(AudioChannelLayoutTag tag)
{
    return tag & 0x0000FFFF;
}

struct AudioChannelDescription {
    AudioChannelLabel mChannelLabel;
    AudioChannelFlags mChannelFlags;
    Float32 mCoordinates[3];
};
typedef struct AudioChannelDescription AudioChannelDescription;

struct AudioChannelLayout {
    AudioChannelLayoutTag mChannelLayoutTag;
    AudioChannelBitmap mChannelBitmap;
    UInt32 mNumberChannelDescriptions;
    AudioChannelDescription mChannelDescriptions[1]; // variable length
};
typedef struct AudioChannelLayout AudioChannelLayout;

// ---- Layout checks: these records cross the boundary between host and unit ----
static_assert(sizeof(AudioStreamBasicDescription) == 40, "ASBD is 40 bytes");
static_assert(offsetof(AudioStreamBasicDescription, mFormatID) == 8, "ASBD layout");
static_assert(offsetof(AudioStreamBasicDescription, mBitsPerChannel) == 32, "ASBD layout");
static_assert(offsetof(AudioStreamBasicDescription, mReserved) == 36, "ASBD layout");
static_assert(sizeof(AudioStreamPacketDescription) == 16, "packet description layout");
static_assert(sizeof(AudioBuffer) == 16, "AudioBuffer layout");
static_assert(offsetof(AudioBuffer, mData) == 8, "AudioBuffer layout");
static_assert(sizeof(AudioBufferList) == 24, "AudioBufferList layout");
static_assert(offsetof(AudioBufferList, mBuffers) == 8, "AudioBufferList layout");
static_assert(sizeof(SMPTETime) == 24, "SMPTETime layout");
static_assert(offsetof(SMPTETime, mHours) == 16, "SMPTETime layout");
static_assert(sizeof(AudioTimeStamp) == 64, "AudioTimeStamp layout");
static_assert(offsetof(AudioTimeStamp, mSMPTETime) == 32, "AudioTimeStamp layout");
static_assert(offsetof(AudioTimeStamp, mFlags) == 56, "AudioTimeStamp layout");
static_assert(sizeof(AudioChannelDescription) == 20, "AudioChannelDescription layout");
static_assert(sizeof(AudioChannelLayout) == 32, "AudioChannelLayout layout");
static_assert(offsetof(AudioChannelLayout, mChannelDescriptions) == 12, "AudioChannelLayout layout");
