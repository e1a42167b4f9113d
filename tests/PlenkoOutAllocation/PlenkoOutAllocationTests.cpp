// A render call of the unit allocates nothing, whether its queue is empty or holds what fits
// into the storage it already has; the bundle's allocations are counted like the program's own.
#include "CountingAllocator.h"
#include "OutputCapture.h"
#include "PlenkoOutUnit.h"

#include <gtest/gtest.h>

TEST(PlenkoOutAllocation, RenderCallsAllocateNothing)
{
    SKIP_WHEN_SANITIZED();
    struct Case {
        const char* name;
        UInt32 messages;
    };
    const Case cases[] = {{"empty queue", 0}, {"a few messages", 16}};
    std::vector<long> counts;
    size_t received = 0;
    {
        OutputCapture out(OutputCapture::kStdout);
        PlenkoOutRig rig(1);
        HostedUnit& unit = rig.Unit();
        rig.Choose(0);
        // The first call anchors the clock and meets the thread's log buffers.
        for (UInt32 i = 0; i < 16; ++i)
            unit.MIDI(0x90, 60, 100, i);
        unit.Render();
        for (const Case& c : cases) {
            for (UInt32 i = 0; i < c.messages; ++i)
                unit.MIDI(0x90, 60, 100, i);
            CountAllocations counting;
            unit.Render();
            counts.push_back(counting.Count());
        }
        received = rig.Destination(0).WaitFor(32).size();
    }
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(counts[i], 0) << cases[i].name;
    EXPECT_EQ(received, 32u);
}
