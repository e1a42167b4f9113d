// What auhost was asked to do: one command with its options, as the command line gave them.
#pragma once

#include "ValidateOptions.h"

#include <AudioUnit/AudioComponent.h>

#include <optional>
#include <string>
#include <vector>

// The unit a command opens when no --unit names another: the project's MIDI output unit,
// 'aumu' 'Pout' 'Plnk'.
constexpr AudioComponentDescription kDefaultUnit = {0x61756d75, 0x506f7574, 0x506c6e6b, 0, 0};

// A bank select: the MSB, and the LSB when one was given.
struct BankSelect {
    Byte mMSB = 0;
    std::optional<Byte> mLSB;
};

// `auhost play`. Program and bank are MIDI values (0 to 127); the unit's "Prg Change", "Bank
// Select MSB" and "Bank Select LSB" take them plus one (0 there means none). The channel is what
// "TX Channel" takes: 1 to 16, or 0 to keep each message's own channel.
struct PlayOptions {
    std::string mFile;
    std::optional<std::string> mDestination; // --to: a name, or a number counted from 1
    UInt32 mChannel = 0;
    std::optional<Byte> mProgram;
    std::optional<BankSelect> mBank;
    UInt32 mSampleRate = 44100;
    UInt32 mBlockFrames = 512;
    bool mOffline = false;
    std::optional<std::string> mRecordFile;
    bool mQuiet = false;
    bool mUnitLog = false; // --unit-log: the unit's own log reaches standard output
    AudioComponentDescription mUnit = kDefaultUnit;
    std::optional<std::string> mPresetFile;
    double mOffsetMilliseconds = 0; // --offset-ms: the destination's latency offset
};

// One --set ID=VALUE of `auhost preset save`: a global parameter and its value.
struct ParameterSetting {
    UInt32 mID = 0;
    float mValue = 0;
};

// `auhost preset save` and `auhost preset show`.
struct PresetOptions {
    std::string mFile;
    AudioComponentDescription mUnit = kDefaultUnit;
    std::vector<ParameterSetting> mSettings; // save only
};

struct HostCommand {
    enum Kind { kHelp, kList, kDestinations, kPlay, kPresetSave, kPresetShow, kValidate };
    Kind mKind = kHelp;
    std::string mHelpText; // kHelp: what to print (the help, or the version)
    PlayOptions mPlay;
    PresetOptions mPreset;
    ValidateOptions mValidate;
};
