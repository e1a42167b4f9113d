#include "PlenkoOutPlugin.h"

#include <AudioUnit/AudioUnitProperties.h>
#include <AudioUnit/MusicDevice.h>
#include <CoreAudio/HostTime.h>
#include <CoreFoundation/CoreFoundation.h>

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace {

constexpr uint8_t kSysExStart = 0xF0;

bool SameValue(float a, float b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

template <typename Value> Value ValueOf(const void* data)
{
    Value value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

// The text of a string value of a state, which need not end in a terminator; nothing for another
// type.
std::optional<std::string> TextOf(const void* value, size_t size, uint32_t type, LV2_URID string)
{
    if (value == nullptr || type != string)
        return std::nullopt;
    const char* text = static_cast<const char*>(value);
    return std::string(text, strnlen(text, size));
}

} // namespace

PlenkoOutPlugin::PlenkoOutPlugin(double sampleRate, const std::string& bundlePath,
                                 const LV2_Feature* const* features)
    : mSampleRate(sampleRate), mClock(sampleRate, AudioGetHostClockFrequency()),
      mStartFloor(AudioGetHostClockFrequency())
{
    LV2_URID_Map* map = nullptr;
    ReadFeatures(features, map);
    if (map == nullptr)
        throw std::runtime_error("the host gives no URID map");
    mUnit = std::make_unique<BundledUnit>(
        (std::filesystem::path(bundlePath) / kUnitBundleName).string(), kPlenkoOutComponent);
    mAudioUnit = mUnit->Unit();
    mUnit->Initialize(sampleRate, mMaxFrames);
    // The unit takes the output's sample rate for its stamps when it is reset.
    AudioUnitReset(mAudioUnit, kAudioUnitScope_Output, 0);
    TakeUnitsParameters();
    if (mSchedule == nullptr)
        mJobThread = std::make_unique<JobThread>([this] { PerformJobs(); });
}

PlenkoOutPlugin::~PlenkoOutPlugin()
{
    mJobThread.reset();
}

void PlenkoOutPlugin::ReadFeatures(const LV2_Feature* const* features, LV2_URID_Map*& map)
{
    LV2_Log_Log* log = nullptr;
    const LV2_Options_Option* options = nullptr;
    for (const LV2_Feature* const* feature = features; feature && *feature; ++feature) {
        const char* uri = (*feature)->URI;
        if (std::strcmp(uri, LV2_URID__map) == 0)
            map = static_cast<LV2_URID_Map*>((*feature)->data);
        else if (std::strcmp(uri, LV2_LOG__log) == 0)
            log = static_cast<LV2_Log_Log*>((*feature)->data);
        else if (std::strcmp(uri, LV2_WORKER__schedule) == 0)
            mSchedule = static_cast<const LV2_Worker_Schedule*>((*feature)->data);
        else if (std::strcmp(uri, LV2_OPTIONS__options) == 0)
            options = static_cast<const LV2_Options_Option*>((*feature)->data);
    }
    lv2_log_logger_init(&mLogger, map, log);
    if (map == nullptr)
        return;
    const auto urid = [&](const char* uri) { return map->map(map->handle, uri); };
    mURIs = {urid(LV2_MIDI__MidiEvent),
             urid(LV2_ATOM__String),
             urid(LV2_ATOM__Int),
             urid(LV2_ATOM__Float),
             urid(LV2_ATOM__Chunk),
             urid(LV2_BUF_SIZE__maxBlockLength),
             urid(PLENKO_OUT__classInfo),
             urid(PLENKO_OUT__destination),
             urid(PLENKO_OUT__destinationId),
             urid(PLENKO_OUT__txDevice)};
    for (const LV2_Options_Option* option = options; option && option->key != 0; ++option) {
        if (option->key == mURIs.maxBlockLength && option->type == mURIs.atomInt &&
            option->size == sizeof(int32_t) && option->value != nullptr) {
            const int32_t frames = ValueOf<int32_t>(option->value);
            if (frames > 0)
                mMaxFrames = std::min(UInt32(frames), kLargestMaxFrames);
        }
    }
}

void PlenkoOutPlugin::ConnectPort(uint32_t port, void* data)
{
    switch (port) {
    case kPortMIDIIn:
        mMIDIIn = static_cast<const LV2_Atom_Sequence*>(data);
        break;
    case kPortLatency:
        mLatency = static_cast<float*>(data);
        break;
    case kPortOutLeft:
    case kPortOutRight:
        mOutputs[port - kPortOutLeft] = static_cast<float*>(data);
        break;
    default:
        for (size_t i = 0; i < std::size(kParameterPorts); ++i)
            if (kParameterPorts[i].port == port)
                mControls[i] = static_cast<const float*>(data);
        break;
    }
}

void PlenkoOutPlugin::Run(uint32_t frames)
{
    const UInt64 arrival = AudioGetCurrentHostTime();
    CycleClock::Cycle cycle = mClock.Next(arrival, frames);
    MIDIAudioServerCycle server{};
    const bool serverKnown = MIDIGetAudioServerCycle(&server) == noErr;
    if (const auto start = mServerCycle.Follow(serverKnown ? &server : nullptr, arrival, frames,
                                               UInt32(mSampleRate + 0.5))) {
        cycle.hostTime = start->hostTime;
        cycle.ticksPerFrame = start->ticksPerFrame;
    }
    cycle.hostTime = mStartFloor.Start(cycle.hostTime);
    mLastCycle = {cycle.sampleTime, cycle.hostTime, cycle.ticksPerFrame};
    ForwardControls();
    RenderCycle(cycle, frames);
    // By the host clock, not the frames: a host that renders faster than real time need not
    // wake the worker more often.
    if (arrival >= mNextRefresh) {
        mNextRefresh = arrival + UInt64(kLatencyRefreshSeconds * AudioGetHostClockFrequency());
        mJobsPending = true;
    }
    if (mJobsPending)
        ScheduleJobs();
    if (mLatency != nullptr)
        *mLatency = mLatencyFrames.load(std::memory_order_relaxed);
}

void PlenkoOutPlugin::ForwardControls()
{
    for (size_t i = 0; i < std::size(kParameterPorts); ++i) {
        if (mControls[i] == nullptr)
            continue;
        const float value = *mControls[i];
        const bool first = !mKnown[i];
        if (!first && SameValue(value, mForwarded[i]))
            continue;
        mKnown[i] = true;
        mForwarded[i] = value;
        if (kParameterPorts[i].parameter != kParameterTXDevice) {
            AudioUnitSetParameter(mAudioUnit, kParameterPorts[i].parameter, kAudioUnitScope_Global,
                                  0, value, 0);
            continue;
        }
        mDevicePortValue.store(value, std::memory_order_relaxed);
        // The port's first value, and a host putting back the value the state was saved with,
        // leave the destination a restored state chose.
        if (mRestoreHold &&
            (first || (mHasRestoredPortValue && SameValue(value, mRestoredPortValue))))
            continue;
        mRestoreHold = false;
        mWantedDevice.store(value, std::memory_order_relaxed);
        mDeviceWanted.store(true, std::memory_order_release);
        mJobsPending = true;
    }
}

void PlenkoOutPlugin::RenderCycle(const CycleClock::Cycle& cycle, UInt32 frames)
{
    UInt32 sliceStart = 0;
    if (mMIDIIn != nullptr && frames > 0) {
        LV2_ATOM_SEQUENCE_FOREACH(mMIDIIn, event)
        {
            if (event->body.type != mURIs.midiEvent)
                continue;
            // A host's frames out of order or beyond the cycle go to the nearest frame allowed.
            const UInt32 frame =
                UInt32(std::clamp<int64_t>(event->time.frames, sliceStart, int64_t(frames) - 1));
            while (frame >= sliceStart + mMaxFrames) {
                RenderSlice(cycle, sliceStart, mMaxFrames);
                sliceStart += mMaxFrames;
            }
            Dispatch(static_cast<const uint8_t*>(LV2_ATOM_BODY_CONST(&event->body)),
                     event->body.size, frame - sliceStart);
            mStartFloor.Sent(cycle.hostTime + UInt64(frame * cycle.ticksPerFrame));
        }
    }
    while (sliceStart < frames) {
        const UInt32 slice = std::min(mMaxFrames, frames - sliceStart);
        RenderSlice(cycle, sliceStart, slice);
        sliceStart += slice;
    }
}

void PlenkoOutPlugin::Dispatch(const uint8_t* bytes, uint32_t size, UInt32 offset) const
{
    if (size == 0)
        return;
    if (bytes[0] == kSysExStart)
        MusicDeviceSysEx(mAudioUnit, bytes, size);
    else if (bytes[0] >= 0x80 && size <= 3)
        MusicDeviceMIDIEvent(mAudioUnit, bytes[0], size > 1 ? bytes[1] : 0, size > 2 ? bytes[2] : 0,
                             offset);
}

void PlenkoOutPlugin::RenderSlice(const CycleClock::Cycle& cycle, UInt32 start, UInt32 frames) const
{
    struct StereoBufferList {
        UInt32 mNumberBuffers;
        AudioBuffer mBuffers[2];
    } buffers{2, {}};
    for (UInt32 channel = 0; channel < 2; ++channel)
        buffers.mBuffers[channel] = {1, UInt32(frames * sizeof(float)),
                                     mOutputs[channel] != nullptr ? mOutputs[channel] + start
                                                                  : nullptr};
    AudioTimeStamp timeStamp{};
    timeStamp.mSampleTime = cycle.sampleTime + start;
    timeStamp.mHostTime = cycle.hostTime + UInt64(start * cycle.ticksPerFrame + 0.5);
    timeStamp.mFlags = kAudioTimeStampSampleHostTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    if (AudioUnitRender(mAudioUnit, &flags, &timeStamp, 0, frames,
                        reinterpret_cast<AudioBufferList*>(&buffers)) == noErr)
        return;
    // The output stays silent whatever the unit said.
    for (float* output : mOutputs)
        if (output != nullptr)
            std::fill(output + start, output + start + frames, 0.0f);
}

void PlenkoOutPlugin::ScheduleJobs()
{
    if (mJobThread != nullptr) {
        mJobThread->Wake();
        mJobsPending = false;
        return;
    }
    const uint8_t wake = 0;
    mJobsPending =
        mSchedule->schedule_work(mSchedule->handle, sizeof wake, &wake) != LV2_WORKER_SUCCESS;
}

void PlenkoOutPlugin::PerformJobs()
{
    std::lock_guard<std::mutex> lock(mChoiceLock);
    if (mDeviceWanted.exchange(false, std::memory_order_acquire))
        ChooseDestination(mWantedDevice.load(std::memory_order_relaxed));
    RefreshLatency();
}

void PlenkoOutPlugin::ChooseDestination(Float32 txDevice)
{
    AudioUnitSetParameter(mAudioUnit, kParameterTXDevice, kAudioUnitScope_Global, 0, txDevice, 0);
    mDestination = DestinationChosenBy(txDevice);
    mIdentity = IdentityOf(mDestination);
}

void PlenkoOutPlugin::RefreshLatency()
{
    const Float64 frames = std::round(DeliveryDelayMicros(mDestination) * mSampleRate / 1e6);
    mLatencyFrames.store(float(frames), std::memory_order_relaxed);
}

LV2_State_Status PlenkoOutPlugin::Save(LV2_State_Store_Function store, LV2_State_Handle handle)
{
    constexpr uint32_t kPortable = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    CFPropertyListRef classInfo = nullptr;
    UInt32 size = sizeof classInfo;
    if (AudioUnitGetProperty(mAudioUnit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                             &classInfo, &size) != noErr ||
        classInfo == nullptr)
        return LV2_STATE_ERR_UNKNOWN;
    CFDataRef xml =
        CFPropertyListCreateData(nullptr, classInfo, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
    CFRelease(classInfo);
    if (xml == nullptr)
        return LV2_STATE_ERR_UNKNOWN;
    std::string text(reinterpret_cast<const char*>(CFDataGetBytePtr(xml)),
                     size_t(CFDataGetLength(xml)));
    CFRelease(xml);
    store(handle, mURIs.classInfo, text.c_str(), text.size() + 1, mURIs.atomString, kPortable);

    std::optional<DestinationIdentity> identity;
    {
        std::lock_guard<std::mutex> lock(mChoiceLock);
        identity = mIdentity;
    }
    if (identity) {
        store(handle, mURIs.destination, identity->name.c_str(), identity->name.size() + 1,
              mURIs.atomString, kPortable);
        if (identity->uniqueId) {
            const int32_t uniqueId = *identity->uniqueId;
            store(handle, mURIs.destinationId, &uniqueId, sizeof uniqueId, mURIs.atomInt,
                  kPortable);
        }
    }
    const float device = mDevicePortValue.load(std::memory_order_relaxed);
    store(handle, mURIs.txDevice, &device, sizeof device, mURIs.atomFloat, kPortable);
    return LV2_STATE_SUCCESS;
}

LV2_State_Status PlenkoOutPlugin::Restore(LV2_State_Retrieve_Function retrieve,
                                          LV2_State_Handle handle)
{
    const auto value = [&](LV2_URID key, size_t& size, uint32_t& type) {
        uint32_t flags = 0;
        size = 0;
        type = 0;
        return retrieve(handle, key, &size, &type, &flags);
    };
    size_t size = 0;
    uint32_t type = 0;
    std::lock_guard<std::mutex> lock(mChoiceLock);
    // What the audio thread asked for before the state came is superseded by it.
    mDeviceWanted.store(false);

    const void* classInfo = value(mURIs.classInfo, size, type);
    if (classInfo != nullptr)
        RestoreClassInfo(classInfo, size, type);

    std::optional<DestinationIdentity> identity;
    const void* name = value(mURIs.destination, size, type);
    if (std::optional<std::string> text = TextOf(name, size, type, mURIs.atomString))
        identity = DestinationIdentity{std::move(*text), std::nullopt};
    const void* uniqueId = value(mURIs.destinationId, size, type);
    if (identity && uniqueId != nullptr && type == mURIs.atomInt && size == sizeof(int32_t))
        identity->uniqueId = ValueOf<int32_t>(uniqueId);
    const void* device = value(mURIs.txDevice, size, type);
    mHasRestoredPortValue = device != nullptr && type == mURIs.atomFloat && size == sizeof(float);
    if (mHasRestoredPortValue)
        mRestoredPortValue = ValueOf<float>(device);

    const std::optional<ItemCount> index =
        identity ? FindDestination(*identity) : std::optional<ItemCount>();
    // The unit's own number for the destination: whichever number it has today.
    ChooseDestination(index ? Float32(*index + 1) : 0.0f);
    if (identity && !index) {
        lv2_log_warning(&mLogger,
                        "PlenkoOut: the destination \"%s\" is not there: nothing is sent until "
                        "it is, or until tx_device chooses another\n",
                        identity->name.c_str());
        // Saved again, the state still names the destination the user chose.
        mIdentity = identity;
    }
    RefreshLatency();
    mRestoreHold = true;
    TakeUnitsParameters();
    return LV2_STATE_SUCCESS;
}

void PlenkoOutPlugin::TakeUnitsParameters()
{
    for (size_t i = 0; i < std::size(kParameterPorts); ++i) {
        if (kParameterPorts[i].parameter == kParameterTXDevice)
            continue;
        AudioUnitGetParameter(mAudioUnit, kParameterPorts[i].parameter, kAudioUnitScope_Global, 0,
                              &mForwarded[i]);
        mKnown[i] = true;
    }
}

void PlenkoOutPlugin::RestoreClassInfo(const void* value, size_t size, uint32_t type)
{
    if (type != mURIs.atomString && type != mURIs.atomChunk) {
        lv2_log_warning(&mLogger, "PlenkoOut: the state's class info is of another type: "
                                  "ignored\n");
        return;
    }
    const char* bytes = static_cast<const char*>(value);
    // A string's terminator is not part of the property list.
    const size_t length = type == mURIs.atomString ? strnlen(bytes, size) : size;
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes), CFIndex(length));
    CFPropertyListRef state = data != nullptr
                                  ? CFPropertyListCreateWithData(nullptr, data, 0, nullptr, nullptr)
                                  : nullptr;
    if (data != nullptr)
        CFRelease(data);
    const OSStatus status =
        state != nullptr ? AudioUnitSetProperty(mAudioUnit, kAudioUnitProperty_ClassInfo,
                                                kAudioUnitScope_Global, 0, &state, sizeof state)
                         : OSStatus(kAudioUnitErr_InvalidPropertyValue);
    if (state != nullptr)
        CFRelease(state);
    if (status != noErr)
        lv2_log_warning(&mLogger,
                        "PlenkoOut: the unit refused the state's class info (status %d): "
                        "ignored\n",
                        int(status));
}
