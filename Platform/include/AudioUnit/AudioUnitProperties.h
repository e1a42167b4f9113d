// The properties of audio units: scopes, property ids and the records some properties carry
// (connections, input callbacks, external buffers, presets, parameter descriptions, MIDI-to-
// parameter mappings).
#pragma once

#include <AudioUnit/AUComponent.h>
#include <CoreFoundation/CFBase.h>

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    kAudioUnitScope_Global = 0,
    kAudioUnitScope_Input = 1,
    kAudioUnitScope_Output = 2,
    kAudioUnitScope_Group = 3,
    kAudioUnitScope_Part = 4,
    kAudioUnitScope_Note = 5
};

enum {
    kAudioUnitProperty_ClassInfo = 0,
    kAudioUnitProperty_MakeConnection = 1,
    kAudioUnitProperty_SampleRate = 2,
    kAudioUnitProperty_ParameterList = 3,
    kAudioUnitProperty_ParameterInfo = 4,
    kAudioUnitProperty_CPULoad = 6,
    kAudioUnitProperty_StreamFormat = 8,
    kAudioUnitProperty_ElementCount = 11,
    kAudioUnitProperty_Latency = 12,
    kAudioUnitProperty_SupportedNumChannels = 13,
    kAudioUnitProperty_MaximumFramesPerSlice = 14,
    kAudioUnitProperty_SetExternalBuffer = 15,
    kAudioUnitProperty_ParameterValueStrings = 16,
    kAudioUnitProperty_AudioChannelLayout = 19,
    kAudioUnitProperty_TailTime = 20,
    kAudioUnitProperty_BypassEffect = 21,
    kAudioUnitProperty_LastRenderError = 22,
    kAudioUnitProperty_SetRenderCallback = 23,
    kAudioUnitProperty_FactoryPresets = 24,
    kAudioUnitProperty_ContextName = 25,
    kAudioUnitProperty_RenderQuality = 26,
    kAudioUnitProperty_HostCallbacks = 27,
    kAudioUnitProperty_InPlaceProcessing = 29,
    kAudioUnitProperty_ElementName = 30,
    kAudioUnitProperty_SupportedChannelLayoutTags = 32,
    kAudioUnitProperty_ParameterClumpName = 35,
    kAudioUnitProperty_PresentPreset = 36,
    kAudioUnitProperty_OfflineRender = 37,
    kAudioUnitProperty_IconLocation = 39,
    kAudioUnitProperty_PresentationLatency = 40,
    kAudioUnitProperty_AllParameterMIDIMappings = 41,
    kAudioUnitProperty_AddParameterMIDIMapping = 42,
    kAudioUnitProperty_RemoveParameterMIDIMapping = 43,
    kAudioUnitProperty_HotMapParameterMIDIMapping = 44,
    kAudioUnitProperty_AUHostIdentifier = 46,
    kAudioUnitProperty_MIDIOutputCallback = 48,
    kAudioUnitProperty_ClassInfoFromDocument = 50,
    kAudioUnitProperty_ShouldAllocateBuffer = 51,
    kAudioUnitProperty_ParameterHistoryInfo = 53,
    kAudioUnitProperty_NickName = 54,
    // 'lrst', read only: the sample time (Float64) of the latest render call; -1 before the
    // first.
    kAudioUnitProperty_LastRenderSampleTime = 0x6C727374
};

// The properties of music devices; the part-group property is described in the part scope.
enum {
    kMusicDeviceProperty_InstrumentCount = 1000,
    kMusicDeviceProperty_MIDIXMLNames = 1006,
    kMusicDeviceProperty_PartGroup = 1010
};

// Property 1: feeds input destInputNumber from output sourceOutputNumber of another unit; a
// NULL source disconnects.
struct AudioUnitConnection {
    AudioUnit sourceAudioUnit;
    UInt32 sourceOutputNumber;
    UInt32 destInputNumber;
};
typedef struct AudioUnitConnection AudioUnitConnection;

// Property 23: the procedure that supplies an input's audio, and its user data.
struct AURenderCallbackStruct {
    AURenderCallback inputProc;
    void* inputProcRefCon;
};
typedef struct AURenderCallbackStruct AURenderCallbackStruct;

// Property 15: memory the host lends a bus for its buffers.
struct AudioUnitExternalBuffer {
    Byte* buffer;
    UInt32 size;
};
typedef struct AudioUnitExternalBuffer AudioUnitExternalBuffer;

// Property 36: a preset number (negative: a user preset) and its name.
struct AUPreset {
    SInt32 presetNumber;
    CFStringRef presetName;
};
typedef struct AUPreset AUPreset;

// Property 13: one supported pair of input and output channel counts (-1: any).
struct AUChannelInfo {
    SInt16 inChannels;
    SInt16 outChannels;
};
typedef struct AUChannelInfo AUChannelInfo;

// Property 27: the host's transport and tempo callbacks; a unit stores and returns them.
typedef OSStatus (*HostCallback_GetBeatAndTempo)(void* inHostUserData, Float64* outCurrentBeat,
                                                 Float64* outCurrentTempo);
typedef OSStatus (*HostCallback_GetMusicalTimeLocation)(void* inHostUserData,
                                                        UInt32* outDeltaSampleOffsetToNextBeat,
                                                        Float32* outTimeSigNumerator,
                                                        UInt32* outTimeSigDenominator,
                                                        Float64* outCurrentMeasureDownBeat);
typedef OSStatus (*HostCallback_GetTransportState)(void* inHostUserData, Boolean* outIsPlaying,
                                                   Boolean* outTransportStateChanged,
                                                   Float64* outCurrentSampleInTimeLine,
                                                   Boolean* outIsCycling,
                                                   Float64* outCycleStartBeat,
                                                   Float64* outCycleEndBeat);
typedef OSStatus (*HostCallback_GetTransportState2)(
    void* inHostUserData, Boolean* outIsPlaying, Boolean* outIsRecording,
    Boolean* outTransportStateChanged, Float64* outCurrentSampleInTimeLine, Boolean* outIsCycling,
    Float64* outCycleStartBeat, Float64* outCycleEndBeat);

struct HostCallbackInfo {
    void* hostUserData;
    HostCallback_GetBeatAndTempo beatAndTempoProc;
    HostCallback_GetMusicalTimeLocation musicalTimeLocationProc;
    HostCallback_GetTransportState transportStateProc;
    HostCallback_GetTransportState2 transportStateProc2;
};
typedef struct HostCallbackInfo HostCallbackInfo;

// Property 4: what a host shows for one parameter.
typedef UInt32 AudioUnitParameterUnit;
enum {
    kAudioUnitParameterUnit_Generic = 0,
    kAudioUnitParameterUnit_Indexed = 1,
    kAudioUnitParameterUnit_Boolean = 2,
    kAudioUnitParameterUnit_Percent = 3,
    kAudioUnitParameterUnit_Seconds = 4,
    kAudioUnitParameterUnit_Hertz = 8,
    kAudioUnitParameterUnit_Decibels = 13,
    kAudioUnitParameterUnit_MIDIController = 23,
    kAudioUnitParameterUnit_CustomUnit = 26
};

typedef UInt32 AudioUnitParameterOptions;
enum {
    kAudioUnitParameterFlag_CFNameRelease = (1UL << 4),
    kAudioUnitParameterFlag_DisplaySquareRoot = (1UL << 16),
    kAudioUnitParameterFlag_DisplaySquared = (2UL << 16),
    kAudioUnitParameterFlag_DisplayCubed = (3UL << 16),
    kAudioUnitParameterFlag_DisplayCubeRoot = (4UL << 16),
    kAudioUnitParameterFlag_DisplayExponential = (5UL << 16),
    kAudioUnitParameterFlag_HasClump = (1UL << 20),
    kAudioUnitParameterFlag_ValuesHaveStrings = (1UL << 21),
    kAudioUnitParameterFlag_DisplayLogarithmic = (1UL << 22),
    kAudioUnitParameterFlag_HasCFNameString = (1UL << 27),
    kAudioUnitParameterFlag_IsReadable = (1UL << 30),
    kAudioUnitParameterFlag_IsWritable = (1UL << 31)
};

struct AudioUnitParameterInfo {
    char name[52];
    CFStringRef unitName;
    UInt32 clumpID;
    CFStringRef cfNameString;
    AudioUnitParameterUnit unit;
    AudioUnitParameterValue minValue;
    AudioUnitParameterValue maxValue;
    AudioUnitParameterValue defaultValue;
    AudioUnitParameterOptions flags;
};
typedef struct AudioUnitParameterInfo AudioUnitParameterInfo;

// The bits of a parameter's flags that choose the curve its value is shown on (0: linear).
enum {
    kAudioUnitParameterFlag_DisplayMask = (7UL << 16) | kAudioUnitParameterFlag_DisplayLogarithmic
};

static inline UInt32 GetAudioUnitParameterDisplayType(UInt32 flags)
{
    return flags & kAudioUnitParameterFlag_DisplayMask;
}

// Properties 41 to 44: one binding of a kind of MIDI message to a parameter. mStatus holds the
// message kind in its high nibble and the channel in its low one; mData1 the controller, note or
// program number. The sub-range replaces the parameter's range when the SubRange flag is set.
enum {
    kAUParameterMIDIMapping_AnyChannelFlag = (1L << 0),
    kAUParameterMIDIMapping_AnyNoteFlag = (1L << 1),
    kAUParameterMIDIMapping_SubRange = (1L << 2),
    kAUParameterMIDIMapping_Toggle = (1L << 3),
    kAUParameterMIDIMapping_Bipolar = (1L << 4),
    kAUParameterMIDIMapping_Bipolar_On = (1L << 5)
};

struct AUParameterMIDIMapping {
    AudioUnitScope mScope;
    AudioUnitElement mElement;
    AudioUnitParameterID mParameterID;
    UInt32 mFlags;
    AudioUnitParameterValue mSubRangeMin;
    AudioUnitParameterValue mSubRangeMax;
    UInt8 mStatus;
    UInt8 mData1;
    UInt8 reserved1;
    UInt8 reserved2;
    UInt32 reserved3;
};
typedef struct AUParameterMIDIMapping AUParameterMIDIMapping;

#ifdef __cplusplus
}
#endif

static_assert(sizeof(AudioUnitConnection) == 16, "AudioUnitConnection layout");
static_assert(sizeof(AURenderCallbackStruct) == 16, "AURenderCallbackStruct layout");
static_assert(sizeof(AudioUnitExternalBuffer) == 16, "AudioUnitExternalBuffer layout");
static_assert(sizeof(AUPreset) == 16, "AUPreset layout");
static_assert(sizeof(HostCallbackInfo) == 40, "HostCallbackInfo layout");
static_assert(sizeof(AudioUnitParameterInfo) == 104, "AudioUnitParameterInfo layout");
static_assert(sizeof(AUParameterMIDIMapping) == 32, "AUParameterMIDIMapping layout");
static_assert(offsetof(AUParameterMIDIMapping, mFlags) == 12 &&
                  offsetof(AUParameterMIDIMapping, mSubRangeMin) == 16 &&
                  offsetof(AUParameterMIDIMapping, mSubRangeMax) == 20 &&
                  offsetof(AUParameterMIDIMapping, mStatus) == 24 &&
                  offsetof(AUParameterMIDIMapping, mData1) == 25 &&
                  offsetof(AUParameterMIDIMapping, reserved3) == 28,
              "AUParameterMIDIMapping layout");
