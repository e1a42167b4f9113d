// Parameters as a host shows and automates them: their infos and value strings, and what the unit
// stores for values at, beyond and outside its ranges.
#include "CheckBodies.h"
#include "UnitUnderTest.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

// The highest of the platform's parameter units.
constexpr AudioUnitParameterUnit kLastKnownUnit = kAudioUnitParameterUnit_CustomUnit;

std::string Number(Float32 value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(value));
    return text;
}

bool SameValue(Float32 a, Float32 b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || a == b;
}

void CheckInfo(ValidationContext& context, const UnitUnderTest& unit,
               const ParameterAddress& address)
{
    AudioUnitParameterInfo info;
    std::string name;
    const OSStatus status = unit.ParameterInfo(address, info, &name);
    const std::string which = address.Text();
    if (!context.Expect(status == noErr, which + ": its info cannot be read (status " +
                                             std::to_string(status) + ")"))
        return;
    const std::string named = which + " \"" + name + "\"";
    context.Expect(!name.empty(), which + " has no name");
    const std::string range = " [" + Number(info.minValue) + ", " + Number(info.maxValue) + "]";
    if (!context.Expect(std::isfinite(info.minValue) && std::isfinite(info.maxValue) &&
                            info.minValue <= info.maxValue,
                        named + ": range" + range + " is not a range"))
        return;
    context.Expect(info.defaultValue >= info.minValue && info.defaultValue <= info.maxValue,
                   named + ": default " + Number(info.defaultValue) + " outside" + range);
    context.Expect(info.unit <= kLastKnownUnit,
                   named + ": unit " + std::to_string(info.unit) + " is no known unit");
    context.Expect((info.flags & kAudioUnitParameterFlag_IsReadable) != 0,
                   named + ": not flagged readable");
    Float32 value = 0;
    const OSStatus read = unit.GetParameter(address, value);
    context.Expect(read == noErr && SameValue(value, info.defaultValue),
                   named + ": a new instance holds " + Number(value) + ", its default is " +
                       Number(info.defaultValue));

    const std::vector<std::string> strings = unit.ValueStrings(address);
    if (info.unit == kAudioUnitParameterUnit_Indexed && !strings.empty()) {
        const long count = long(info.maxValue) - long(info.minValue) + 1;
        context.Expect(long(strings.size()) == count,
                       named + ": " + std::to_string(strings.size()) + " value strings for the " +
                           std::to_string(count) + " values of" + range);
        for (size_t i = 0; i < strings.size(); ++i)
            if (!context.Expect(!strings[i].empty(),
                                named + ": value string " + std::to_string(i) + " is empty"))
                break;
    }
}

} // namespace

void CheckParameters(ValidationContext& context)
{
    UnitUnderTest unit(context.Component());
    const std::vector<ParameterAddress> parameters = unit.Parameters();
    for (const ParameterAddress& address : parameters)
        CheckInfo(context, unit, address);
    context.Note(std::to_string(parameters.size()) + " parameters");
}

void CheckParameterValues(ValidationContext& context)
{
    constexpr Float32 kInfinity = std::numeric_limits<Float32>::infinity();
    UnitUnderTest unit(context.Component());
    unit.Prepare(44100, 512);
    int written = 0;
    for (const ParameterAddress& address : unit.Parameters()) {
        AudioUnitParameterInfo info;
        std::string name;
        if (unit.ParameterInfo(address, info, &name) != noErr ||
            (info.flags & kAudioUnitParameterFlag_IsWritable) == 0)
            continue;
        ++written;
        const std::string named = address.Text() + " \"" + name + "\"";
        const struct {
            Float32 mValue;
            bool mInRange;
        } kValues[] = {
            {info.minValue, true},      {info.maxValue, true},
            {info.defaultValue, true},  {info.minValue - 1, false},
            {info.maxValue + 1, false}, {std::numeric_limits<Float32>::quiet_NaN(), false},
            {kInfinity, false},         {-kInfinity, false},
        };
        for (const auto& [value, inRange] : kValues) {
            Float32 before = 0;
            unit.GetParameter(address, before);
            const OSStatus set = unit.SetParameter(address, value);
            Float32 stored = 0;
            const OSStatus get = unit.GetParameter(address, stored);
            const std::string setting = named + " set to " + Number(value);
            if (!context.Expect(get == noErr,
                                setting + ": reading it back returned " + std::to_string(get)))
                continue;
            if (inRange)
                context.Expect(set == noErr && SameValue(stored, value),
                               setting + ": status " + std::to_string(set) + ", reads back " +
                                   Number(stored));
            else if (set != noErr)
                context.Expect(SameValue(stored, before),
                               setting + ": refused with " + std::to_string(set) +
                                   " but reads back " + Number(stored) + ", not " + Number(before));
            else
                context.Expect(SameValue(stored, value) ||
                                   (stored >= info.minValue && stored <= info.maxValue),
                               setting + ": accepted, but reads back " + Number(stored) +
                                   ", neither what was set nor a value of its range");
            const OSStatus render = unit.Render(512);
            if (context.Expect(render == noErr,
                               setting + ": the next render returned " + std::to_string(render)))
                context.Expect(unit.OutputProblem(false).empty(),
                               setting + ": " + unit.OutputProblem(false));
        }
        unit.SetParameter(address, info.defaultValue);
    }
    context.Note(std::to_string(written) + " writable parameters, 8 values each");
}
