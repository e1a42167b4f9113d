// Umbrella header of the audio data records and the host clock.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>
#include <CoreAudio/HostTime.h>
