// Restores the LV2 plug-in from an arbitrary saved state, as a damaged or foreign song file hands
// it over: each of the plug-in's keys present or not, with any type, size and bytes. The plug-in
// must take or refuse every value without a crash, then run, and save again. One instance serves
// every input, as in a host whose user loads song after song.
#include "FuzzInput.h"
#include "FuzzTarget.h"
#include "PlenkoOutPlugin.h"

#include <lv2/atom/atom.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

class Map {
public:
    static LV2_URID MapUri(LV2_URID_Map_Handle handle, const char* uri)
    {
        auto& uris = static_cast<Map*>(handle)->mUris;
        const auto found = uris.emplace(uri, LV2_URID(uris.size() + 1));
        return found.first->second;
    }
    LV2_URID_Map mMap{this, &MapUri};

private:
    std::map<std::string, LV2_URID> mUris;
};

struct Value {
    std::vector<uint8_t> bytes;
    LV2_URID type;
};

const void* Retrieve(LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type,
                     uint32_t* flags)
{
    const auto& state = *static_cast<const std::map<uint32_t, Value>*>(handle);
    const auto found = state.find(key);
    if (found == state.end())
        return nullptr;
    *size = found->second.bytes.size();
    *type = found->second.type;
    *flags = LV2_STATE_IS_POD;
    return found->second.bytes.data();
}

LV2_State_Status Store(LV2_State_Handle, uint32_t, const void*, size_t, uint32_t, uint32_t)
{
    return LV2_STATE_SUCCESS;
}

} // namespace

PLENKO_FUZZ_CLOSE_OUTPUT(false)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Map map;
    static const LV2_Feature mapFeature{LV2_URID__map, &map.mMap};
    static const LV2_Feature* const features[] = {&mapFeature, nullptr};
    static std::unique_ptr<PlenkoOutPlugin> plugin =
        std::make_unique<PlenkoOutPlugin>(48000, PLENKO_BINARY_DIR "/PlenkoOut.lv2", features);
    static float controls[5] = {};
    static float latency = 0;
    static float outputs[2][256] = {};
    static bool connected = false;
    if (!connected) {
        for (uint32_t port = 0; port < 5; ++port)
            plugin->ConnectPort(kPortTXDevice + port, &controls[port]);
        plugin->ConnectPort(kPortLatency, &latency);
        plugin->ConnectPort(kPortOutLeft, outputs[0]);
        plugin->ConnectPort(kPortOutRight, outputs[1]);
        connected = true;
    }

    const char* keys[] = {PLENKO_OUT__classInfo, PLENKO_OUT__destination, PLENKO_OUT__destinationId,
                          PLENKO_OUT__txDevice};
    const char* types[] = {LV2_ATOM__String, LV2_ATOM__Chunk, LV2_ATOM__Int, LV2_ATOM__Float};
    Input input(data, size);
    std::map<uint32_t, Value> state;
    for (const char* key : keys) {
        const uint8_t choice = input.Byte();
        if ((choice & 1) == 0)
            continue;
        Value value{{}, map.mMap.map(map.mMap.handle, types[(choice >> 1) % 4])};
        const UInt32 length = input.SmallOrAny(64) % 4096;
        for (UInt32 i = 0; i < length && !input.Empty(); ++i)
            value.bytes.push_back(input.Byte());
        state[map.mMap.map(map.mMap.handle, key)] = std::move(value);
    }
    plugin->Restore(&Retrieve, &state);
    controls[0] = float(input.Byte() % 4);
    plugin->Run(256);
    plugin->PerformJobs();
    plugin->Save(&Store, nullptr);
    return 0;
}
