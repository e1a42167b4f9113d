// Everything a host or a unit needs of the audio-unit services.
#pragma once

#include <AudioUnit/AUComponent.h>
#include <AudioUnit/AudioComponent.h>
#include <AudioUnit/AudioOutputUnit.h>
#include <AudioUnit/MusicDevice.h>
