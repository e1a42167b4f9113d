// What the unit tells hosts about its five parameters (names, ranges, value strings), and the
// data byte that a program or bank value stands for.
#pragma once

#include "DestinationNames.h"

#include <AudioUnit/AudioUnitProperties.h>

#include <optional>

// Fills in the description of parameter `id`, whose "TX Device" reaches `numDestinations`;
// kAudioUnitErr_InvalidParameter for an id the unit does not have. [any-thread]
OSStatus DescribeParameter(AudioUnitParameterID id, ItemCount numDestinations,
                           AudioUnitParameterInfo& outParameterInfo);
// The value strings of parameter `id`, a new array the caller releases; null for an id the unit
// does not have. [host-thread]
CFArrayRef CopyParameterValueStrings(AudioUnitParameterID id, const DestinationNames& names);
// The data byte a program or bank value 1 to 128 stands for; nothing for 0 or out of range.
// [any-thread]
std::optional<UInt8> ProgramByte(std::optional<UInt32> value);
