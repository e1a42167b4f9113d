// The lookups that turn a host call's selector into the adapter that serves it, one class per
// kind of unit. Each adapter finds the unit in the instance block, checks the host's arguments,
// holds the unit's optional mutex where the call is not on the render path, calls the unit and
// turns any exception into the status the host receives.
#pragma once

#include <AudioUnit/AudioComponent.h>

// Selectors 1 to 18 (not 8, 12, 13): lifecycle, properties, parameters, listeners, render.
class AUBaseLookup {
public:
    static AudioComponentMethod Lookup(SInt16 selector); // [any-thread]
};

// The music-device MIDI calls, 0x101 and 0x102. [any-thread]
AudioComponentMethod MIDI_Lookup(SInt16 selector);

// The base calls, then the MIDI calls.
class AUMIDILookup {
public:
    static AudioComponentMethod Lookup(SInt16 selector); // [any-thread]
};

// The base calls, then output start and stop (0x201, 0x202).
class AUOutputLookup {
public:
    static AudioComponentMethod Lookup(SInt16 selector); // [any-thread]
};

// The output calls, then complex render (0x13).
class AUComplexOutputLookup {
public:
    static AudioComponentMethod Lookup(SInt16 selector); // [any-thread]
};

// The base calls, then in-place processing (0x14).
class AUBaseProcessLookup {
public:
    static AudioComponentMethod Lookup(SInt16 selector); // [any-thread]
};

// The base calls, then processing of several buffer lists (0x15).
class AUBaseProcessMultipleLookup {
public:
    static AudioComponentMethod Lookup(SInt16 selector); // [any-thread]
};

// The base calls and both processing calls.
class AUBaseProcessAndMultipleLookup {
public:
    static AudioComponentMethod Lookup(SInt16 selector); // [any-thread]
};

// In-place processing and the MIDI calls.
class AUMIDIProcessLookup {
public:
    static AudioComponentMethod Lookup(SInt16 selector); // [any-thread]
};

// A music device: the base calls, the note and instrument calls (0x103 to 0x106), then the MIDI
// calls.
class AUMusicLookup {
public:
    static AudioComponentMethod Lookup(SInt16 selector); // [any-thread]
};

// Only the property and parameter calls (3 to 7), no chain.
class AUAuxBaseLookup {
public:
    static AudioComponentMethod Lookup(SInt16 selector); // [any-thread]
};
