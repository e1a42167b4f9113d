// The timing benchmark's measuring JACK client: a MIDI input port whose process callback notes the
// server's absolute frame of every grid event as it arrives. Once all have come, or after the
// timeout, it prints one line per event in arrival order, "number frame", then "end" with how many
// cycles the server missed meanwhile and how many it began more than a millisecond late (either
// unsettles its clock, and so the frames, for a while). It prints "ready" once its port can be
// connected to.
#include "TimingGrid.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

struct Arrival {
    int number;
    UInt64 frame;
};

constexpr size_t kCapacity = 4 * TimingGrid::kEvents;

struct Monitor {
    jack_client_t* client = nullptr;
    jack_port_t* port = nullptr;
    Arrival arrivals[kCapacity];
    std::atomic<size_t> count{0};
    std::atomic<unsigned> xruns{0};
    std::atomic<unsigned> lateCycles{0};
};

int Process(jack_nframes_t frames, void* argument)
{
    auto* monitor = static_cast<Monitor*>(argument);
    const jack_nframes_t first = jack_last_frame_time(monitor->client);
    jack_nframes_t cycleFrame = 0;
    jack_time_t cycleStart = 0, nextCycle = 0;
    float periodMicros = 0;
    if (jack_get_cycle_times(monitor->client, &cycleFrame, &cycleStart, &nextCycle,
                             &periodMicros) == 0 &&
        jack_get_time() > cycleStart + 1000)
        monitor->lateCycles.fetch_add(1, std::memory_order_relaxed);
    void* buffer = jack_port_get_buffer(monitor->port, frames);
    size_t count = monitor->count.load(std::memory_order_relaxed);
    for (jack_nframes_t n = 0; n < jack_midi_get_event_count(buffer) && count < kCapacity; ++n) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, n) != 0)
            continue;
        const int number = TimingGrid::NumberOf(event.buffer, event.size);
        if (number >= 0)
            monitor->arrivals[count++] = {number, UInt64(first) + event.time};
    }
    monitor->count.store(count, std::memory_order_release);
    return 0;
}

int Xrun(void* argument)
{
    ++static_cast<Monitor*>(argument)->xruns;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const double timeoutSeconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    static Monitor monitor;
    jack_status_t status{};
    monitor.client = jack_client_open("plenko-timing-monitor", JackNoStartServer, &status);
    if (monitor.client == nullptr) {
        std::fprintf(stderr, "timing_monitor: no JACK server\n");
        return 1;
    }
    monitor.port =
        jack_port_register(monitor.client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(monitor.client, &Process, &monitor);
    jack_set_xrun_callback(monitor.client, &Xrun, &monitor);
    if (monitor.port == nullptr || jack_activate(monitor.client) != 0) {
        std::fprintf(stderr, "timing_monitor: cannot activate\n");
        return 1;
    }
    std::printf("ready %u %u\n", jack_get_sample_rate(monitor.client),
                jack_get_buffer_size(monitor.client));
    std::fflush(stdout);
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(long(timeoutSeconds * 1000));
    while (monitor.count.load() < size_t(TimingGrid::kEvents) &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // Anything still arriving, repeated events among it, is counted too.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    jack_deactivate(monitor.client);
    const size_t count = monitor.count.load();
    for (size_t n = 0; n < count; ++n)
        std::printf("%d %llu\n", monitor.arrivals[n].number,
                    static_cast<unsigned long long>(monitor.arrivals[n].frame));
    std::printf("end xruns %u late %u\n", monitor.xruns.load(), monitor.lateCycles.load());
    jack_client_close(monitor.client);
    return 0;
}
