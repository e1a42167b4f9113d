// The saved state as hosts keep it with a song: it must restore what was saved, byte for byte, and
// a state that is not the unit's (damaged, of another type, noise) must be refused with the unit
// left exactly as it was.
#include "CheckBodies.h"
#include "UnitUnderTest.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kNoiseBytes = size_t(1) << 20;
constexpr UInt32 kAbsentScope = 0xFFFF;

struct ParameterValue {
    ParameterAddress mAddress;
    Float32 mValue;
};

std::vector<ParameterValue> ParameterValues(const UnitUnderTest& unit)
{
    std::vector<ParameterValue> values;
    for (const ParameterAddress& address : unit.Parameters()) {
        Float32 value = 0;
        unit.GetParameter(address, value);
        values.push_back({address, value});
    }
    return values;
}

// The first parameter whose value differs between the two, as text; empty when none does.
std::string ParameterDifference(const std::vector<ParameterValue>& expected,
                                const std::vector<ParameterValue>& seen)
{
    for (size_t i = 0; i < std::min(expected.size(), seen.size()); ++i)
        if (std::memcmp(&expected[i].mValue, &seen[i].mValue, sizeof(Float32)) != 0)
            return expected[i].mAddress.Text() + " reads " + std::to_string(seen[i].mValue) +
                   ", expected " + std::to_string(expected[i].mValue);
    return "";
}

// What differs between two saved states: a parameter, else the first byte.
std::string StateDifference(const std::vector<UInt8>& expected, const std::vector<UInt8>& seen,
                            const std::vector<ParameterValue>& expectedValues,
                            const std::vector<ParameterValue>& seenValues)
{
    const std::string parameter = ParameterDifference(expectedValues, seenValues);
    if (!parameter.empty())
        return parameter;
    const auto differ = std::mismatch(expected.begin(), expected.end(), seen.begin(), seen.end());
    return "the saved state differs from byte " + std::to_string(differ.first - expected.begin()) +
           " on";
}

// Sets every writable parameter to another value of its range: its maximum, or its minimum
// where it is at its maximum. Returns how many changed.
int ChangeEveryParameter(const UnitUnderTest& unit)
{
    int changed = 0;
    for (const ParameterAddress& address : unit.Parameters()) {
        AudioUnitParameterInfo info;
        Float32 value = 0;
        if (unit.ParameterInfo(address, info) != noErr ||
            (info.flags & kAudioUnitParameterFlag_IsWritable) == 0 ||
            info.minValue == info.maxValue || unit.GetParameter(address, value) != noErr)
            continue;
        if (unit.SetParameter(address, value == info.maxValue ? info.minValue : info.maxValue) ==
            noErr)
            ++changed;
    }
    return changed;
}

CFHolder MutableCopy(CFPropertyListRef state)
{
    return CFHolder(CFDictionaryCreateMutableCopy(nullptr, 0, CFDictionaryRef(state)));
}

// The state with `key` replaced by `value`.
CFHolder Replaced(CFPropertyListRef state, const char* key, CFTypeRef value)
{
    CFHolder copy = MutableCopy(state);
    CFHolder name(CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8));
    CFDictionarySetValue(CFMutableDictionaryRef(copy.get()), name.get(), value);
    return copy;
}

CFHolder DataOf(const std::vector<UInt8>& bytes)
{
    return CFHolder(CFDataCreate(nullptr, bytes.data(), CFIndex(bytes.size())));
}

std::vector<UInt8> RecordOf(CFPropertyListRef state)
{
    const auto data = CFDataRef(CFDictionaryGetValue(CFDictionaryRef(state), CFSTR("data")));
    if (data == nullptr || CFGetTypeID(data) != CFDataGetTypeID())
        return {};
    return std::vector<UInt8>(CFDataGetBytePtr(data),
                              CFDataGetBytePtr(data) + CFDataGetLength(data));
}

void AppendBigEndian(std::vector<UInt8>& bytes, UInt32 value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(UInt8(value >> shift));
}

} // namespace

void CheckStateRoundTrip(ValidationContext& context)
{
    UnitUnderTest unit(context.Component());
    unit.Prepare(44100, 512);
    const CFHolder saved = unit.CopyState();
    const std::vector<UInt8> savedBytes = SerializedBytes(saved.get());
    const std::vector<ParameterValue> savedValues = ParameterValues(unit);

    const int changed = ChangeEveryParameter(unit);
    if (changed > 0)
        context.Expect(unit.SavedState() != savedBytes,
                       std::to_string(changed) +
                           " parameters changed, but the saved state did not");

    const OSStatus restore = unit.RestoreState(saved.get());
    if (!context.Expect(restore == noErr,
                        "restoring a state just saved returned " + std::to_string(restore)))
        return;
    context.Expect(unit.SavedState() == savedBytes,
                   "after restoring, " + StateDifference(savedBytes, unit.SavedState(), savedValues,
                                                         ParameterValues(unit)));

    // The same through the bytes a host writes into its document.
    ChangeEveryParameter(unit);
    CFHolder data = DataOf(savedBytes);
    CFHolder read(
        CFPropertyListCreateWithData(nullptr, CFDataRef(data.get()), 0, nullptr, nullptr));
    if (!context.Expect(read != nullptr, "the saved state cannot be read back from its XML"))
        return;
    const OSStatus fromFile = unit.RestoreState(read.get());
    context.Expect(
        fromFile == noErr && unit.SavedState() == savedBytes,
        "restoring the saved state read back from its XML returned " + std::to_string(fromFile) +
            " and left " +
            StateDifference(savedBytes, unit.SavedState(), savedValues, ParameterValues(unit)));
    context.Note(std::to_string(changed) + " parameters changed and restored, " +
                 std::to_string(savedBytes.size()) + " bytes of state");
}

void CheckStateRefusals(ValidationContext& context)
{
    UnitUnderTest unit(context.Component());
    unit.Prepare(44100, 512);
    const CFHolder saved = unit.CopyState();
    // The unit holds other values than the saved state, so that a state applied in part shows.
    ChangeEveryParameter(unit);
    const CFHolder currentState = unit.CopyState();
    const std::vector<UInt8> current = unit.SavedState();
    const std::vector<ParameterValue> currentValues = ParameterValues(unit);

    std::vector<UInt8> noise(kNoiseBytes);
    std::generate(noise.begin(), noise.end(), [&] { return UInt8(context.Random()()); });
    const std::vector<UInt8> record = RecordOf(saved.get());
    std::vector<UInt8> truncated = record;
    truncated.resize(record.size() > 3 ? record.size() - 3 : 0);
    std::vector<UInt8> badEntry = record;
    for (const UInt32 field : {kAbsentScope, 0u, 0u})
        AppendBigEndian(badEntry, field);
    AudioComponentDescription description{};
    AudioComponentGetDescription(context.Component(), &description);
    const SInt32 otherSubtype = SInt32(description.componentSubType + 1);
    CFHolder otherNumber(CFNumberCreate(nullptr, kCFNumberSInt32Type, &otherSubtype));

    const struct {
        const char* mWhat;
        CFHolder mState;
    } kStates[] = {
        {"an empty dictionary",
         CFHolder(CFDictionaryCreate(nullptr, nullptr, nullptr, 0, nullptr, nullptr))},
        {"a text instead of a state",
         CFHolder(CFStringCreateWithCString(nullptr, "state", kCFStringEncodingUTF8))},
        {"1 MB of noise instead of a state", DataOf(noise)},
        {"a state with its parameter record cut short",
         Replaced(saved.get(), "data", DataOf(truncated).get())},
        {"a state whose record has a second entry, for a scope the unit does not have",
         Replaced(saved.get(), "data", DataOf(badEntry).get())},
        {"a state with a text as its parameter record",
         Replaced(saved.get(), "data", CFSTR("data"))},
        {"a state with 1 MB of noise as its parameter record",
         Replaced(saved.get(), "data", DataOf(noise).get())},
        {"a state of another subtype", Replaced(saved.get(), "subtype", otherNumber.get())},
    };
    for (const auto& [what, state] : kStates) {
        const OSStatus status = unit.RestoreState(state.get());
        if (!context.Expect(status != noErr, std::string("restoring ") + what + " returned 0"))
            continue;
        const std::vector<UInt8> after = unit.SavedState();
        if (!context.Expect(after == current, std::string("restoring ") + what + " was refused (" +
                                                  std::to_string(status) + "), but " +
                                                  StateDifference(current, after, currentValues,
                                                                  ParameterValues(unit))))
            unit.RestoreState(currentState.get()); // so that the next case starts from it
    }
    context.Note(std::to_string(std::size(kStates)) + " states refused");
}
