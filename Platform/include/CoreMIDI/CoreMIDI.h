// Umbrella header of the MIDI services.
#pragma once

#include <CoreMIDI/MIDIServices.h>
