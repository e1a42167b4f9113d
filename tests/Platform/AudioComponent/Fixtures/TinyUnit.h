// The unit the test bundles carry: four global parameters, a render that fills every sample with
// parameter 0, and a MIDI event that stores its note number in parameter 1.
#pragma once

#include <AudioUnit/AUComponent.h>

constexpr OSType kTinyUnitType = 0x61756d75;         // 'aumu'
constexpr OSType kTinyUnitSubType = 0x74696e79;      // 'tiny'
constexpr OSType kTinyUnitManufacturer = 0x54737473; // 'Tsts'
constexpr UInt32 kTinyUnitVersion = 0x00010203;
constexpr UInt32 kTinyUnitParameterCount = 4;
constexpr AudioUnitParameterID kTinyUnitLevel = 0;
constexpr AudioUnitParameterID kTinyUnitLastNote = 1;
