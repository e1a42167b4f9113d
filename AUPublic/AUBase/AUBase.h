// The base class of every audio unit: its scopes and elements, bus formats and buffers, the
// lifecycle the host drives (construct, initialize, render, uninitialize, destroy), the render
// cycle with its notifications and scheduled parameters, and the property listeners.
#pragma once

#include "AUElement.h"
#include "AUIOElement.h"
#include "AUInputElement.h"
#include "AUOutputElement.h"
#include "AUScope.h"
#include "CAAllocation.h"
#include "CAMIDIMapTarget.h"
#include "CAStreamBasicDescription.h"
#include "ComponentBase.h"
#include "TThreadSafeList.h"

#include <AudioUnit/AudioUnitProperties.h>
#include <AudioUnit/MusicDevice.h>
#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFPropertyList.h>
#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFURL.h>

#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <vector>

class CAMutex;

class AUBase : public ComponentBase, public CAMIDIMapTarget {
public:
    static constexpr UInt32 kDefaultMaxFramesPerSlice = 1156;

    // A render notification: a procedure and its user data; equal when both are equal.
    struct RenderCallback {
        AURenderCallback mRenderNotify = nullptr;
        void* mRenderNotifyRefCon = nullptr;
        bool operator==(const RenderCallback& other) const
        {
            return mRenderNotify == other.mRenderNotify &&
                   mRenderNotifyRefCon == other.mRenderNotifyRefCon;
        }
    };

    struct PropertyListener {
        AudioUnitPropertyID propertyID;
        AudioUnitPropertyListenerProc listenerProc;
        void* listenerRefCon;
    };

    using ParameterEventList = std::vector<AudioUnitParameterEvent>;

    // The counts are used once, by CreateElements. [host-thread]
    AUBase(AudioComponentInstance inInstance, UInt32 numInputElements, UInt32 numOutputElements,
           UInt32 numGroupElements = 0);
    ~AUBase() override;

    // ---- Lifecycle hooks ----
    void PostConstructor() override { CreateElements(); }
    void PreDestructor() override;
    // Creates scopes beyond the first four. [host-thread]
    virtual void CreateExtendedElements() {}
    // The unit's own set-up before buffers exist; a non-zero status refuses initialization.
    // [host-thread & !initialized]
    virtual OSStatus Initialize() { return noErr; }
    // [host-thread & initialized]
    virtual void Cleanup() {}
    // [host-thread]
    virtual OSStatus Reset(AudioUnitScope inScope, AudioUnitElement inElement);

    // ---- Property hooks for what the shared properties do not cover ----
    // [host-thread]
    virtual OSStatus GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                     AudioUnitElement inElement, UInt32& outDataSize,
                                     Boolean& outWritable);
    virtual OSStatus GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                 AudioUnitElement inElement, void* outData);
    // Every read of a property the shared ones do not cover comes here, told the room it has:
    // ioDataSize is the size of outData on entry (what the information reported) and the bytes
    // written on return. The base asks GetProperty, which fills what the information reported.
    // A property whose size can change between the information and the read (a list that other
    // threads edit) is answered by an override of this hook, which writes only what fits.
    virtual OSStatus GetPropertyWithSize(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement, void* outData,
                                         UInt32& ioDataSize);
    virtual OSStatus SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                 AudioUnitElement inElement, const void* inData, UInt32 inDataSize);
    virtual OSStatus RemovePropertyValue(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement);

    // The same triple may be added twice and is then called twice. [host-thread]
    virtual OSStatus AddPropertyListener(AudioUnitPropertyID inID,
                                         AudioUnitPropertyListenerProc inProc, void* inProcRefCon);
    // Removes every match of id and procedure (and user data when it matters). [host-thread]
    virtual OSStatus RemovePropertyListener(AudioUnitPropertyID inID,
                                            AudioUnitPropertyListenerProc inProc,
                                            void* inProcRefCon, bool refConSpecified);

    // Queued for the next render call; -50 for a null procedure. [host-thread]
    virtual OSStatus SetRenderNotification(AURenderCallback inProc, void* inRefCon);
    virtual OSStatus RemoveRenderNotification(AURenderCallback inProc, void* inRefCon);

    // ---- Parameters ----
    // Throw -10866, -10877 or -10878 for what does not exist. [any-thread]
    virtual OSStatus GetParameter(AudioUnitParameterID inID, AudioUnitScope inScope,
                                  AudioUnitElement inElement, AudioUnitParameterValue& outValue);
    OSStatus SetParameter(AudioUnitParameterID inID, AudioUnitScope inScope,
                          AudioUnitElement inElement, AudioUnitParameterValue inValue,
                          UInt32 inBufferOffsetInFrames) override;
    // The MIDI maps tell the parameter listeners about this instance. [any-thread]
    AudioComponentInstance MappedInstance() const final { return GetComponentInstance(); }
    // Whether scheduled events are kept for slicing the next render call. [any-thread]
    virtual bool CanScheduleParameters() const = 0;
    // Immediate events take effect at once; all are kept for the next render call when the unit
    // can schedule, as far as the room reserved at initialization goes (24 events, or more when
    // the unit's Initialize reserves more): the rest are dropped with -108. Only between render
    // calls. [render-thread]
    virtual OSStatus ScheduleParameter(const AudioUnitParameterEvent* inParameterEvent,
                                       UInt32 inNumEvents);

    // ---- Rendering hooks ----
    // [render-thread]
    virtual OSStatus ProcessBufferLists(AudioUnitRenderActionFlags& ioActionFlags,
                                        const AudioBufferList& inBuffer, AudioBufferList& outBuffer,
                                        UInt32 inFramesToProcess);
    virtual OSStatus ProcessMultipleBufferLists(AudioUnitRenderActionFlags& ioActionFlags,
                                                UInt32 inFramesToProcess,
                                                UInt32 inNumberInputBufferLists,
                                                const AudioBufferList** inInputBufferLists,
                                                UInt32 inNumberOutputBufferLists,
                                                AudioBufferList** ioOutputBufferLists);
    virtual OSStatus ComplexRender(AudioUnitRenderActionFlags& ioActionFlags,
                                   const AudioTimeStamp& inTimeStamp, UInt32 inOutputBusNumber,
                                   UInt32 inNumberOfPackets, UInt32* outNumberOfPackets,
                                   AudioStreamPacketDescription* outPacketDescriptions,
                                   AudioBufferList& ioData, void* outMetadata,
                                   UInt32* outMetadataByteSize);
    // Renders one output bus, at most once per sample time. [render-thread]
    virtual OSStatus RenderBus(AudioUnitRenderActionFlags& ioActionFlags,
                               const AudioTimeStamp& inTimeStamp, UInt32 inBusNumber,
                               UInt32 inNumberFrames);
    // The unit's audio for one slice. [render-thread]
    virtual OSStatus Render(AudioUnitRenderActionFlags& ioActionFlags,
                            const AudioTimeStamp& inTimeStamp, UInt32 inNumberFrames);

    // ---- Buses and connections ----
    // [host-thread]
    virtual bool BusCountWritable(AudioUnitScope /*inScope*/) { return false; }
    // -10849 while initialized. [host-thread & !initialized]
    virtual OSStatus SetBusCount(AudioUnitScope inScope, UInt32 inCount);
    // Takes the source's output format for the input, then connects it. [host-thread]
    virtual OSStatus SetConnection(const AudioUnitConnection& inConnection);
    // [host-thread]
    virtual OSStatus SetInputCallback(UInt32 inPropertyID, AudioUnitElement inElement,
                                      AURenderCallback inProc, void* inRefCon);

    // ---- Descriptions for the host ----
    // The ids of the scope's fullest element. [host-thread]
    virtual OSStatus GetParameterList(AudioUnitScope inScope,
                                      AudioUnitParameterID* outParameterList,
                                      UInt32& outNumParameters);
    OSStatus GetParameterInfo(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                              AudioUnitParameterInfo& outParameterInfo) override;
    virtual OSStatus GetParameterHistoryInfo(AudioUnitScope inScope,
                                             AudioUnitParameterID inParameterID,
                                             Float32& outUpdatesPerSecond,
                                             Float32& outHistoryDurationInSeconds);
    // The class-info dictionary of the saved state; the caller owns it. [host-thread]
    virtual OSStatus SaveState(CFPropertyListRef* outData);
    virtual void SaveExtendedScopes(CFMutableDataRef /*outData*/) {}
    // [host-thread]
    virtual OSStatus RestoreState(CFPropertyListRef plist);
    virtual OSStatus GetParameterValueStrings(AudioUnitScope inScope,
                                              AudioUnitParameterID inParameterID,
                                              CFArrayRef* outStrings);
    virtual OSStatus CopyClumpName(AudioUnitScope inScope, UInt32 inClumpID,
                                   UInt32 inDesiredNameLength, CFStringRef* outClumpName);
    virtual OSStatus GetPresets(CFArrayRef* outData) const;
    virtual OSStatus NewFactoryPresetSet(const AUPreset& inNewFactoryPreset);
    virtual OSStatus NewCustomPresetSet(const AUPreset& inNewCustomPreset);
    virtual CFURLRef CopyIconLocation() { return nullptr; }
    virtual Float64 GetLatency() { return 0.0; }
    virtual Float64 GetTailTime() { return 0.0; }
    virtual bool SupportsTail() { return false; }

    // ---- Formats ----
    // [host-thread]
    virtual bool StreamFormatWritable(AudioUnitScope scope, AudioUnitElement element) = 0;
    // Entries of the channel-configuration table, or 0 for none. [host-thread]
    virtual UInt32 SupportedNumChannels(const AUChannelInfo** outInfo);
    virtual bool ValidFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                             const CAStreamBasicDescription& inNewFormat);
    // Global scope means output 0; throws -10866 or -10877. [host-thread]
    virtual const CAStreamBasicDescription& GetStreamFormat(AudioUnitScope inScope,
                                                            AudioUnitElement inElement);
    virtual OSStatus ChangeStreamFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                                        const CAStreamBasicDescription& inPrevFormat,
                                        const CAStreamBasicDescription& inNewFormat);
    // A scope beyond the first four, or null. [any-thread]
    virtual AUScope* GetScopeExtended(AudioUnitScope /*inScope*/) { return nullptr; }
    // Calls every listener registered for the id, on the calling thread. [any-thread]
    virtual void PropertyChanged(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                 AudioUnitElement inElement);
    // The element class of a scope; throws -10866 for a scope without elements. [host-thread]
    virtual AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement element);

    // ---- Output units and instruments ----
    // [host-thread]
    virtual OSStatus Start() { return kAudio_UnimplementedError; }
    virtual OSStatus Stop() { return kAudio_UnimplementedError; }
    virtual OSStatus PrepareInstrument(MusicDeviceInstrumentID /*inInstrument*/)
    {
        return kAudio_UnimplementedError;
    }
    virtual OSStatus ReleaseInstrument(MusicDeviceInstrumentID /*inInstrument*/)
    {
        return kAudio_UnimplementedError;
    }
    // The MIDI and note calls. [render-thread]
    virtual OSStatus MIDIEvent(UInt32 /*inStatus*/, UInt32 /*inData1*/, UInt32 /*inData2*/,
                               UInt32 /*inOffsetSampleFrame*/)
    {
        return kAudio_UnimplementedError;
    }
    virtual OSStatus SysEx(const UInt8* /*inData*/, UInt32 /*inLength*/)
    {
        return kAudio_UnimplementedError;
    }
    virtual OSStatus StartNote(MusicDeviceInstrumentID /*inInstrument*/,
                               MusicDeviceGroupID /*inGroupID*/,
                               NoteInstanceID* /*outNoteInstanceID*/,
                               UInt32 /*inOffsetSampleFrame*/,
                               const MusicDeviceNoteParams& /*inParams*/)
    {
        return kAudio_UnimplementedError;
    }
    virtual OSStatus StopNote(MusicDeviceGroupID /*inGroupID*/, NoteInstanceID /*inNoteInstanceID*/,
                              UInt32 /*inOffsetSampleFrame*/)
    {
        return kAudio_UnimplementedError;
    }

    // ---- Buffers ----
    // Creates missing elements, then sizes every output's and input's buffers. [host-thread]
    virtual void ReallocateBuffers();
    virtual void DeallocateIOBuffers();
    // Any value is taken; buffers follow when they exist. [host-thread & !initialized]
    virtual void SetMaxFramesPerSlice(UInt32 nFrames);
    // -10849 while initialized. [host-thread]
    virtual OSStatus CanSetMaxFrames() const;

    // ---- Channel layouts of a bus ----
    // [host-thread]
    virtual UInt32 GetChannelLayoutTags(AudioUnitScope scope, AudioUnitElement element,
                                        AudioChannelLayoutTag* outLayoutTags);
    virtual UInt32 GetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element,
                                         AudioChannelLayout* outLayoutPtr, Boolean& outWritable);
    virtual OSStatus SetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element,
                                           const AudioChannelLayout* inLayout);
    virtual OSStatus RemoveAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element);

    // ---- Scheduled parameters ----
    // Cuts a render call into slices at the events' offsets and ramp ends, applies the events
    // that fall in each slice and calls ProcessScheduledSlice for it. [render-thread]
    virtual OSStatus ProcessForScheduledParams(ParameterEventList& inParamList,
                                               UInt32 inFramesToProcess, void* inUserData);
    virtual OSStatus ProcessScheduledSlice(void* /*inUserData*/, UInt32 /*inStartFrameInBuffer*/,
                                           UInt32 /*inSliceFramesToProcess*/,
                                           UInt32 /*inTotalBufferFrames*/)
    {
        return noErr;
    }

    // ---- The calls the host makes ----
    // Creates the elements once. [host-thread]
    void CreateElements();
    // [host-thread & !initialized]; a second call while initialized returns 0.
    OSStatus DoInitialize();
    // [host-thread]
    void DoCleanup();
    // Checks the call, runs the notifications and renders output `inBusNumber` into ioData.
    // [render-thread]
    OSStatus DoRender(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& inTimeStamp,
                      UInt32 inBusNumber, UInt32 inNumberFrames, AudioBufferList& ioData);
    // In-place processing of a buffer through input and output 0. [render-thread]
    OSStatus DoProcess(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& inTimeStamp,
                       UInt32 inFramesToProcess, AudioBufferList& ioData);
    // [render-thread]
    OSStatus DoProcessMultiple(AudioUnitRenderActionFlags& ioActionFlags,
                               const AudioTimeStamp& inTimeStamp, UInt32 inFramesToProcess,
                               UInt32 inNumberInputBufferLists,
                               const AudioBufferList** inInputBufferLists,
                               UInt32 inNumberOutputBufferLists,
                               AudioBufferList** ioOutputBufferLists);

    // The property protocol the host calls reach. [host-thread]
    OSStatus DispatchGetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                     AudioUnitElement inElement, UInt32& outDataSize,
                                     Boolean& outWritable);
    // ioDataSize: the room at outData on entry, the size the information reported; the bytes
    // written on return.
    OSStatus DispatchGetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                 AudioUnitElement inElement, void* outData, UInt32& ioDataSize);
    OSStatus DispatchSetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                 AudioUnitElement inElement, const void* inData, UInt32 inDataSize);
    OSStatus DispatchRemovePropertyValue(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement);
    // [host-thread]
    bool IsStreamFormatWritable(AudioUnitScope scope, AudioUnitElement element);
    bool HasIcon();

    // ---- Presets and saved-state helpers for unit classes ----
    // [host-thread]
    bool SetAFactoryPresetAsCurrent(const AUPreset& inPreset);
    static void AddNumToDictionary(CFMutableDictionaryRef dict, CFStringRef key, SInt32 value);
    static OSStatus GetFileRefPath(CFDictionaryRef parent, CFStringRef frKey, CFStringRef* fPath);
    static CFMutableDictionaryRef CreateFileRefDict(CFStringRef fKey, CFStringRef fPath,
                                                    CFMutableDictionaryRef fileRefDict);
    static OSStatus AccessURLAsset(const CFURLRef& inURL, int mode);
    static void PrintAUParamEvent(AudioUnitParameterEvent& event, FILE* f);

    // ---- Accessors ----
    // [any-thread]
    bool IsInitialized() const { return mInitialized.load(std::memory_order_acquire); }
    bool HasBegunInitializing() const { return mHasBegunInitializing; }
    UInt8 AudioUnitAPIVersion() const { return mAudioUnitAPIVersion; }
    UInt32 GetMaxFramesPerSlice() const { return mMaxFramesPerSlice; }
    bool WantsRenderThreadID() const { return mWantsRenderThreadID; }
    void SetWantsRenderThreadID(bool inFlag);
    // Whether the caller is the thread of the latest render call. [any-thread]
    bool InRenderThread() const;
    CAMutex* GetMutex() const { return mAUMutex; }
    const AUPreset& CurrentPreset() const { return mCurrentPreset; }
    OSStatus LastRenderError() const { return mLastRenderError.load(); }

    // [any-thread]
    AUScope& GlobalScope() { return mScopes[kAudioUnitScope_Global]; }
    AUScope& Inputs() { return mScopes[kAudioUnitScope_Input]; }
    AUScope& Outputs() { return mScopes[kAudioUnitScope_Output]; }
    AUScope& Groups() { return mScopes[kAudioUnitScope_Group]; }
    // Throws -10866 for a scope that does not exist. [any-thread]
    AUScope& GetScope(AudioUnitScope inScope);
    AUElement* Globals() { return GlobalScope().GetElement(0); }
    // Null for a missing element; throws -10866 for a missing scope. [any-thread]
    AUElement* GetElement(AudioUnitScope inScope, AudioUnitElement inElement)
    {
        return GetScope(inScope).GetElement(inElement);
    }
    AUElement* SafeGetElement(AudioUnitScope inScope, AudioUnitElement inElement)
    {
        return GetScope(inScope).SafeGetElement(inElement);
    }
    AUIOElement* GetIOElement(AudioUnitScope inScope, AudioUnitElement inElement)
    {
        return GetScope(inScope).GetIOElement(inElement);
    }
    // Throw -10877 for a missing bus. [any-thread]
    AUInputElement* GetInput(AudioUnitElement inElement)
    {
        return static_cast<AUInputElement*>(Inputs().SafeGetElement(inElement));
    }
    AUOutputElement* GetOutput(AudioUnitElement inElement)
    {
        return static_cast<AUOutputElement*>(Outputs().SafeGetElement(inElement));
    }

    // [render-thread]
    const AudioTimeStamp& CurrentRenderTime() const { return mCurrentRenderTime; }
    // The next render call renders whatever its sample time. [host-thread]
    void ResetRenderTime();
    // "AU (instance): type subtype manufacturer", built once. [any-thread]
    const char* GetLoggingString() const;

    // [any-thread]
    static bool FormatIsCanonical(const CAStreamBasicDescription& format);
    // Canonical for `nChannels` (non-interleaved) with a sample rate of 0.
    static void MakeCanonicalFormat(CAStreamBasicDescription& outDesc, int nChannels = 2);
    // The global scope holds exactly one element. [host-thread & !initialized]
    void SetNumberOfElements(AudioUnitScope inScope, UInt32 numElements);

    // Keys of the saved state, set by the first constructor.
    static CFStringRef kUntitledString;
    static CFStringRef kVersionString;
    static CFStringRef kTypeString;
    static CFStringRef kSubtypeString;
    static CFStringRef kManufacturerString;
    static CFStringRef kDataString;
    static CFStringRef kNameString;
    static CFStringRef kRenderQualityString;
    static CFStringRef kCPULoadString;
    static CFStringRef kElementNameString;
    static CFStringRef kPartString;
    static std::atomic<SInt32> sVectorUnitType;

protected:
    // The first render with a new sample time renders; it becomes the current render time.
    // [render-thread]
    bool NeedsToRender(const AudioTimeStamp& inTimeStamp)
    {
        if (inTimeStamp.mSampleTime == mCurrentRenderTime.mSampleTime)
            return false;
        KeepRenderTime(inTimeStamp);
        return true;
    }
    // Keeps the first error until the host reads it and tells the listeners. Returns `error`.
    // [render-thread]
    OSStatus SetRenderError(OSStatus inError);
    // The events scheduled for this render call; a unit class that expects more than 24 a call
    // reserves room for them in its Initialize. [render-thread]
    ParameterEventList& GetParamEventList() { return mParamList; }
    // [render-thread]
    const TThreadSafeList<RenderCallback>& RenderCallbackList() const { return mRenderCallbacks; }

    // What the host read through the last-render-error property: the error, then 0.
    // [any-thread]
    OSStatus TakeLastRenderError();
    // A unit class that serialises its host calls installs its mutex here; the adapters of the
    // calls off the render path hold it. [host-thread & !initialized]
    void SetMutex(CAMutex* mutex) { mAUMutex = mutex; }

private:
    // Field by field, each read at its own size: the host has just built the stamp, and a wider
    // read spanning several of the host's stores cannot take their values before they retire;
    // it waits. (Read as volatile, so that the compiler does not merge neighbouring reads.)
    void KeepRenderTime(const AudioTimeStamp& inTimeStamp)
    {
        const volatile AudioTimeStamp& from = inTimeStamp;
        AudioTimeStamp& kept = mCurrentRenderTime;
        kept.mSampleTime = from.mSampleTime;
        kept.mHostTime = from.mHostTime;
        kept.mRateScalar = from.mRateScalar;
        kept.mWordClockTime = from.mWordClockTime;
        kept.mSMPTETime.mSubframes = from.mSMPTETime.mSubframes;
        kept.mSMPTETime.mSubframeDivisor = from.mSMPTETime.mSubframeDivisor;
        kept.mSMPTETime.mCounter = from.mSMPTETime.mCounter;
        kept.mSMPTETime.mType = from.mSMPTETime.mType;
        kept.mSMPTETime.mFlags = from.mSMPTETime.mFlags;
        kept.mSMPTETime.mHours = from.mSMPTETime.mHours;
        kept.mSMPTETime.mMinutes = from.mSMPTETime.mMinutes;
        kept.mSMPTETime.mSeconds = from.mSMPTETime.mSeconds;
        kept.mSMPTETime.mFrames = from.mSMPTETime.mFrames;
        kept.mFlags = from.mFlags;
        kept.mReserved = from.mReserved;
    }

    static void InitializeClassStrings();
    OSStatus ApplyStreamFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                               const CAStreamBasicDescription& newDesc);
    // Tells the property's listeners when `result` says a write or removal took effect; returns
    // `result`.
    OSStatus NotifyIfDone(OSStatus result, AudioUnitPropertyID inID, AudioUnitScope inScope,
                          AudioUnitElement inElement);
    // The shared properties read and written a group at a time: each answers the properties of
    // its group and nothing (no status) for the others, which the dispatchers then ask on.
    using PropertyReader = std::optional<OSStatus> (AUBase::*)(AudioUnitPropertyID, AudioUnitScope,
                                                               AudioUnitElement, void*, UInt32&);
    using PropertyWriter = std::optional<OSStatus> (AUBase::*)(AudioUnitPropertyID, AudioUnitScope,
                                                               AudioUnitElement, const void*,
                                                               UInt32);
    std::optional<OSStatus> GetBusProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                           AudioUnitElement inElement, void* outData, UInt32&);
    std::optional<OSStatus> GetParameterProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                                 AudioUnitElement inElement, void* outData,
                                                 UInt32& ioDataSize);
    std::optional<OSStatus> GetRenderProperty(AudioUnitPropertyID inID, AudioUnitScope,
                                              AudioUnitElement, void* outData, UInt32&);
    std::optional<OSStatus> GetStateProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                             AudioUnitElement inElement, void* outData, UInt32&);
    std::optional<OSStatus> SetFormatProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                              AudioUnitElement inElement, const void* inData,
                                              UInt32 inDataSize);
    std::optional<OSStatus> SetBufferProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                              AudioUnitElement inElement, const void* inData,
                                              UInt32 inDataSize);
    std::optional<OSStatus> SetNameProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                            AudioUnitElement inElement, const void* inData, UInt32);
    std::optional<OSStatus> SetStateProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                             AudioUnitElement inElement, const void* inData,
                                             UInt32 inDataSize);
    OSStatus RestoreParameterRecord(CFDataRef data);
    void ReplaceCurrentPreset(SInt32 number, CFStringRef name);
    // Renders output `inBusNumber` into the caller's buffers or hands back the unit's own.
    // (Both of DoRender's parts are defined inline with it: they sit on every render call.)
    OSStatus DoRenderBus(AudioUnitRenderActionFlags& ioActionFlags,
                         const AudioTimeStamp& inTimeStamp, UInt32 inBusNumber,
                         AUOutputElement* theOutput, UInt32 inNumberFrames,
                         AudioBufferList& ioData);
    // The argument checks of DoRender; a status, with its diagnostic line written.
    OSStatus CheckRenderArgs(UInt32 inBusNumber, UInt32 inNumberFrames, AudioBufferList& ioData,
                             AUOutputElement*& outOutput);
    // Initialized, and no more frames than the maximum; a status, with its line written.
    OSStatus CheckProcessPreconditions(UInt32 inFramesToProcess) const;
    OSStatus CheckProcessArgs(UInt32 inFramesToProcess, AudioBufferList& ioData);
    OSStatus CheckProcessMultipleArgs(UInt32 inFramesToProcess, UInt32 inNumberInputBufferLists,
                                      const AudioBufferList** inInputBufferLists,
                                      UInt32 inNumberOutputBufferLists,
                                      AudioBufferList** ioOutputBufferLists);
    // What DoProcess and DoProcessMultiple share: the control register, the checks unless the
    // host says not to, one processing per sample time, and the error exit.
    template <class Check, class Process>
    OSStatus RunProcessCall(AudioUnitRenderActionFlags inActionFlags,
                            const AudioTimeStamp& inTimeStamp, const char* callName, Check check,
                            Process process);
    // The "from ..., <call> err" line and the error recorded for the host; returns `error`.
    OSStatus ReportCallError(const char* callName, OSStatus error);
    void CallRenderNotifications(AudioUnitRenderActionFlags flags,
                                 const AudioTimeStamp& inTimeStamp, UInt32 inBusNumber,
                                 UInt32 inNumberFrames, AudioBufferList& ioData);
    void StoreRenderThreadID()
    {
        if (mWantsRenderThreadID)
            mRenderThreadID.store(pthread_self(), std::memory_order_relaxed);
    }
    AUIOElement* FormatElement(AudioUnitScope inScope, AudioUnitElement inElement);

    bool mElementsCreated = false;
    std::atomic<bool> mInitialized{false};
    bool mHasBegunInitializing = false;
    UInt8 mAudioUnitAPIVersion = 2;
    const UInt32 mInitNumInputEls;
    const UInt32 mInitNumOutputEls;
    const UInt32 mInitNumGroupEls;
    AUScope mScopes[4];
    TThreadSafeList<RenderCallback> mRenderCallbacks;
    // Written by host threads, read by the render thread.
    std::atomic<bool> mRenderCallbacksTouched{false};
    std::atomic<pthread_t> mRenderThreadID{};
    bool mWantsRenderThreadID = false;
    AudioTimeStamp mCurrentRenderTime{};
    UInt32 mMaxFramesPerSlice = 0;
    // Set on the render thread, taken by the host's property read on another.
    std::atomic<OSStatus> mLastRenderError{noErr};
    AUPreset mCurrentPreset{};
    ParameterEventList mParamList;
    std::vector<PropertyListener> mPropertyListeners;
    bool mBuffersAllocated = false;
    mutable std::once_flag mLoggingStringOnce;
    mutable char mLoggingString[256] = {};
    CFStringRef mNickName = nullptr;
    HostCallbackInfo mHostCallbackInfo{};
    CFStringRef mContextName = nullptr;
    CAMutex* mAUMutex = nullptr;
};
