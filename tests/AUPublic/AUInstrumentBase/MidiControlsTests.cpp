#include "MidiControls.h"

#include <gtest/gtest.h>

namespace {

TEST(MidiControls, ResetLeavesPanCentredExpressionFullAndAllElseZero)
{
    MidiControls controls;
    controls.SetController(10, 3);
    controls.SetController(99, 5);
    controls.SetPolyPressure(60, 7);
    controls.SetChannelPressure(9);
    controls.SetProgramChange(12);
    controls.SetPitchWheel(16383);
    controls.Reset();
    for (UInt8 c = 0; c < 128; ++c)
        EXPECT_EQ(controls.GetController(c), c == 10 ? 64 : c == 11 ? 127 : 0) << int(c);
    EXPECT_EQ(controls.GetPolyPressure(60), 0);
    EXPECT_EQ(controls.GetChannelPressure(), 0);
    EXPECT_EQ(controls.GetProgramNumber(), 0);
    EXPECT_EQ(controls.GetPitchWheelRaw(), 0);
    EXPECT_EQ(controls.GetPitchBend(), 0.0f);
}

TEST(MidiControls, TablesRefuseNumbersBeyondTheirLastEntry)
{
    struct Case {
        const char* name;
        bool (*set)(MidiControls&, UInt8 number, UInt8 value);
        UInt8 (*get)(const MidiControls&, UInt8 number);
    };
    const Case cases[] = {
        {"controller", [](MidiControls& m, UInt8 n, UInt8 v) { return m.SetController(n, v); },
         [](const MidiControls& m, UInt8 n) { return m.GetController(n); }},
        {"key pressure", [](MidiControls& m, UInt8 n, UInt8 v) { return m.SetPolyPressure(n, v); },
         [](const MidiControls& m, UInt8 n) { return m.GetPolyPressure(n); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MidiControls controls;
        EXPECT_TRUE(c.set(controls, 0, 21));
        EXPECT_TRUE(c.set(controls, 127, 22));
        EXPECT_EQ(c.get(controls, 0), 21);
        EXPECT_EQ(c.get(controls, 127), 22);
        for (UInt8 n : {UInt8(128), UInt8(200), UInt8(255)})
            EXPECT_FALSE(c.set(controls, n, 23)) << int(n);
        // Nothing else was written: not the neighbour, not a wrapped-around entry.
        const MidiControls fresh;
        for (UInt8 n = 1; n < 127; ++n)
            EXPECT_EQ(c.get(controls, n), c.get(fresh, n)) << int(n);
    }
}

TEST(MidiControls, PitchWheelIsCentredOn8192AndScaledTo24Semitones)
{
    struct Case {
        UInt16 raw;
        Float32 bend;
    };
    for (const Case& c : {Case{0, -24.0f}, Case{8192, 0.0f}, Case{16383, 0.99987793f * 24.0f},
                          Case{4096, -12.0f}}) {
        MidiControls controls;
        EXPECT_TRUE(controls.SetPitchWheel(c.raw));
        EXPECT_EQ(controls.GetPitchWheelRaw(), c.raw);
        EXPECT_FLOAT_EQ(controls.GetPitchBend(), c.bend) << c.raw;
    }
}

TEST(MidiControls, ProgramKeepsItsLowByteAndSysexIsRefused)
{
    MidiControls controls;
    EXPECT_TRUE(controls.SetProgramChange(0x17F));
    EXPECT_EQ(controls.GetProgramNumber(), 0x7F);
    EXPECT_TRUE(controls.SetChannelPressure(99));
    EXPECT_EQ(controls.GetChannelPressure(), 99);
    UInt8 sysex[] = {0xF0, 0x7E, 0xF7};
    EXPECT_FALSE(controls.SetSysex(sysex));
}

} // namespace
