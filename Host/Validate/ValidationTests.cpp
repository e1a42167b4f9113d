#include "ValidationTests.h"

#include "TestBodies.h"

const std::vector<ValidationTest>& ValidationTests()
{
    static const std::vector<ValidationTest> kTests = {
        {"open-close", 1,
         "opens cold and warm, disposes without initializing, initializes twice, uninitializes "
         "and initializes again",
         TestOpenClose},
        {"info", 1, "the component's description, name and version", TestInfo},
        {"properties", 2,
         "every property the unit answers in every scope: its size, reads with the exact, a "
         "smaller and a larger size, refused writes of read-only ones, nothing changed",
         TestProperties},
        {"parameters", 3,
         "parameter lists and infos: names, units, ranges, defaults inside them, flags, value "
         "strings of indexed parameters",
         TestParameters},
        {"parameter-values", 3,
         "sets minimum, maximum, default, out of range, NaN and infinities: reads back what was "
         "stored and renders finite output after each",
         TestParameterValues},
        {"render-grid", 4,
         "renders silent, finite output at 44100, 48000, 96000 and 192000 Hz in slices of 1 to "
         "4096 frames",
         TestRenderGrid},
        {"render-too-many-frames", 4,
         "a slice larger than the maximum frames is refused with -10874 and the next one renders",
         TestRenderTooManyFrames},
        {"render-random-slices", 5,
         "random slice sizes, with resets and re-initializations between them",
         TestRenderRandomSlices},
        {"midi", 5,
         "note on and off, controllers, program changes, pressure and pitch bend at random "
         "offsets; through a monitor destination each arrives once, in order, with its stamp",
         TestMIDIMessages},
        {"midi-random-bytes", 6,
         "random status and data bytes and SysEx at random offsets: no error, and a note sent "
         "after them still arrives",
         TestMIDIRandomBytes},
        {"state-round-trip", 6,
         "save, change every parameter, restore, save again: the same bytes and values",
         TestStateRoundTrip},
        {"state-refusals", 7,
         "empty, truncated, wrong-typed and random (1 MB) states are refused with a status and "
         "leave the unit as it was",
         TestStateRefusals},
        {"open-close-cycles", 8, "100 cycles of open, initialize, render, close; time per open",
         TestOpenCloseCycles},
        {"threads", 8,
         "parameters set and properties read from a second thread while 10000 slices render",
         TestThreads},
        {"real-time", 9,
         "no allocation and no blocking lock on the render thread over 10000 slices after "
         "warm-up, with an empty MIDI queue",
         TestRealTime},
        {"fuzz", 10,
         "random parameter writes in every scope and mutated saved states between render calls",
         TestFuzz},
    };
    return kTests;
}

const ValidationTest* FindValidationTest(const std::string& name)
{
    for (const ValidationTest& test : ValidationTests())
        if (name == test.mName)
            return &test;
    return nullptr;
}
