// Output units: units that drive their own rendering once started.
#pragma once

#include <AudioUnit/AUComponent.h>

#ifdef __cplusplus
extern "C" {
#endif

// [host-thread]
OSStatus AudioOutputUnitStart(AudioUnit ci);
// [host-thread]
OSStatus AudioOutputUnitStop(AudioUnit ci);

#ifdef __cplusplus
}
#endif
