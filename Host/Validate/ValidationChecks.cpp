#include "ValidationChecks.h"

#include "CheckBodies.h"

const std::vector<ValidationCheck>& ValidationChecks()
{
    static const std::vector<ValidationCheck> kChecks = {
        {"open-close", 1,
         "opens cold and warm, disposes without initializing, initializes twice, uninitializes "
         "and initializes again",
         CheckOpenClose},
        {"info", 1, "the component's description, name and version", CheckInfo},
        {"properties", 2,
         "every property the unit answers in every scope: its size, reads with the exact, a "
         "smaller and a larger size, refused writes of read-only ones, nothing changed",
         CheckProperties},
        {"parameters", 3,
         "parameter lists and infos: names, units, ranges, defaults inside them, flags, value "
         "strings of indexed parameters",
         CheckParameters},
        {"parameter-values", 3,
         "sets minimum, maximum, default, out of range, NaN and infinities: reads back what was "
         "stored and renders finite output after each",
         CheckParameterValues},
        {"render-grid", 4,
         "renders silent, finite output at 44100, 48000, 96000 and 192000 Hz in slices of 1 to "
         "4096 frames",
         CheckRenderGrid},
        {"render-too-many-frames", 4,
         "a slice larger than the maximum frames is refused with -10874 and the next one renders",
         CheckRenderTooManyFrames},
        {"render-random-slices", 5,
         "random slice sizes, with resets and re-initializations between them",
         CheckRenderRandomSlices},
        {"midi", 5,
         "note on and off, controllers, program changes, pressure and pitch bend at random "
         "offsets; through a monitor destination each arrives once, in order, with its stamp",
         CheckMIDIMessages},
        {"midi-random-bytes", 6,
         "random status and data bytes and SysEx at random offsets: no error, and a note sent "
         "after them still arrives",
         CheckMIDIRandomBytes},
        {"state-round-trip", 6,
         "save, change every parameter, restore, save again: the same bytes and values",
         CheckStateRoundTrip},
        {"state-refusals", 7,
         "empty, truncated, wrong-typed and random (1 MB) states are refused with a status and "
         "leave the unit as it was",
         CheckStateRefusals},
        {"open-close-cycles", 8, "100 cycles of open, initialize, render, close; time per open",
         CheckOpenCloseCycles},
        {"threads", 8,
         "parameters set and properties read from a second thread while 10000 slices render",
         CheckThreads},
        {"real-time", 9,
         "no allocation and no blocking lock on the render thread over 10000 slices after "
         "warm-up, with an empty MIDI queue",
         CheckRealTime},
        {"fuzz", 10,
         "random parameter writes in every scope and mutated saved states between render calls",
         CheckFuzz},
    };
    return kChecks;
}

const ValidationCheck* FindValidationCheck(const std::string& name)
{
    for (const ValidationCheck& check : ValidationChecks())
        if (name == check.mName)
            return &check;
    return nullptr;
}
