// How `auhost play` sets up the output unit: its log switched on or off, the preset and the
// options as its parameters, its format, and the destination as its "TX Device".
#pragma once

#include "CommandLine/HostCommand.h"
#include "Play/PlayRoute.h"
#include "Presets/PresetFile.h"
#include "Units/UnitInstance.h"

#include <optional>

// The unit's own log reaches standard output only when asked for; the unit reads its switch
// when it is opened, so this comes first. [host-thread]
void ChooseUnitLog(const PlayOptions& options);
// Whether the unit writes its log to standard output. [any-thread]
bool UnitLogs();

// The preset first, then every option given, so that explicit options win; then the format,
// initialization and the destination. Throws std::runtime_error when --program or --bank has no
// transmit channel to go out on. [host-thread]
void SetUpUnit(UnitInstance& unit, const PlayOptions& options,
               const std::optional<PresetFile>& preset, const PlayRoute& route);

// The bank and program messages the unit sends of its own when play starts. [host-thread]
UInt64 BankAndProgramMessages(const UnitInstance& unit);
