#include "AUBase.h"

#include "AUDiagnostics.h"
#include "CAAudioChannelLayout.h"
#include "CAFlushDenormals.h"
#include "CAMutex.h"
#include "CAVectorUnit.h"
#include "CatchAsStatus.h"

#include <syslog.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <type_traits>

namespace {

constexpr const char* kSourceFile = "AUPublic/AUBase/AUBase.cpp";
constexpr UInt32 kScheduledEventsReserved = 24;

OSStatus RequireNoErrFailed(const char* statement, OSStatus error, int line)
{
    fprintf(stderr, "ca_require_noerr: [%s, %d] (goto %s;) %s:%d\n", statement,
            static_cast<int>(error), "errexit", kSourceFile, line);
    return error;
}

SInt32 EventOffset(const AudioUnitParameterEvent& event)
{
    return event.eventType == kParameterEvent_Ramped
               ? event.eventValues.ramp.startBufferOffset
               : static_cast<SInt32>(event.eventValues.immediate.bufferOffset);
}

// The bytes a buffer needs for `frames` frames, in 64 bits: a 32-bit product of a huge slice
// wraps around to a small size and would let a too-small buffer through.
unsigned long long ExpectedBytes(UInt32 frames, const CAStreamBasicDescription& format)
{
    return static_cast<unsigned long long>(frames) * format.mBytesPerFrame;
}

// Invalidates a bus's buffer pointers when it goes out of scope, however the scope is left.
class BufferListInvalidation {
public:
    explicit BufferListInvalidation(AUIOElement* element) : mElement(element) {}
    ~BufferListInvalidation()
    {
        if (mElement != nullptr)
            mElement->InvalidateBufferList();
    }
    BufferListInvalidation(const BufferListInvalidation&) = delete;
    BufferListInvalidation& operator=(const BufferListInvalidation&) = delete;

private:
    AUIOElement* mElement;
};

bool FirstBufferHasNoData(const AudioBufferList& list)
{
    return list.mNumberBuffers == 0 || list.mBuffers[0].mData == nullptr;
}

// One kind of buffer list a render or process call is handed: the bus whose format it must
// match, how a refusal names it (after the call's own argument, so the names differ in their
// member arrows), and whether a buffer may come without data. A list the call may write is
// trimmed to the slice; an input of several lists is read only, so it is not.
struct BufferListKind {
    const char* bus;
    const char* list;
    bool indexed; // one of several lists: its name carries its index
    const char* countArrow;
    const char* bufferArrow;
    bool dataRequired;
};

constexpr BufferListKind kRenderedOutput{"output", "ioData", false, ".", ".", false};
constexpr BufferListKind kProcessedInPlace{"input", "ioData", false, ".", ".", false};
constexpr BufferListKind kInputOfMany{"input", "inInputBufferLists", true, "->", ".", true};
constexpr BufferListKind kOutputOfMany{"output", "ioOutputBufferLists", true, "->", "->", false};

// The list's name as a refusal writes it: "ioData", or "inInputBufferLists[2]".
struct ListName {
    ListName(const BufferListKind& kind, UInt32 index)
    {
        if (kind.indexed)
            snprintf(mText, sizeof mText, "%s[%u]", kind.list, index);
        else
            snprintf(mText, sizeof mText, "%s", kind.list);
    }
    char mText[40];
};

// The refusals of a render or process call's arguments: a line on standard error, and the status.
// Kept out of line and cold, so that the checks themselves stay short on the path that passes.
__attribute__((cold, noinline)) OSStatus RefuseBufferCount(const AudioBufferList& list,
                                                           const CAStreamBasicDescription& format,
                                                           const BufferListKind& kind, UInt32 index,
                                                           int line)
{
    fprintf(stderr,
            "%s:%d %s%smNumberBuffers=%u, "
            "%s->GetStreamFormat().NumberChannelStreams()=%u; kAudio_ParamError\n",
            kSourceFile, line, ListName(kind, index).mText, kind.countArrow, list.mNumberBuffers,
            kind.bus, format.NumberChannelStreams());
    return kAudio_ParamError;
}

__attribute__((cold, noinline)) OSStatus RefuseBufferSize(const AudioBuffer& buffer,
                                                          UInt32 bufferIndex, UInt32 frames,
                                                          const CAStreamBasicDescription& format,
                                                          const BufferListKind& kind, UInt32 index,
                                                          int line)
{
    fprintf(stderr,
            "%s:%d %u frames, %u bytes/frame, expected %llu-byte buffer; "
            "%s%smBuffers[%u].mDataByteSize=%u; kAudio_ParamError\n",
            kSourceFile, line, frames, format.mBytesPerFrame, ExpectedBytes(frames, format),
            ListName(kind, index).mText, kind.bufferArrow, bufferIndex, buffer.mDataByteSize);
    return kAudio_ParamError;
}

__attribute__((cold, noinline)) OSStatus RefuseTooManyFrames(UInt32 frames, UInt32 maxFrames)
{
    // A host that keeps asking for too much would flood the logs: one report a second.
    static std::atomic<time_t> lastTimeMessagePrinted{0};
    const time_t now = time(nullptr);
    time_t last = lastTimeMessagePrinted.load(std::memory_order_relaxed);
    if (now != last && lastTimeMessagePrinted.compare_exchange_strong(last, now)) {
        syslog(LOG_ERR,
               "kAudioUnitErr_TooManyFramesToProcess : inFramesToProcess=%u, "
               "mMaxFramesPerSlice=%u",
               frames, maxFrames);
        fprintf(stderr, "%s:%d inFramesToProcess=%u, mMaxFramesPerSlice=%u; TooManyFrames\n",
                kSourceFile, __LINE__, frames, maxFrames);
    }
    return kAudioUnitErr_TooManyFramesToProcess;
}

// A buffer list must have one buffer per channel stream of its bus's `format`, and each buffer
// with data must hold `frames` frames; where the list may be written, larger buffers are trimmed
// to exactly that (a buffer of that size already is left unwritten). `index` names the list
// among several. Inline: it sits on every render call.
template <class BufferList>
__attribute__((always_inline)) inline OSStatus
CheckBufferList(BufferList& list, UInt32 frames, const CAStreamBasicDescription& format,
                const BufferListKind& kind, UInt32 index, int line)
{
    if (format.NumberChannelStreams() != list.mNumberBuffers)
        return RefuseBufferCount(list, format, kind, index, line);
    const unsigned long long expected = ExpectedBytes(frames, format);
    for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
        auto& buffer = list.mBuffers[i];
        if (buffer.mData == nullptr) {
            if (kind.dataRequired)
                return kAudio_ParamError;
            continue;
        }
        if (buffer.mDataByteSize == expected)
            continue;
        if (buffer.mDataByteSize < expected)
            return RefuseBufferSize(buffer, i, frames, format, kind, index, line);
        if constexpr (!std::is_const_v<BufferList>)
            buffer.mDataByteSize = static_cast<UInt32>(expected);
    }
    return noErr;
}

// Every list of a call of several that the host handed (null ones are skipped), each against the
// bus of its own index.
template <class BufferList, class BusFormat>
OSStatus CheckBufferLists(BufferList* const* lists, UInt32 count, UInt32 frames,
                          BusFormat busFormat, const BufferListKind& kind, int line)
{
    for (UInt32 i = 0; i < count; ++i) {
        if (lists[i] == nullptr)
            continue;
        if (const OSStatus status = CheckBufferList(*lists[i], frames, busFormat(i), kind, i, line))
            return status;
    }
    return noErr;
}

} // namespace

CFStringRef AUBase::kUntitledString = nullptr;
CFStringRef AUBase::kVersionString = nullptr;
CFStringRef AUBase::kTypeString = nullptr;
CFStringRef AUBase::kSubtypeString = nullptr;
CFStringRef AUBase::kManufacturerString = nullptr;
CFStringRef AUBase::kDataString = nullptr;
CFStringRef AUBase::kNameString = nullptr;
CFStringRef AUBase::kRenderQualityString = nullptr;
CFStringRef AUBase::kCPULoadString = nullptr;
CFStringRef AUBase::kElementNameString = nullptr;
CFStringRef AUBase::kPartString = nullptr;
std::atomic<SInt32> AUBase::sVectorUnitType{-1};

void AUBase::InitializeClassStrings()
{
    // Units may be constructed on several threads; the strings are set exactly once.
    static const bool sAUBaseCFStringsInitialized = [] {
        kUntitledString = CFSTR("Untitled");
        kVersionString = CFSTR("version");
        kTypeString = CFSTR("type");
        kSubtypeString = CFSTR("subtype");
        kManufacturerString = CFSTR("manufacturer");
        kDataString = CFSTR("data");
        kNameString = CFSTR("name");
        kRenderQualityString = CFSTR("render-quality");
        kCPULoadString = CFSTR("cpu-load");
        kElementNameString = CFSTR("element-name");
        kPartString = CFSTR("part");
        return true;
    }();
    (void)sAUBaseCFStringsInitialized;
}

AUBase::AUBase(AudioComponentInstance inInstance, UInt32 numInputElements, UInt32 numOutputElements,
               UInt32 numGroupElements)
    : ComponentBase(inInstance), mInitNumInputEls(numInputElements),
      mInitNumOutputEls(numOutputElements), mInitNumGroupEls(numGroupElements)
{
    ResetRenderTime();
    InitializeClassStrings();
    SInt32 unknown = -1;
    sVectorUnitType.compare_exchange_strong(unknown, CAVectorUnit::GetVectorUnitType());
    mAudioUnitAPIVersion = 2;
    // Virtual calls from here resolve to AUBase's own versions: the global element is always
    // a plain AUElement, whatever a subclass would create.
    SetMaxFramesPerSlice(kDefaultMaxFramesPerSlice);
    GlobalScope().Initialize(this, kAudioUnitScope_Global, 1);
    mCurrentPreset.presetNumber = -1;
    mCurrentPreset.presetName = kUntitledString;
    CFRetain(mCurrentPreset.presetName);
}

AUBase::~AUBase()
{
    if (mCurrentPreset.presetName != nullptr)
        CFRelease(mCurrentPreset.presetName);
    if (mContextName != nullptr)
        CFRelease(mContextName);
    if (mNickName != nullptr)
        CFRelease(mNickName);
    // The listeners, scheduled events, notification nodes and scopes (last scope first) go
    // with the members, in reverse order of declaration.
}

void AUBase::PreDestructor()
{
    // A unit class's shared mutex keeps its other host calls out while it is cleaned up.
    CAMutex::Locker locker(mAUMutex);
    DoCleanup();
}

// ---- Lifecycle ----

void AUBase::CreateElements()
{
    if (mElementsCreated)
        return;
    Inputs().Initialize(this, kAudioUnitScope_Input, mInitNumInputEls);
    Outputs().Initialize(this, kAudioUnitScope_Output, mInitNumOutputEls);
    Groups().Initialize(this, kAudioUnitScope_Group, mInitNumGroupEls);
    CreateExtendedElements();
    mElementsCreated = true;
}

OSStatus AUBase::DoInitialize()
{
    if (IsInitialized())
        return noErr;
    const OSStatus result = Initialize();
    if (result != noErr)
        return result;
    if (CanScheduleParameters())
        mParamList.reserve(kScheduledEventsReserved);
    mHasBegunInitializing = true;
    ReallocateBuffers();
    // A sequentially consistent store is a full barrier: a render thread that sees the flag
    // also sees the buffers.
    mInitialized.store(true, std::memory_order_seq_cst);
    return noErr;
}

void AUBase::DoCleanup()
{
    if (IsInitialized())
        Cleanup();
    DeallocateIOBuffers();
    ResetRenderTime();
    mInitialized.store(false, std::memory_order_seq_cst);
    mHasBegunInitializing = false;
}

OSStatus AUBase::Reset(AudioUnitScope /*inScope*/, AudioUnitElement /*inElement*/)
{
    ResetRenderTime();
    return noErr;
}

void AUBase::ResetRenderTime()
{
    mCurrentRenderTime = AudioTimeStamp{};
    mCurrentRenderTime.mSampleTime = -1.0;
}

void AUBase::SetWantsRenderThreadID(bool inFlag)
{
    if (inFlag == mWantsRenderThreadID)
        return;
    mWantsRenderThreadID = inFlag;
    if (!inFlag)
        mRenderThreadID.store(pthread_t{}, std::memory_order_relaxed);
}

bool AUBase::InRenderThread() const
{
    const pthread_t renderThread = mRenderThreadID.load(std::memory_order_relaxed);
    return renderThread != pthread_t{} && pthread_equal(renderThread, pthread_self());
}

const char* AUBase::GetLoggingString() const
{
    std::call_once(mLoggingStringOnce, [this] {
        const AudioComponentDescription desc = GetComponentDescription();
        char type[24], subtype[24], manufacturer[24];
        snprintf(mLoggingString, sizeof(mLoggingString), "AU (%p): %s %s %s",
                 static_cast<void*>(GetComponentInstance()),
                 CAStringForOSType(desc.componentType, type, sizeof(type)),
                 CAStringForOSType(desc.componentSubType, subtype, sizeof(subtype)),
                 CAStringForOSType(desc.componentManufacturer, manufacturer, sizeof(manufacturer)));
    });
    return mLoggingString;
}

// ---- Buffers ----

void AUBase::ReallocateBuffers()
{
    CreateElements();
    for (UInt32 i = 0; i < Outputs().GetNumberOfElements(); ++i)
        GetOutput(i)->AllocateBuffer();
    for (UInt32 i = 0; i < Inputs().GetNumberOfElements(); ++i)
        GetInput(i)->AllocateBuffer();
    mBuffersAllocated = true;
}

void AUBase::DeallocateIOBuffers()
{
    if (!mBuffersAllocated)
        return;
    for (UInt32 i = 0; i < Outputs().GetNumberOfElements(); ++i)
        GetOutput(i)->DeallocateBuffer();
    for (UInt32 i = 0; i < Inputs().GetNumberOfElements(); ++i)
        GetInput(i)->DeallocateBuffer();
    mBuffersAllocated = false;
}

void AUBase::SetMaxFramesPerSlice(UInt32 nFrames)
{
    mMaxFramesPerSlice = nFrames;
    if (mBuffersAllocated)
        ReallocateBuffers();
    PropertyChanged(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0);
}

OSStatus AUBase::CanSetMaxFrames() const
{
    return IsInitialized() ? OSStatus(kAudioUnitErr_Initialized) : OSStatus(noErr);
}

// ---- Scopes and elements ----

AUScope& AUBase::GetScope(AudioUnitScope inScope)
{
    if (inScope < 4)
        return mScopes[inScope];
    AUScope* extended = GetScopeExtended(inScope);
    if (extended == nullptr)
        throw static_cast<int>(kAudioUnitErr_InvalidScope);
    return *extended;
}

AUElement* AUBase::CreateElement(AudioUnitScope scope, AudioUnitElement /*element*/)
{
    switch (scope) {
    case kAudioUnitScope_Global:
    case kAudioUnitScope_Group:
    case kAudioUnitScope_Part:
        return new AUElement(this);
    case kAudioUnitScope_Input:
        return new AUInputElement(this);
    case kAudioUnitScope_Output:
        return new AUOutputElement(this);
    default:
        throw static_cast<int>(kAudioUnitErr_InvalidScope);
    }
}

void AUBase::SetNumberOfElements(AudioUnitScope inScope, UInt32 numElements)
{
    if (inScope == kAudioUnitScope_Global) {
        if (numElements != 1)
            throw static_cast<int>(kAudioUnitErr_InvalidScope);
        return;
    }
    GetScope(inScope).SetNumberOfElements(numElements);
}

OSStatus AUBase::SetBusCount(AudioUnitScope inScope, UInt32 inCount)
{
    if (IsInitialized())
        return kAudioUnitErr_Initialized;
    GetScope(inScope).SetNumberOfElements(inCount);
    return noErr;
}

// ---- Parameters ----

OSStatus AUBase::GetParameter(AudioUnitParameterID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, AudioUnitParameterValue& outValue)
{
    outValue = SafeGetElement(inScope, inElement)->GetParameter(inID);
    return noErr;
}

OSStatus AUBase::SetParameter(AudioUnitParameterID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, AudioUnitParameterValue inValue,
                              UInt32 /*inBufferOffsetInFrames*/)
{
    SafeGetElement(inScope, inElement)->SetParameter(inID, inValue);
    return noErr;
}

OSStatus AUBase::GetParameterList(AudioUnitScope inScope, AudioUnitParameterID* outParameterList,
                                  UInt32& outNumParameters)
{
    AUScope& scope = GetScope(inScope);
    AUElement* fullest = nullptr;
    UInt32 largest = 0;
    for (UInt32 i = 0; i < scope.GetNumberOfElements(); ++i) {
        AUElement* element = scope.GetElement(i);
        const UInt32 count = element->GetNumberOfParameters();
        if (fullest == nullptr || count > largest) {
            fullest = element;
            largest = count;
        }
    }
    outNumParameters = largest;
    if (outParameterList != nullptr && fullest != nullptr)
        fullest->GetParameterList(outParameterList);
    return noErr;
}

OSStatus AUBase::GetParameterInfo(AudioUnitScope /*inScope*/,
                                  AudioUnitParameterID /*inParameterID*/,
                                  AudioUnitParameterInfo& /*outParameterInfo*/)
{
    return kAudioUnitErr_InvalidParameter;
}

OSStatus AUBase::GetParameterHistoryInfo(AudioUnitScope /*inScope*/,
                                         AudioUnitParameterID /*inParameterID*/,
                                         Float32& /*outUpdatesPerSecond*/,
                                         Float32& /*outHistoryDurationInSeconds*/)
{
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::GetParameterValueStrings(AudioUnitScope /*inScope*/,
                                          AudioUnitParameterID /*inParameterID*/,
                                          CFArrayRef* /*outStrings*/)
{
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::CopyClumpName(AudioUnitScope /*inScope*/, UInt32 /*inClumpID*/,
                               UInt32 /*inDesiredNameLength*/, CFStringRef* /*outClumpName*/)
{
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::GetPresets(CFArrayRef* /*outData*/) const
{
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::NewFactoryPresetSet(const AUPreset& /*inNewFactoryPreset*/)
{
    return kAudioUnitErr_InvalidProperty;
}

// ---- Formats ----

bool AUBase::FormatIsCanonical(const CAStreamBasicDescription& f)
{
    return f.mFormatID == kAudioFormatLinearPCM && f.mFramesPerPacket == 1 &&
           f.mBytesPerPacket == f.mBytesPerFrame && (f.mFormatFlags & kAudioFormatFlagIsFloat) &&
           (f.mChannelsPerFrame == 1 || (f.mFormatFlags & kAudioFormatFlagIsNonInterleaved)) &&
           !(f.mFormatFlags & kAudioFormatFlagIsBigEndian) && f.mBitsPerChannel == 32 &&
           f.mBytesPerFrame == f.NumberInterleavedChannels() * sizeof(Float32);
}

void AUBase::MakeCanonicalFormat(CAStreamBasicDescription& outDesc, int nChannels)
{
    outDesc.SetAUCanonical(static_cast<UInt32>(nChannels), false);
    outDesc.mSampleRate = 0.0;
}

bool AUBase::ValidFormat(AudioUnitScope /*inScope*/, AudioUnitElement /*inElement*/,
                         const CAStreamBasicDescription& inNewFormat)
{
    return FormatIsCanonical(inNewFormat);
}

AUIOElement* AUBase::FormatElement(AudioUnitScope inScope, AudioUnitElement inElement)
{
    switch (inScope) {
    case kAudioUnitScope_Global:
        return GetIOElement(kAudioUnitScope_Output, 0);
    case kAudioUnitScope_Input:
    case kAudioUnitScope_Output:
        return GetIOElement(inScope, inElement);
    default:
        throw static_cast<int>(kAudioUnitErr_InvalidScope);
    }
}

const CAStreamBasicDescription& AUBase::GetStreamFormat(AudioUnitScope inScope,
                                                        AudioUnitElement inElement)
{
    return FormatElement(inScope, inElement)->GetStreamFormat();
}

OSStatus AUBase::ChangeStreamFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                                    const CAStreamBasicDescription& /*inPrevFormat*/,
                                    const CAStreamBasicDescription& inNewFormat)
{
    FormatElement(inScope, inElement)->SetStreamFormat(inNewFormat);
    PropertyChanged(kAudioUnitProperty_StreamFormat, inScope, inElement);
    return noErr;
}

UInt32 AUBase::SupportedNumChannels(const AUChannelInfo** /*outInfo*/)
{
    return 0;
}

// ---- Channel layouts ----

UInt32 AUBase::GetChannelLayoutTags(AudioUnitScope scope, AudioUnitElement element,
                                    AudioChannelLayoutTag* outLayoutTags)
{
    return GetIOElement(scope, element)->GetChannelLayoutTags(outLayoutTags);
}

UInt32 AUBase::GetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element,
                                     AudioChannelLayout* outLayoutPtr, Boolean& outWritable)
{
    return GetIOElement(scope, element)->GetAudioChannelLayout(outLayoutPtr, outWritable);
}

OSStatus AUBase::SetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element,
                                       const AudioChannelLayout* inLayout)
{
    AUIOElement* ioElement = GetIOElement(scope, element);
    if (ioElement->GetStreamFormat().NumberChannels() !=
        CAAudioChannelLayout::NumberChannels(*inLayout))
        return kAudioUnitErr_InvalidPropertyValue;

    const UInt32 numberTags = GetChannelLayoutTags(scope, element, nullptr);
    if (numberTags == 0)
        return kAudioUnitErr_InvalidProperty;
    // Freed however the subclass's tag list answers, a throw included.
    std::unique_ptr<AudioChannelLayoutTag, decltype(&std::free)> tags(
        static_cast<AudioChannelLayoutTag*>(
            CA_malloc(size_t(numberTags) * sizeof(AudioChannelLayoutTag))),
        &std::free);
    GetChannelLayoutTags(scope, element, tags.get());
    bool accepted = false;
    for (UInt32 i = 0; i < numberTags && !accepted; ++i)
        accepted = tags.get()[i] == inLayout->mChannelLayoutTag ||
                   tags.get()[i] == kAudioChannelLayoutTag_UseChannelDescriptions;
    if (!accepted)
        return kAudioUnitErr_InvalidPropertyValue;
    return ioElement->SetAudioChannelLayout(*inLayout);
}

OSStatus AUBase::RemoveAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element)
{
    AUIOElement* ioElement = GetIOElement(scope, element);
    Boolean writable = false;
    if (ioElement->GetAudioChannelLayout(nullptr, writable) == 0)
        return noErr;
    return ioElement->RemoveAudioChannelLayout();
}

// ---- Connections ----

OSStatus AUBase::SetInputCallback(UInt32 inPropertyID, AudioUnitElement inElement,
                                  AURenderCallback inProc, void* inRefCon)
{
    GetInput(inElement)->SetInputCallback(inProc, inRefCon);
    PropertyChanged(inPropertyID, kAudioUnitScope_Input, inElement);
    return noErr;
}

OSStatus AUBase::SetConnection(const AudioUnitConnection& inConnection)
{
    AUInputElement* input = GetInput(inConnection.destInputNumber);
    if (inConnection.sourceAudioUnit != nullptr) {
        CAStreamBasicDescription sourceDesc;
        UInt32 size = sizeof(CAStreamBasicDescription);
        OSStatus err = AudioUnitGetProperty(inConnection.sourceAudioUnit,
                                            kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output,
                                            inConnection.sourceOutputNumber, &sourceDesc, &size);
        if (err != noErr)
            return RequireNoErrFailed("err = AudioUnitGetProperty( inConnection.sourceAudioUnit, "
                                      "kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, "
                                      "inConnection.sourceOutputNumber, &sourceDesc, &size)",
                                      err, __LINE__);
        err = DispatchSetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input,
                                  inConnection.destInputNumber, &sourceDesc,
                                  sizeof(CAStreamBasicDescription));
        if (err != noErr)
            return RequireNoErrFailed(
                "err = DispatchSetProperty (kAudioUnitProperty_StreamFormat, "
                "kAudioUnitScope_Input, inConnection.destInputNumber, &sourceDesc, "
                "sizeof(CAStreamBasicDescription))",
                err, __LINE__);
    }
    input->SetConnection(inConnection);
    PropertyChanged(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input,
                    inConnection.destInputNumber);
    return noErr;
}

// ---- Render notifications and errors ----

OSStatus AUBase::SetRenderNotification(AURenderCallback inProc, void* inRefCon)
{
    if (inProc == nullptr)
        return kAudio_ParamError;
    mRenderCallbacksTouched.store(true, std::memory_order_release);
    mRenderCallbacks.deferred_add(RenderCallback{inProc, inRefCon});
    return noErr;
}

OSStatus AUBase::RemoveRenderNotification(AURenderCallback inProc, void* inRefCon)
{
    mRenderCallbacks.deferred_remove(RenderCallback{inProc, inRefCon});
    return noErr;
}

void AUBase::CallRenderNotifications(AudioUnitRenderActionFlags flags,
                                     const AudioTimeStamp& inTimeStamp, UInt32 inBusNumber,
                                     UInt32 inNumberFrames, AudioBufferList& ioData)
{
    // The notifications of one pass share one flags word, so what one sets is seen by the ones
    // after it; being a copy, it never reaches the host's flags.
    for (auto it = mRenderCallbacks.begin(); it != mRenderCallbacks.end(); ++it)
        (*it).mRenderNotify((*it).mRenderNotifyRefCon, &flags, &inTimeStamp, inBusNumber,
                            inNumberFrames, &ioData);
}

OSStatus AUBase::SetRenderError(OSStatus inError)
{
    // The host may take the stored error on its own thread at this very moment: only an error
    // that really lands in an empty slot is announced, so each one is notified once and read once.
    OSStatus empty = noErr;
    if (inError != noErr && mLastRenderError.compare_exchange_strong(empty, inError))
        PropertyChanged(kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0);
    return inError;
}

OSStatus AUBase::TakeLastRenderError()
{
    return mLastRenderError.exchange(noErr);
}

// ---- The render call ----

__attribute__((always_inline)) inline OSStatus AUBase::CheckRenderArgs(UInt32 inBusNumber,
                                                                       UInt32 inNumberFrames,
                                                                       AudioBufferList& ioData,
                                                                       AUOutputElement*& outOutput)
{
    if (!IsInitialized())
        return AURequireFailed("IsInitialized()", "Uninitialized", kSourceFile, __LINE__,
                               kAudioUnitErr_Uninitialized);
    if (inNumberFrames > mMaxFramesPerSlice)
        return RefuseTooManyFrames(inNumberFrames, mMaxFramesPerSlice);
    outOutput = GetOutput(inBusNumber);
    return CheckBufferList(ioData, inNumberFrames, outOutput->GetStreamFormat(), kRenderedOutput, 0,
                           __LINE__);
}

__attribute__((always_inline)) inline OSStatus
AUBase::DoRenderBus(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& inTimeStamp,
                    UInt32 inBusNumber, AUOutputElement* theOutput, UInt32 inNumberFrames,
                    AudioBufferList& ioData)
{
    const bool callerWantsOurBuffers = FirstBufferHasNoData(ioData);
    if (callerWantsOurBuffers ||
        (theOutput->WillAllocateBuffer() && Outputs().GetNumberOfElements() > 1))
        theOutput->PrepareBuffer(inNumberFrames);
    else
        theOutput->SetBufferList(ioData);

    // The caller's buffers belong to this call only, however it ends: no later render may find
    // them still in place and write into them.
    const BufferListInvalidation forgetCallersBuffers(callerWantsOurBuffers ? nullptr : theOutput);

    const OSStatus result = RenderBus(ioActionFlags, inTimeStamp, inBusNumber, inNumberFrames);
    if (result == noErr) {
        if (callerWantsOurBuffers)
            theOutput->CopyBufferListTo(ioData);
        else
            theOutput->CopyBufferContentsTo(ioData);
    }
    return result;
}

OSStatus AUBase::DoRender(AudioUnitRenderActionFlags& ioActionFlags,
                          const AudioTimeStamp& inTimeStamp, UInt32 inBusNumber,
                          UInt32 inNumberFrames, AudioBufferList& ioData)
{
    CAFlushDenormalsScope flushDenormals;
    OSStatus result = noErr;
    const OSStatus error = CatchAsRenderError([&]() -> OSStatus {
        AUOutputElement* output = nullptr;
        const OSStatus checked = CheckRenderArgs(inBusNumber, inNumberFrames, ioData, output);
        if (checked != noErr)
            return checked;
        StoreRenderThreadID();

        const bool notify = mRenderCallbacksTouched.load(std::memory_order_acquire);
        if (notify) {
            mRenderCallbacks.update();
            CallRenderNotifications(ioActionFlags | kAudioUnitRenderAction_PreRender, inTimeStamp,
                                    inBusNumber, inNumberFrames, ioData);
        }
        result =
            DoRenderBus(ioActionFlags, inTimeStamp, inBusNumber, output, inNumberFrames, ioData);
        if (notify) {
            AudioUnitRenderActionFlags flags = ioActionFlags | kAudioUnitRenderAction_PostRender;
            if (SetRenderError(result) != noErr)
                flags |= kAudioUnitRenderAction_PostRenderError;
            CallRenderNotifications(flags, inTimeStamp, inBusNumber, inNumberFrames, ioData);
        }
        // Scheduled events belong to this call only; clearing keeps the capacity.
        mParamList.clear();
        return noErr;
    });
    if (error != noErr)
        return ReportCallError("render", error);
    return result;
}

OSStatus AUBase::ReportCallError(const char* callName, OSStatus error)
{
    fprintf(stderr, "from %s, %s err: %d\n", GetLoggingString(), callName, static_cast<int>(error));
    return SetRenderError(error);
}

OSStatus AUBase::RenderBus(AudioUnitRenderActionFlags& ioActionFlags,
                           const AudioTimeStamp& inTimeStamp, UInt32 /*inBusNumber*/,
                           UInt32 inNumberFrames)
{
    if (NeedsToRender(inTimeStamp))
        return Render(ioActionFlags, inTimeStamp, inNumberFrames);
    return noErr;
}

OSStatus AUBase::Render(AudioUnitRenderActionFlags& /*ioActionFlags*/,
                        const AudioTimeStamp& /*inTimeStamp*/, UInt32 /*inNumberFrames*/)
{
    return noErr;
}

// ---- In-place processing ----

OSStatus AUBase::CheckProcessPreconditions(UInt32 inFramesToProcess) const
{
    if (!IsInitialized())
        return AURequireFailed("IsInitialized()", "Uninitialized", kSourceFile, __LINE__,
                               kAudioUnitErr_Uninitialized);
    if (inFramesToProcess > mMaxFramesPerSlice)
        return AURequireFailed("inFramesToProcess <= mMaxFramesPerSlice", "TooManyFrames",
                               kSourceFile, __LINE__, kAudioUnitErr_TooManyFramesToProcess);
    return noErr;
}

template <class Check, class Process>
OSStatus AUBase::RunProcessCall(AudioUnitRenderActionFlags inActionFlags,
                                const AudioTimeStamp& inTimeStamp, const char* callName,
                                Check check, Process process)
{
    CAFlushDenormalsScope flushDenormals;
    OSStatus result = noErr;
    const OSStatus error = CatchAsRenderError([&]() -> OSStatus {
        if (!(inActionFlags & kAudioUnitRenderAction_DoNotCheckRenderArgs)) {
            const OSStatus checked = check();
            if (checked != noErr)
                return checked;
        }
        StoreRenderThreadID();
        if (NeedsToRender(inTimeStamp))
            result = process();
        return noErr;
    });
    if (error != noErr)
        return ReportCallError(callName, error);
    return result;
}

OSStatus AUBase::CheckProcessArgs(UInt32 inFramesToProcess, AudioBufferList& ioData)
{
    const OSStatus status = CheckProcessPreconditions(inFramesToProcess);
    if (status != noErr)
        return status;
    return CheckBufferList(ioData, inFramesToProcess, GetInput(0)->GetStreamFormat(),
                           kProcessedInPlace, 0, __LINE__);
}

OSStatus AUBase::DoProcess(AudioUnitRenderActionFlags& ioActionFlags,
                           const AudioTimeStamp& inTimeStamp, UInt32 inFramesToProcess,
                           AudioBufferList& ioData)
{
    return RunProcessCall(
        ioActionFlags, inTimeStamp, "process",
        [&] { return CheckProcessArgs(inFramesToProcess, ioData); },
        [&] { return ProcessBufferLists(ioActionFlags, ioData, ioData, inFramesToProcess); });
}

OSStatus AUBase::CheckProcessMultipleArgs(UInt32 inFramesToProcess, UInt32 inNumberInputBufferLists,
                                          const AudioBufferList** inInputBufferLists,
                                          UInt32 inNumberOutputBufferLists,
                                          AudioBufferList** ioOutputBufferLists)
{
    if (const OSStatus status = CheckProcessPreconditions(inFramesToProcess))
        return status;
    if (const OSStatus status = CheckBufferLists(
            inInputBufferLists, inNumberInputBufferLists, inFramesToProcess,
            [this](UInt32 bus) -> const CAStreamBasicDescription& {
                return GetInput(bus)->GetStreamFormat();
            },
            kInputOfMany, __LINE__))
        return status;
    return CheckBufferLists(
        ioOutputBufferLists, inNumberOutputBufferLists, inFramesToProcess,
        [this](UInt32 bus) -> const CAStreamBasicDescription& {
            return GetOutput(bus)->GetStreamFormat();
        },
        kOutputOfMany, __LINE__);
}

OSStatus AUBase::DoProcessMultiple(AudioUnitRenderActionFlags& ioActionFlags,
                                   const AudioTimeStamp& inTimeStamp, UInt32 inFramesToProcess,
                                   UInt32 inNumberInputBufferLists,
                                   const AudioBufferList** inInputBufferLists,
                                   UInt32 inNumberOutputBufferLists,
                                   AudioBufferList** ioOutputBufferLists)
{
    return RunProcessCall(
        ioActionFlags, inTimeStamp, "processmultiple",
        [&] {
            return CheckProcessMultipleArgs(inFramesToProcess, inNumberInputBufferLists,
                                            inInputBufferLists, inNumberOutputBufferLists,
                                            ioOutputBufferLists);
        },
        [&] {
            return ProcessMultipleBufferLists(ioActionFlags, inFramesToProcess,
                                              inNumberInputBufferLists, inInputBufferLists,
                                              inNumberOutputBufferLists, ioOutputBufferLists);
        });
}

OSStatus AUBase::ProcessBufferLists(AudioUnitRenderActionFlags&, const AudioBufferList&,
                                    AudioBufferList&, UInt32)
{
    return kAudio_UnimplementedError;
}

OSStatus AUBase::ProcessMultipleBufferLists(AudioUnitRenderActionFlags&, UInt32, UInt32,
                                            const AudioBufferList**, UInt32, AudioBufferList**)
{
    return kAudio_UnimplementedError;
}

OSStatus AUBase::ComplexRender(AudioUnitRenderActionFlags&, const AudioTimeStamp&, UInt32, UInt32,
                               UInt32*, AudioStreamPacketDescription*, AudioBufferList&, void*,
                               UInt32*)
{
    return kAudio_UnimplementedError;
}

// ---- Scheduled parameters ----

OSStatus AUBase::ScheduleParameter(const AudioUnitParameterEvent* inParameterEvent,
                                   UInt32 inNumEvents)
{
    const bool canSchedule = CanScheduleParameters();
    OSStatus result = noErr;
    for (UInt32 i = 0; i < inNumEvents; ++i) {
        const AudioUnitParameterEvent& event = inParameterEvent[i];
        if (event.eventType == kParameterEvent_Immediate)
            SetParameter(event.parameter, event.scope, event.element,
                         event.eventValues.immediate.value,
                         event.eventValues.immediate.bufferOffset);
        if (!canSchedule)
            continue;
        // Hosts schedule from their pre-render notification, on the render thread, so the list
        // never grows past the room reserved at initialization; a failed render call does not
        // empty it either.
        if (mParamList.size() < mParamList.capacity())
            mParamList.push_back(event);
        else
            result = kAudio_MemFullError;
    }
    return result;
}

OSStatus AUBase::ProcessForScheduledParams(ParameterEventList& inParamList,
                                           UInt32 inFramesToProcess, void* inUserData)
{
    std::sort(inParamList.begin(), inParamList.end(),
              [](const AudioUnitParameterEvent& a, const AudioUnitParameterEvent& b) {
                  return EventOffset(a) < EventOffset(b);
              });

    OSStatus result = noErr;
    SInt64 framesRemaining = inFramesToProcess;
    UInt32 sliceStart = 0;
    while (framesRemaining > 0) {
        // The slice ends at the next event after its start, or where a ramp ends first.
        SInt64 nextStart = inFramesToProcess;
        for (const AudioUnitParameterEvent& event : inParamList) {
            const SInt64 offset = EventOffset(event);
            if (sliceStart < offset && offset < nextStart) {
                nextStart = offset;
                break;
            }
            if (event.eventType == kParameterEvent_Ramped) {
                const SInt64 end = offset + event.eventValues.ramp.durationInFrames;
                if (sliceStart < end && end < nextStart)
                    nextStart = end;
            }
        }
        const UInt32 sliceFrames = static_cast<UInt32>(nextStart - sliceStart);

        for (const AudioUnitParameterEvent& event : inParamList) {
            const SInt64 offset = EventOffset(event);
            const bool inSlice =
                event.eventType == kParameterEvent_Ramped
                    ? offset < nextStart &&
                          offset + event.eventValues.ramp.durationInFrames > sliceStart
                    : static_cast<UInt32>(offset) <= sliceStart;
            if (!inSlice)
                continue;
            if (AUElement* element = GetElement(event.scope, event.element))
                element->SetScheduledEvent(event.parameter, event, sliceStart, sliceFrames);
        }

        result = ProcessScheduledSlice(inUserData, sliceStart, sliceFrames, inFramesToProcess);
        if (result != noErr)
            break;
        framesRemaining -= sliceFrames;
        sliceStart = static_cast<UInt32>(nextStart);
    }
    return result;
}
