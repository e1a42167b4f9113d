// Writes the timing grid as a Standard MIDI File for auhost to play: at 500 ticks a quarter note
// and 120 beats a minute a tick is a millisecond.
#include "MIDIFile/MIDIFileWriter.h"
#include "TimingGrid.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: timing_grid OUT.mid\n");
        return 2;
    }
    MIDIFileWriter writer(0, 500, 1);
    writer.AddTempo(0, 0, 500000);
    const std::vector<Byte> warmUp = TimingGrid::WarmUpBytes();
    writer.AddMessage(0, 0, warmUp.data(), warmUp.size());
    const std::vector<int> steps = TimingGrid::EventSteps();
    for (int n = 0; n < TimingGrid::kEvents; ++n) {
        const std::vector<Byte> event = TimingGrid::EventBytes(n);
        writer.AddMessage(0, TimingGrid::EventNanos(steps[n]) / 1000000, event.data(),
                          event.size());
    }
    const std::vector<Byte> bytes = writer.Bytes();
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "timing_grid: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
