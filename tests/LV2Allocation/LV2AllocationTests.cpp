// What lets the plug-in declare lv2:hardRTCapable: run() allocates nothing, whether it only
// renders, passes the unit MIDI at many frames, splits the run into slices or sets the unit's
// parameters from changed controls; the plug-in's and the unit's allocations are counted like
// the program's own. (The jobs run() asks for are done after it, as a host's worker does them.)
#include "CountingAllocator.h"
#include "LilvHost.h"
#include "MIDIRecorder.h"

#include <gtest/gtest.h>

TEST(LV2Allocation, RunAllocatesNothing)
{
    SKIP_WHEN_SANITIZED();
    MIDIRecorder destination("LV2 allocation");
    LilvHost host;
    LilvPluginInstance plugin(host, {48000, 256, true, true});
    ASSERT_TRUE(plugin.IsOpen());
    plugin.SetControl("tx_device", TXDeviceOf("LV2 allocation"));
    plugin.SetControl("tx_channel", 2);
    // The first runs choose the destination and meet the unit's storage for a full queue.
    std::vector<TimedMIDI> notes;
    for (UInt32 i = 0; i < 48; ++i)
        notes.push_back({i * 20, {0x90, Byte(i), 100}});
    plugin.Run(1024, notes);
    plugin.Run(1024, notes);
    struct Case {
        const char* name;
        UInt32 frames;
        std::vector<TimedMIDI> events;
        const char* control;
        float value;
    };
    const Case cases[] = {
        {"silence", 256, {}, nullptr, 0},
        {"notes in split slices", 1024, notes, nullptr, 0},
        {"a program change", 256, {{5, {0x90, 1, 2}}}, "prg_change", 10},
        {"a channel", 256, {{5, {0x90, 1, 2}}}, "tx_channel", 5},
        {"another destination", 256, {}, "tx_device", TXDeviceOf("LV2 allocation") + 0.5f},
    };
    for (const Case& c : cases) {
        plugin.SetEvents(c.events);
        if (c.control != nullptr)
            plugin.SetControl(c.control, c.value);
        long count = 0;
        {
            CountAllocations counting;
            plugin.RunOnly(c.frames);
            count = counting.Count();
        }
        plugin.PerformJobs();
        EXPECT_EQ(count, 0) << c.name;
    }
    EXPECT_GT(destination.Settled().size(), 96u);
}
