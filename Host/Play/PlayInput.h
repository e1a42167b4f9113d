// What `auhost play` checks before a unit is opened: the song read, the preset read and made for
// the unit, and the recording's place. Each refusal is a std::runtime_error of one line.
#pragma once

#include "CommandLine/HostCommand.h"
#include "MIDIFile/MIDISequence.h"
#include "Play/PlayRoute.h"
#include "Presets/PresetFile.h"

#include <optional>

struct PlayInput {
    // Reads and checks what the options name. [host-thread]
    explicit PlayInput(const PlayOptions& options);

    const MIDISequence mSong;
    std::optional<PresetFile> mPreset;
};

// --record records at the monitor: another destination is refused. [host-thread]
void CheckRecordRoute(const PlayOptions& options, const PlayRoute& route);
