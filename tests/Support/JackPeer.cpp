#include "JackPeer.h"

#include <CoreAudio/HostTime.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

namespace {

void Silent(const char*) {}

jack_client_t* OpenClient(const std::string& name)
{
    // A missing server is the test's verdict to give, not libjack's to print.
    jack_set_error_function(Silent);
    jack_set_info_function(Silent);
    return jack_client_open(name.c_str(), JackNoStartServer, nullptr);
}

} // namespace

std::vector<Byte> JackPeerEvent::Bytes() const
{
    return std::vector<Byte>(data, data + std::min<size_t>(length, sizeof data));
}

JackPeer::JackPeer(const std::string& name, const std::vector<std::string>& ports,
                   const std::vector<Through>& throughs)
    : mClient(OpenClient(name)), mEvents(new JackPeerEvent[kCapacity]),
      mCycles(new JackPeerCycle[kCycleCapacity]), mCopies(new JackPeerEvent[kCopyCapacity])
{
    if (mClient == nullptr)
        return;
    for (const std::string& port : ports)
        mPorts.push_back(
            jack_port_register(mClient, port.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0));
    bool registered = std::find(mPorts.begin(), mPorts.end(), nullptr) == mPorts.end();
    for (const Through& through : throughs) {
        jack_port_t* output = jack_port_register(mClient, through.output.c_str(),
                                                 JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        registered = registered && output != nullptr && through.input < mPorts.size();
        mThroughs.emplace_back(output, through.input);
    }
    if (!registered || jack_set_process_callback(mClient, &Process, this) != 0 ||
        jack_set_xrun_callback(mClient, &Xrun, this) != 0 || jack_activate(mClient) != 0) {
        jack_client_close(mClient);
        mClient = nullptr;
    }
}

JackPeer::~JackPeer()
{
    if (mClient != nullptr)
        jack_client_close(mClient);
}

jack_nframes_t JackPeer::SampleRate() const
{
    return mClient != nullptr ? jack_get_sample_rate(mClient) : 0;
}

jack_nframes_t JackPeer::BufferSize() const
{
    return mClient != nullptr ? jack_get_buffer_size(mClient) : 0;
}

int JackPeer::Process(jack_nframes_t frames, void* self)
{
    auto* peer = static_cast<JackPeer*>(self);
    jack_nframes_t firstFrame = 0;
    jack_time_t cycleStart = 0, nextCycle = 0;
    float periodMicros = 0;
    if (jack_get_cycle_times(peer->mClient, &firstFrame, &cycleStart, &nextCycle, &periodMicros) !=
        0)
        return 0;
    // Both clocks read together: of a few tries the least spread, as the machine may stall
    // between two reads and skew their pair by half the stall.
    UInt64 before = 0, after = ~UInt64(0);
    jack_time_t now = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const UInt64 first = AudioGetCurrentHostTime();
        const jack_time_t jack = jack_get_time();
        const UInt64 second = AudioGetCurrentHostTime();
        if (second - first < after - before) {
            before = first;
            now = jack;
            after = second;
        }
    }
    const size_t cycles = peer->mCycleCount.load(std::memory_order_relaxed);
    const bool repeated = cycles > 0 && firstFrame <= peer->mLastFirstFrame;
    peer->mLastFirstFrame = firstFrame;
    if (now > cycleStart + 1000 || repeated)
        peer->NoteDisturbance();
    if (cycles < kCycleCapacity) {
        peer->mCycles[cycles] = {firstFrame, cycleStart,           nextCycle,
                                 frames,     (before + after) / 2, now};
        peer->mCycleCount.store(cycles + 1, std::memory_order_release);
    }
    size_t count = peer->mCount.load(std::memory_order_relaxed);
    size_t copies = peer->mCopyCount.load(std::memory_order_relaxed);
    if (!repeated)
        peer->mCycleEventsStart = count;
    for (UInt32 port = 0; port < peer->mPorts.size(); ++port) {
        void* buffer = jack_port_get_buffer(peer->mPorts[port], frames);
        const jack_nframes_t events = jack_midi_get_event_count(buffer);
        for (jack_nframes_t n = 0; n < events && count < kCapacity; ++n) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, n) != 0)
                continue;
            JackPeerEvent& recorded = peer->mEvents[count];
            recorded.port = port;
            recorded.frame = UInt64(firstFrame) + event.time;
            recorded.length = UInt16(event.size);
            std::memcpy(recorded.data, event.buffer, std::min(event.size, sizeof recorded.data));
            if (!repeated || !peer->CameInTheCycleBefore(recorded, count))
                ++count;
            else if (copies < kCopyCapacity)
                peer->mCopies[copies++] = recorded;
        }
    }
    peer->mCopyCount.store(copies, std::memory_order_release);
    peer->mCount.store(count, std::memory_order_release);
    for (const auto& [output, input] : peer->mThroughs) {
        void* out = jack_port_get_buffer(output, frames);
        jack_midi_clear_buffer(out);
        void* in = jack_port_get_buffer(peer->mPorts[input], frames);
        const jack_nframes_t events = jack_midi_get_event_count(in);
        for (jack_nframes_t n = 0; n < events; ++n) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, in, n) == 0)
                jack_midi_event_write(out, event.time, event.buffer, event.size);
        }
    }
    return 0;
}

bool JackPeer::CameInTheCycleBefore(const JackPeerEvent& event, size_t count) const
{
    for (size_t n = mCycleEventsStart; n < count; ++n) {
        const JackPeerEvent& before = mEvents[n];
        if (before.port == event.port && before.frame == event.frame &&
            before.length == event.length &&
            std::memcmp(before.data, event.data,
                        std::min(size_t(event.length), sizeof event.data)) == 0)
            return true;
    }
    return false;
}

std::vector<JackPeerEvent> JackPeer::ServerCopies() const
{
    return std::vector<JackPeerEvent>(mCopies.get(),
                                      mCopies.get() + mCopyCount.load(std::memory_order_acquire));
}

bool JackPeer::Connect(const std::string& from, const std::string& to) const
{
    return mClient != nullptr && jack_connect(mClient, from.c_str(), to.c_str()) == 0;
}

long JackPeer::CaptureLatency(const std::string& port) const
{
    jack_port_t* found = mClient != nullptr ? jack_port_by_name(mClient, port.c_str()) : nullptr;
    if (found == nullptr)
        return -1;
    jack_latency_range_t range{0, 0};
    jack_port_get_latency_range(found, JackCaptureLatency, &range);
    return long(range.max);
}

bool JackPeer::WaitUntilSettled() const
{
    constexpr UInt64 kQuietNanos = 3000000000;
    const UInt64 giveUp = AudioGetCurrentHostTime() + 10000000000;
    while (AudioGetCurrentHostTime() < giveUp) {
        if (AudioGetCurrentHostTime() > LastDisturbance() + kQuietNanos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

NumberedEvents TakeOutStaleCopies(NumberedEvents& events, UInt32 periodFrames)
{
    std::map<int, UInt64> first;
    NumberedEvents copies;
    events.erase(std::remove_if(events.begin(), events.end(),
                                [&](const std::pair<int, UInt64>& event) {
                                    const auto [found, fresh] = first.emplace(event);
                                    const bool copy =
                                        !fresh && event.second > found->second &&
                                        (event.second - found->second) % periodFrames == 0;
                                    if (copy)
                                        copies.push_back(event);
                                    return copy;
                                }),
                 events.end());
    return copies;
}

UInt64 HostTimeOfFrame(const std::vector<JackPeerCycle>& cycles, UInt64 frame)
{
    for (const JackPeerCycle& cycle : cycles) {
        // A server that restarts its estimate of the cycles may give one that ends before it
        // starts: it times no frame.
        if (frame < cycle.firstFrame || frame >= cycle.firstFrame + cycle.frames ||
            cycle.endMicros <= cycle.startMicros)
            continue;
        const UInt64 jackNanos = cycle.startMicros * 1000 +
                                 (frame - cycle.firstFrame) *
                                     (cycle.endMicros - cycle.startMicros) * 1000 / cycle.frames;
        // The host and JACK clocks as the peer read them together in that cycle.
        return UInt64(SInt64(jackNanos) + SInt64(cycle.hostNanos) -
                      SInt64(cycle.jackMicros * 1000));
    }
    return 0;
}

std::vector<JackPeerCycle> JackPeer::Cycles() const
{
    return std::vector<JackPeerCycle>(mCycles.get(),
                                      mCycles.get() + mCycleCount.load(std::memory_order_acquire));
}

int JackPeer::Xrun(void* self)
{
    auto* peer = static_cast<JackPeer*>(self);
    ++peer->mXruns;
    peer->NoteDisturbance();
    return 0;
}

void JackPeer::NoteDisturbance()
{
    mLastDisturbance.store(AudioGetCurrentHostTime());
    ++mDisturbances;
}

std::vector<JackPeerEvent> JackPeer::WaitFor(size_t count, std::chrono::milliseconds timeout) const
{
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (mCount.load(std::memory_order_acquire) < count &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const size_t arrived = mCount.load(std::memory_order_acquire);
    return std::vector<JackPeerEvent>(mEvents.get(), mEvents.get() + arrived);
}

bool RunsInCI()
{
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

void JackServerTest::SetUp()
{
    jack_client_t* probe = OpenClient("plenko-probe");
    if (probe != nullptr) {
        jack_client_close(probe);
        return;
    }
    if (RunsInCI())
        FAIL() << "no JACK server can be reached, though CI starts one (.ci/run)";
    GTEST_SKIP() << "no JACK server can be reached: start one with "
                    "`jackd --no-realtime -d dummy -r 48000 -p 256 &` to run this test";
}
