// The plug-in's entry point: its one descriptor, whose functions hand each call to the instance's
// adapter, and the extension data it offers. No exception leaves a host's call.
#include "PlenkoOutPlugin.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

PlenkoOutPlugin* Plugin(LV2_Handle instance)
{
    return static_cast<PlenkoOutPlugin*>(instance);
}

LV2_Handle Instantiate(const LV2_Descriptor*, double sampleRate, const char* bundlePath,
                       const LV2_Feature* const* features)
{
    try {
        return new PlenkoOutPlugin(sampleRate, bundlePath, features);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "PlenkoOut: cannot start: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "PlenkoOut: cannot start\n");
    }
    return nullptr;
}

void ConnectPort(LV2_Handle instance, uint32_t port, void* data)
{
    Plugin(instance)->ConnectPort(port, data);
}

void Activate(LV2_Handle instance)
{
    Plugin(instance)->Activate();
}

void Run(LV2_Handle instance, uint32_t frames)
{
    Plugin(instance)->Run(frames);
}

void Cleanup(LV2_Handle instance)
{
    delete Plugin(instance);
}

LV2_Worker_Status Work(LV2_Handle instance, LV2_Worker_Respond_Function, LV2_Worker_Respond_Handle,
                       uint32_t, const void*)
{
    try {
        Plugin(instance)->PerformJobs();
        return LV2_WORKER_SUCCESS;
    } catch (...) {
        return LV2_WORKER_ERR_UNKNOWN;
    }
}

LV2_Worker_Status WorkResponse(LV2_Handle, uint32_t, const void*)
{
    return LV2_WORKER_SUCCESS;
}

LV2_State_Status Save(LV2_Handle instance, LV2_State_Store_Function store, LV2_State_Handle handle,
                      uint32_t, const LV2_Feature* const*)
{
    try {
        return Plugin(instance)->Save(store, handle);
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

LV2_State_Status Restore(LV2_Handle instance, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle handle, uint32_t, const LV2_Feature* const*)
{
    try {
        return Plugin(instance)->Restore(retrieve, handle);
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

void LastCycle(LV2_Handle instance, PlenkoOutCycleTime* time)
{
    *time = Plugin(instance)->LastCycle();
}

const void* ExtensionData(const char* uri)
{
    static const LV2_Worker_Interface worker{Work, WorkResponse, nullptr};
    static const LV2_State_Interface state{Save, Restore};
    static const PlenkoOutCycleTimeInterface cycleTime{LastCycle};
    if (std::strcmp(uri, LV2_WORKER__interface) == 0)
        return &worker;
    if (std::strcmp(uri, LV2_STATE__interface) == 0)
        return &state;
    if (std::strcmp(uri, PLENKO_OUT__cycleTime) == 0)
        return &cycleTime;
    return nullptr;
}

const LV2_Descriptor kDescriptor{PLENKO_OUT_URI, Instantiate, ConnectPort,  Activate, Run,
                                 nullptr,        Cleanup,     ExtensionData};

} // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index == 0 ? &kDescriptor : nullptr;
}
