// Option values that CLI11 takes as text and auhost reads itself: a unit's three codes, a bank
// select, a parameter setting. A text that does not read is a CLI11 validation error naming the
// option, in auhost's own words.
#pragma once

#include "CommandLine/HostCommand.h"

#include <optional>
#include <string>

namespace CLI {
class App;
}

// The largest data byte of a MIDI message: programs and bank numbers go from 0 to it.
constexpr long kMaxMIDIValue = 127;

// TYPE:SUBTYPE:MANU, four printable characters each (--unit).
AudioComponentDescription UnitFromText(const std::string& text);
// MSB or MSB:LSB, 0 to 127 each (--bank).
BankSelect BankFromText(const std::string& text);
// ID=VALUE, a parameter number and a number (--set).
ParameterSetting SettingFromText(const std::string& text);

// Adds --unit to a command that opens a unit; the text lands in `text`, read by UnitFromText.
void AddUnitOption(CLI::App& command, std::optional<std::string>& text);
