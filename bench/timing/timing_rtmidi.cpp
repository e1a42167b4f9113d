// Plays the timing grid through RtMidi's JACK output to a JACK input port: each message is sent
// at its absolute deadline on the monotonic clock, from a thread that asks for the same real-time
// scheduling as auhost's render thread.
#include "TimingGrid.h"

#include <RealTimeScheduling.h>

#include <RtMidi.h>

#include <cstdio>
#include <ctime>
#include <string>

namespace {

UInt64 Now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return UInt64(now.tv_sec) * 1000000000 + UInt64(now.tv_nsec);
}

void SleepUntil(UInt64 deadline)
{
    const timespec until{time_t(deadline / 1000000000), long(deadline % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: timing_rtmidi CLIENT:PORT\n");
        return 2;
    }
    const std::string target = argv[1];
    try {
        RtMidiOut out(RtMidi::UNIX_JACK, "plenko-timing-rtmidi");
        unsigned port = out.getPortCount();
        for (unsigned n = 0; n < out.getPortCount(); ++n)
            if (out.getPortName(n) == target)
                port = n;
        if (port == out.getPortCount()) {
            std::fprintf(stderr, "timing_rtmidi: no JACK port %s\n", target.c_str());
            return 1;
        }
        out.openPort(port, "out");
        const bool realTime = RequestRealTimeScheduling(kRealTimePriorityRender);
        const std::vector<int> steps = TimingGrid::EventSteps();
        const UInt64 start = Now() + 100000000;
        SleepUntil(start);
        const std::vector<Byte> warmUp = TimingGrid::WarmUpBytes();
        out.sendMessage(&warmUp);
        for (int n = 0; n < TimingGrid::kEvents; ++n) {
            SleepUntil(start + TimingGrid::EventNanos(steps[n]));
            const std::vector<Byte> event = TimingGrid::EventBytes(n);
            out.sendMessage(&event);
        }
        // RtMidi hands messages to its process callback through a ring: time to write the last.
        SleepUntil(Now() + 200000000);
        std::printf("timing_rtmidi: %d events sent%s\n", TimingGrid::kEvents,
                    realTime ? ", real-time" : "");
    } catch (const RtMidiError& error) {
        std::fprintf(stderr, "timing_rtmidi: %s\n", error.getMessage().c_str());
        return 1;
    }
    return 0;
}
