// What a music device adds to the MIDI part: the instrument count property.
#include "MIDITestUnit.h"

#include <gtest/gtest.h>

using namespace midi_test;

TEST(MusicDeviceBase, TheInstrumentCountIsAReadOnlyZeroInTheGlobalScopeOnly)
{
    MIDITestInstance instance;
    ASSERT_EQ(instance.OpenStatus(), noErr);
    struct Case {
        AudioUnitScope scope;
        OSStatus status;
    } cases[] = {{kAudioUnitScope_Global, noErr},
                 {kAudioUnitScope_Input, kAudioUnitErr_InvalidScope},
                 {kAudioUnitScope_Group, kAudioUnitErr_InvalidScope}};
    for (const Case& c : cases) {
        UInt32 size = 0;
        Boolean writable = true;
        EXPECT_EQ(AudioUnitGetPropertyInfo(instance.Unit(), kMusicDeviceProperty_InstrumentCount,
                                           c.scope, 0, &size, &writable),
                  c.status);
        UInt32 count = 0xFFFFFFFF;
        UInt32 countSize = sizeof count;
        EXPECT_EQ(AudioUnitGetProperty(instance.Unit(), kMusicDeviceProperty_InstrumentCount,
                                       c.scope, 0, &count, &countSize),
                  c.status);
        if (c.status == noErr) {
            EXPECT_EQ(size, sizeof(UInt32));
            EXPECT_FALSE(writable);
            EXPECT_EQ(count, 0u);
        }
    }
    const UInt32 one = 1;
    EXPECT_NE(AudioUnitSetProperty(instance.Unit(), kMusicDeviceProperty_InstrumentCount,
                                   kAudioUnitScope_Global, 0, &one, sizeof one),
              noErr);
}
