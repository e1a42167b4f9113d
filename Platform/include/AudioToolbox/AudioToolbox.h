// The audio toolbox: the audio-unit services and the unit event utilities.
#pragma once

#include <AudioToolbox/AudioUnitUtilities.h>
#include <AudioUnit/AudioUnit.h>
