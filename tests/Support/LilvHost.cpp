#include "LilvHost.h"

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>

#include <CoreAudio/HostTime.h>
#include <CoreFoundation/CFString.h>
#include <CoreMIDI/MIDIServices.h>

#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

float TXDeviceOf(const std::string& name)
{
    for (ItemCount index = 0; index < MIDIGetNumberOfDestinations(); ++index) {
        CFStringRef text = nullptr;
        if (MIDIObjectGetStringProperty(MIDIGetDestination(index), kMIDIPropertyName, &text) !=
            noErr)
            continue;
        char bytes[256] = {};
        CFStringGetCString(text, bytes, sizeof bytes, kCFStringEncodingUTF8);
        CFRelease(text);
        if (name == bytes)
            return float(index + 1);
    }
    return 0;
}

LilvHost::LilvHost() : mWorld(lilv_world_new())
{
    // The bundle built beside the tests, and nothing from the machine's search path.
    const std::string path =
        std::filesystem::canonical(PLENKO_BINARY_DIR "/PlenkoOut.lv2").string();
    LilvNode* bundle = lilv_new_file_uri(mWorld, nullptr, (path + "/").c_str());
    lilv_world_load_bundle(mWorld, bundle);
    lilv_node_free(bundle);
    LilvNode* uri = lilv_new_uri(mWorld, PLENKO_OUT_URI);
    mPlugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(mWorld), uri);
    lilv_node_free(uri);
    if (mPlugin == nullptr)
        throw std::runtime_error("lilv finds no plug-in in " + path);
}

LilvHost::~LilvHost()
{
    lilv_world_free(mWorld);
}

LV2_URID LilvHost::MapUri(LV2_URID_Map_Handle handle, const char* uri)
{
    auto* host = static_cast<LilvHost*>(handle);
    std::lock_guard<std::mutex> lock(host->mMapLock);
    for (size_t i = 0; i < host->mUris.size(); ++i)
        if (*host->mUris[i] == uri)
            return LV2_URID(i + 1);
    host->mUris.push_back(std::make_unique<std::string>(uri));
    return LV2_URID(host->mUris.size());
}

const char* LilvHost::UnmapUrid(LV2_URID_Unmap_Handle handle, LV2_URID urid)
{
    auto* host = static_cast<LilvHost*>(handle);
    std::lock_guard<std::mutex> lock(host->mMapLock);
    return urid >= 1 && urid <= host->mUris.size() ? host->mUris[urid - 1]->c_str() : nullptr;
}

LilvPluginInstance::LilvPluginInstance(LilvHost& host, const LilvInstanceOptions& options)
    : mHost(host), mControls(lilv_plugin_get_num_ports(host.Plugin()), 0.0f),
      mSequence(kSequenceBytes / sizeof(uint64_t), 0), mSampleRate(options.sampleRate)
{
    for (std::vector<float>& channel : mAudio)
        channel.assign(kMaxFrames, 0.0f);
    std::vector<const LV2_Feature*> features;
    LV2_Feature map{LV2_URID__map, host.Map()};
    LV2_Feature unmap{LV2_URID__unmap, host.Unmap()};
    LV2_Feature schedule{LV2_WORKER__schedule, &mSchedule};
    LV2_Feature log{LV2_LOG__log, &mLog};
    LV2_Feature optionsFeature{LV2_OPTIONS__options, mOptions};
    features.push_back(&map);
    features.push_back(&unmap);
    if (options.worker)
        features.push_back(&schedule);
    if (options.log)
        features.push_back(&log);
    if (options.maxBlockLength != 0) {
        mMaxBlockLength = int32_t(options.maxBlockLength);
        mOptions[0] = {LV2_OPTIONS_INSTANCE,
                       0,
                       host.Urid(LV2_BUF_SIZE__maxBlockLength),
                       sizeof mMaxBlockLength,
                       host.Urid(LV2_ATOM__Int),
                       &mMaxBlockLength};
    }
    features.push_back(&optionsFeature);
    features.push_back(nullptr);
    mInstance = lilv_plugin_instantiate(host.Plugin(), options.sampleRate, features.data());
    if (mInstance == nullptr)
        return;
    mWorker = static_cast<const LV2_Worker_Interface*>(
        lilv_instance_get_extension_data(mInstance, LV2_WORKER__interface));
    mState = static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(mInstance, LV2_STATE__interface));
    // Controls at their defaults, as a host starts them.
    std::vector<float> defaults(mControls.size(), 0.0f);
    lilv_plugin_get_port_ranges_float(host.Plugin(), nullptr, nullptr, defaults.data());
    for (uint32_t port = 0; port < mControls.size(); ++port) {
        if (!std::isnan(defaults[port]))
            mControls[port] = defaults[port];
        lilv_instance_connect_port(mInstance, port, &mControls[port]);
    }
    lilv_instance_connect_port(mInstance, 0, mSequence.data());
    lilv_instance_connect_port(mInstance, 7, mAudio[0].data());
    lilv_instance_connect_port(mInstance, 8, mAudio[1].data());
    SetEvents({});
    lilv_instance_activate(mInstance);
}

LilvPluginInstance::~LilvPluginInstance()
{
    if (mInstance == nullptr)
        return;
    lilv_instance_deactivate(mInstance);
    lilv_instance_free(mInstance);
}

namespace {

uint32_t PortIndex(const LilvPlugin* plugin, LilvWorld* world, const char* symbol)
{
    LilvNode* node = lilv_new_string(world, symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, node);
    lilv_node_free(node);
    if (port == nullptr)
        throw std::runtime_error(std::string("no port ") + symbol);
    return lilv_port_get_index(plugin, port);
}

} // namespace

void LilvPluginInstance::SetControl(const char* symbol, float value)
{
    mControls[PortIndex(mHost.Plugin(), mHost.World(), symbol)] = value;
}

float LilvPluginInstance::Control(const char* symbol) const
{
    return mControls[PortIndex(mHost.Plugin(), mHost.World(), symbol)];
}

void LilvPluginInstance::SetEvents(const std::vector<TimedMIDI>& events)
{
    auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(mSequence.data());
    sequence->atom.type = mHost.Urid(LV2_ATOM__Sequence);
    sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
    sequence->body.unit = 0;
    sequence->body.pad = 0;
    const LV2_URID midiEvent = mHost.Urid(LV2_MIDI__MidiEvent);
    for (const TimedMIDI& event : events) {
        std::vector<uint8_t> storage(sizeof(LV2_Atom_Event) + event.bytes.size());
        auto* atomEvent = reinterpret_cast<LV2_Atom_Event*>(storage.data());
        atomEvent->time.frames = event.frame;
        atomEvent->body.type = midiEvent;
        atomEvent->body.size = uint32_t(event.bytes.size());
        std::memcpy(atomEvent + 1, event.bytes.data(), event.bytes.size());
        if (lv2_atom_sequence_append_event(sequence, kSequenceBytes, atomEvent) == nullptr)
            throw std::runtime_error("the test's sequence is full");
    }
}

void LilvPluginInstance::Run(UInt32 frames, const std::vector<TimedMIDI>& events)
{
    SetEvents(events);
    lilv_instance_run(mInstance, frames);
    if (mWorker != nullptr && mWorker->end_run != nullptr)
        mWorker->end_run(Handle());
    PerformJobs();
}

void LilvPluginInstance::RunInRealTime(UInt32 frames, const std::vector<TimedMIDI>& events)
{
    if (mRealTimeStart == 0)
        mRealTimeStart = AudioGetCurrentHostTime();
    const UInt64 start = mRealTimeStart + UInt64(double(mRealTimeFrames) *
                                                 AudioGetHostClockFrequency() / mSampleRate);
    while (AudioGetCurrentHostTime() < start)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    mRealTimeFrames += frames;
    Run(frames, events);
}

void LilvPluginInstance::PerformJobs()
{
    for (const Job& job : mJobs)
        mWorker->work(
            Handle(),
            [](LV2_Worker_Respond_Handle, uint32_t, const void*) { return LV2_WORKER_SUCCESS; },
            nullptr, job.size, job.bytes.data());
    mJobs.clear();
}

LV2_Worker_Status LilvPluginInstance::Schedule(LV2_Worker_Schedule_Handle handle, uint32_t size,
                                               const void* data)
{
    auto* self = static_cast<LilvPluginInstance*>(handle);
    if (size > sizeof(Job::bytes) || self->mJobs.size() == kMaxJobs)
        return LV2_WORKER_ERR_NO_SPACE;
    Job job{{}, size};
    std::memcpy(job.bytes.data(), data, size);
    self->mJobs.push_back(job);
    return LV2_WORKER_SUCCESS;
}

PlenkoOutCycleTime LilvPluginInstance::LastCycle() const
{
    const auto* cycleTime = static_cast<const PlenkoOutCycleTimeInterface*>(
        lilv_instance_get_extension_data(mInstance, PLENKO_OUT__cycleTime));
    PlenkoOutCycleTime time{};
    if (cycleTime != nullptr)
        cycleTime->last_cycle(Handle(), &time);
    return time;
}

void LilvPluginInstance::FillOutputs(float value)
{
    for (std::vector<float>& channel : mAudio)
        std::fill(channel.begin(), channel.end(), value);
}

int LilvPluginInstance::Print(LV2_Log_Handle handle, LV2_URID type, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    const int written = VPrint(handle, type, format, arguments);
    va_end(arguments);
    return written;
}

int LilvPluginInstance::VPrint(LV2_Log_Handle handle, LV2_URID, const char* format, va_list ap)
{
    auto* self = static_cast<LilvPluginInstance*>(handle);
    char text[1024];
    const int written = std::vsnprintf(text, sizeof text, format, ap);
    std::lock_guard<std::mutex> lock(self->mLogLock);
    self->mLogLines.emplace_back(text);
    return written;
}

std::vector<std::string> LilvPluginInstance::LogLines() const
{
    std::lock_guard<std::mutex> lock(mLogLock);
    return mLogLines;
}

std::string LilvPluginInstance::SaveStateText()
{
    const auto portValue = [](const char* symbol, void* user, uint32_t* size,
                              uint32_t* type) -> const void* {
        auto* self = static_cast<LilvPluginInstance*>(user);
        *size = sizeof(float);
        *type = self->mHost.Urid(LV2_ATOM__Float);
        return &self->mControls[PortIndex(self->mHost.Plugin(), self->mHost.World(), symbol)];
    };
    LilvState* state =
        lilv_state_new_from_instance(mHost.Plugin(), mInstance, mHost.Map(), nullptr, nullptr,
                                     nullptr, nullptr, portValue, this, 0, nullptr);
    char* text = lilv_state_to_string(mHost.World(), mHost.Map(), mHost.Unmap(), state,
                                      "urn:plenko:test-state", nullptr);
    std::string result = text != nullptr ? text : "";
    lilv_free(text);
    lilv_state_free(state);
    return result;
}

void LilvPluginInstance::RestoreStateText(const std::string& text)
{
    LilvState* state = lilv_state_new_from_string(mHost.World(), mHost.Map(), text.c_str());
    if (state == nullptr)
        throw std::runtime_error("lilv cannot read the state");
    const auto setValue = [](const char* symbol, void* user, const void* value, uint32_t size,
                             uint32_t) {
        auto* self = static_cast<LilvPluginInstance*>(user);
        if (size == sizeof(float))
            std::memcpy(
                &self->mControls[PortIndex(self->mHost.Plugin(), self->mHost.World(), symbol)],
                value, sizeof(float));
    };
    lilv_state_restore(state, mInstance, setValue, this, 0, nullptr);
    lilv_state_free(state);
}

LilvPluginInstance::StateMap LilvPluginInstance::Save() const
{
    StateMap state;
    const auto store = [](LV2_State_Handle handle, uint32_t key, const void* value, size_t size,
                          uint32_t type, uint32_t) {
        const auto* bytes = static_cast<const Byte*>(value);
        (*static_cast<StateMap*>(handle))[key] = {std::vector<Byte>(bytes, bytes + size), type};
        return LV2_STATE_SUCCESS;
    };
    mState->save(Handle(), store, &state, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr);
    return state;
}

LV2_State_Status LilvPluginInstance::Restore(const StateMap& state)
{
    const auto retrieve = [](LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type,
                             uint32_t* flags) -> const void* {
        const auto& map = *static_cast<const StateMap*>(handle);
        const auto found = map.find(key);
        if (found == map.end())
            return nullptr;
        *size = found->second.bytes.size();
        *type = found->second.type;
        *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
        return found->second.bytes.data();
    };
    return mState->restore(Handle(), retrieve, const_cast<StateMap*>(&state), 0, nullptr);
}
