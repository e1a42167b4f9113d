// How every reader of the unit's parameters turns a stored value into the whole number it acts
// on. Hosts and restored songs can store any float, so nothing here converts out of range.
#pragma once

#include <AudioUnit/AUComponent.h>

#include <optional>

// The value truncated toward zero, or nothing when it is NaN, infinite, negative or beyond the
// range of UInt32. [any-thread]
inline std::optional<UInt32> TruncatedParameterValue(AudioUnitParameterValue value)
{
    constexpr double kBeyondRange = 4294967296.0; // 2^32
    if (!(value >= 0.0f) || !(double(value) < kBeyondRange))
        return std::nullopt;
    return UInt32(value);
}
