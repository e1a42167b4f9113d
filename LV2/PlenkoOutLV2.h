// What hosts and tools may know of the PlenkoOut plug-in beyond its Turtle description: the keys
// of its saved state, and an interface of its own that tells the time stamp the adapter gave the
// unit for the most recent cycle.
#pragma once

#include <lv2/core/lv2.h>

#include <stdint.h>

#define PLENKO_OUT_URI "urn:plenko:PlenkoOut"
// The unit's saved state, the class-info property list as a preset file holds it (atom:String).
#define PLENKO_OUT__classInfo PLENKO_OUT_URI "#classInfo"
// The chosen destination's name as the MIDI services show it, "program: port" (atom:String),
// and its unique id (atom:Int); absent while none is chosen.
#define PLENKO_OUT__destination PLENKO_OUT_URI "#destination"
#define PLENKO_OUT__destinationId PLENKO_OUT_URI "#destinationId"
// The value of the tx_device port when the state was saved (atom:Float): a host that restores
// the port to it after the state does not undo the destination the state chose.
#define PLENKO_OUT__txDevice PLENKO_OUT_URI "#txDevice"
// extension_data: a PlenkoOutCycleTimeInterface.
#define PLENKO_OUT__cycleTime PLENKO_OUT_URI "#cycleTime"

#ifdef __cplusplus
extern "C" {
#endif

// The time stamp of a cycle's first frame: its sample time, counted on from the first run, and its
// host time, estimated from the cycles' arrival times, with the host-clock ticks a frame lasts. A
// render call for the part of a cycle that starts `offset` frames in has sample time
// sampleTime + offset and host time hostTime + llround(offset * ticksPerFrame).
typedef struct {
    double sampleTime;
    uint64_t hostTime;
    double ticksPerFrame;
} PlenkoOutCycleTime;

typedef struct {
    // The most recent cycle's time stamp; all zero before the first run. Called between runs, in
    // the audio threading class.
    void (*last_cycle)(LV2_Handle instance, PlenkoOutCycleTime* time);
} PlenkoOutCycleTimeInterface;

#ifdef __cplusplus
}
#endif
