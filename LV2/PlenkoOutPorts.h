// The plug-in's ports, by index, as the adapter connects them and the Turtle describes them: the
// MIDI input, one control input per unit parameter, the latency output and the silent stereo
// output.
#pragma once

#include "PlenkoOutParameterIDs.h"

#include <AudioUnit/AUComponent.h>

#include <cstdint>

enum PlenkoOutPort : uint32_t {
    kPortMIDIIn = 0,
    kPortTXDevice,
    kPortTXChannel,
    kPortPrgChange,
    kPortBankMSB,
    kPortBankLSB,
    kPortLatency,
    kPortOutLeft,
    kPortOutRight,
    kPortCount
};

// A control input and the global parameter of the unit it sets.
struct ParameterPort {
    PlenkoOutPort port;
    AudioUnitParameterID parameter;
    const char* symbol;
};

constexpr ParameterPort kParameterPorts[] = {
    {kPortTXDevice, kParameterTXDevice, "tx_device"},
    {kPortTXChannel, kParameterTXChannel, "tx_channel"},
    {kPortPrgChange, kParameterPrgChange, "prg_change"},
    {kPortBankMSB, kParameterBankMSB, "bank_msb"},
    {kPortBankLSB, kParameterBankLSB, "bank_lsb"},
};

// The unit's component description and the name of its bundle inside the plug-in's folder.
constexpr AudioComponentDescription kPlenkoOutComponent{
    0x61756D75 /* aumu */, 0x506F7574 /* Pout */, 0x506C6E6B /* Plnk */, 0, 0};
constexpr const char* kUnitBundleName = "PlenkoOut.component";
