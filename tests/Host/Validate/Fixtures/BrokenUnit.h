// The flaws the validator's fixture units carry, one per bundle: each is the MIDI output unit with
// one fault that a validation test exists to catch. BROKEN_UNIT_FLAW picks the flaw a build has.
#pragma once

enum BrokenUnitFlaw {
    kAllocatesInRender = 1,    // a scratch block from the allocator on every render call
    kWrongPropertySize = 2,    // in-place processing answered as 2 bytes, not a UInt32
    kForgetsOnRestore = 3,     // a restored state leaves "TX Channel" as it was
    kAbortsOnNaNParameter = 4, // a check that ends the process when a parameter is set to NaN
    kLocksInRender = 5         // a mutex that the render call shares with parameter changes
};
