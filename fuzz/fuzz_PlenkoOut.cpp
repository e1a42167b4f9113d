// Drives a fresh PlenkoOut, opened from its bundle through the component host like a host opens
// it, with an arbitrary sequence of host calls, a destination chosen so that everything queued is
// really sent: MIDI events with any bytes and offsets, parameter sets with any values (NaN and
// infinities included), resets, presentation latency and sample rate sets, lifecycle changes and
// render calls with odd sample times and sizes. Its log is written to standard output, which the
// fuzzer discards.
#include "../tests/Support/PlenkoOutUnit.h"
#include "FuzzInput.h"
#include "FuzzTarget.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

constexpr size_t kMaxCalls = 256;

// Floats a host or a restored song could store.
Float64 OddNumber(Input& input)
{
    constexpr Float64 kNumbers[] = {0,
                                    1,
                                    -1,
                                    0.5,
                                    2.999,
                                    16,
                                    17,
                                    128,
                                    129,
                                    65536,
                                    4294967296.0,
                                    1e300,
                                    -1e300,
                                    std::numeric_limits<Float64>::quiet_NaN(),
                                    std::numeric_limits<Float64>::infinity(),
                                    -std::numeric_limits<Float64>::infinity(),
                                    std::numeric_limits<Float64>::denorm_min()};
    const UInt8 choice = input.Byte();
    if (choice < std::size(kNumbers))
        return kNumbers[choice];
    if (choice < 128)
        return Float64(input.SmallOrAny(300));
    UInt64 bits = UInt64(input.Word()) << 32 | input.Word();
    Float64 value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

AudioUnitScope AnyScope(Input& input)
{
    return input.SmallOrAny(6);
}

void OneCall(Input& input, PlenkoOutRig& rig)
{
    HostedUnit& unit = rig.Unit();
    switch (input.Byte() % 9) {
    case 0:
    case 1: {
        const UInt8 status = input.Byte();
        const UInt8 data1 = input.Byte();
        const UInt8 data2 = input.Byte();
        unit.MIDI(status, data1, data2, input.SmallOrAny(1024));
        break;
    }
    case 2: {
        const AudioUnitParameterID id = input.SmallOrAny(6);
        unit.SetParameter(id, Float32(OddNumber(input)), input.Byte() < 224 ? 0 : AnyScope(input));
        break;
    }
    case 3:
        unit.Reset(AnyScope(input));
        break;
    case 4: {
        const Float64 value = OddNumber(input);
        const UInt32 size = input.Byte() < 224 ? sizeof value : input.SmallOrAny(sizeof value);
        const bool latency = input.Byte() & 1;
        unit.SetProperty(latency ? kAudioUnitProperty_PresentationLatency
                                 : kAudioUnitProperty_SampleRate,
                         latency ? kAudioUnitScope_Output : AnyScope(input), &value, size);
        break;
    }
    case 5:
    case 6: {
        const UInt32 frames = input.SmallOrAny(HostedUnit::kMaxFrames + 2);
        const UInt8 timing = input.Byte();
        if (timing < 128)
            unit.Render(frames);
        else if (timing < 192)
            unit.RenderInRealTime(frames);
        else
            unit.Render(frames, OddNumber(input));
        break;
    }
    case 7: {
        const bool initialize = input.Byte() & 1;
        if (initialize)
            AudioUnitInitialize(unit.Unit());
        else
            AudioUnitUninitialize(unit.Unit());
        break;
    }
    default: {
        std::vector<std::string> strings;
        unit.ValueStrings(input.SmallOrAny(6), strings, input.Byte() < 224 ? 0 : AnyScope(input));
        break;
    }
    }
}

void Discard(void*, const MIDIPacket&) {}

} // namespace

PLENKO_FUZZ_CLOSE_OUTPUT(true)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input input(data, size);
    PlenkoOutRig rig(2);
    for (size_t i = 0; i < 2; ++i)
        rig.Destination(i).Listen(&Discard, nullptr);
    rig.Choose(input.Byte() & 1);
    for (size_t calls = 0; calls < kMaxCalls && !input.Empty(); ++calls)
        OneCall(input, rig);
    return 0;
}
