// Test helpers for the JACK backend: a fixture that runs a test only when a JACK server can be
// reached (and fails it in CI, which starts one), and a JACK client of the test's own, which the
// MIDI services see as another program, with MIDI input ports that record what they receive.
#pragma once

#include <MacTypes.h>

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

struct JackPeerEvent {
    UInt32 port;   // index among the peer's ports
    UInt64 frame;  // the server's frame count at the event
    UInt16 length; // bytes of the message, of which the first 16 are kept
    Byte data[16];

    std::vector<Byte> Bytes() const;
};

// One process cycle as the server timed it (jack_get_cycle_times), with the JACK and host clocks
// read together in the peer's callback.
struct JackPeerCycle {
    UInt64 firstFrame;
    UInt64 startMicros;
    UInt64 endMicros;
    UInt32 frames;
    UInt64 hostNanos;
    UInt64 jackMicros;
};

class JackPeer {
public:
    static constexpr size_t kCapacity = 1 << 17;
    // Cycles enough for a test's longest series of plays (about twelve minutes at 256 frames).
    static constexpr size_t kCycleCapacity = 1 << 17;
    static constexpr size_t kCopyCapacity = 1 << 12;

    // An output port that passes on, in the same cycle and at the same frames, what one of the
    // peer's input ports receives: how a test feeds another program what reached it.
    struct Through {
        std::string output;
        UInt32 input; // index among the input ports
    };

    // Opens a client of that name (never starting a server) with one MIDI input port per name
    // and the through ports, and activates it. IsOpen() tells whether that worked.
    JackPeer(const std::string& name, const std::vector<std::string>& ports,
             const std::vector<Through>& throughs = {});
    ~JackPeer(); // closes the client: its ports vanish
    JackPeer(const JackPeer&) = delete;
    JackPeer& operator=(const JackPeer&) = delete;

    bool IsOpen() const { return mClient != nullptr; }
    // Connects two ports by their full names; false when the server refuses.
    bool Connect(const std::string& from, const std::string& to) const;
    // The largest capture latency the server gives the port of that full name, in frames (what a
    // client declares of it); -1 for no such port.
    long CaptureLatency(const std::string& port) const;
    jack_nframes_t SampleRate() const;
    jack_nframes_t BufferSize() const;
    // How often, since the peer opened, the server missed a cycle (an xrun), began one more than
    // a millisecond after its own estimate of the cycle's start (as after its driver lost and
    // re-anchored its schedule) or ran the peer again for a cycle it had run, and the host time
    // of the last time: each unsettles the server's clock estimate, and so its frames against
    // other clocks, for seconds.
    size_t Disturbances() const { return mDisturbances.load(); }
    // How often of those the server missed a cycle, which loses that cycle's MIDI for a client
    // it did not run.
    size_t Xruns() const { return mXruns.load(); }
    UInt64 LastDisturbance() const { return mLastDisturbance.load(); }
    // After a missed cycle, or its driver's re-anchoring of a schedule it fell behind (a busy
    // machine without real-time scheduling, a client joining or leaving the graph), the server's
    // estimate of its cycles' times takes seconds to settle, moving its frames against every other
    // clock meanwhile. Waits until the peer has seen no such disturbance for three seconds (at
    // most ten); false if it never did.
    bool WaitUntilSettled() const;
    // The cycles since the peer opened (the first kCycleCapacity of them).
    std::vector<JackPeerCycle> Cycles() const;
    // Waits until at least count events arrived (or the timeout passed) and returns them all,
    // but for the server's copies.
    std::vector<JackPeerEvent>
    WaitFor(size_t count,
            std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const;
    // The server's copies: when it runs the peer again for a cycle it has run (its cycle begins
    // no later than the last one did), it hands on the other clients' buffers as they stood, so
    // what came in that cycle comes again, the same bytes at the same frames. No sender made them;
    // the peer keeps them apart from the events (the first thousands of them).
    std::vector<JackPeerEvent> ServerCopies() const;

private:
    static int Process(jack_nframes_t frames, void* self);
    // Whether the event, in a repeated cycle, is one the cycle brought before.
    bool CameInTheCycleBefore(const JackPeerEvent& event, size_t count) const;
    static int Xrun(void* self);

    jack_client_t* mClient = nullptr;
    std::vector<jack_port_t*> mPorts;
    std::vector<std::pair<jack_port_t*, UInt32>> mThroughs;
    std::unique_ptr<JackPeerEvent[]> mEvents;
    std::atomic<size_t> mCount{0};
    void NoteDisturbance();

    std::unique_ptr<JackPeerCycle[]> mCycles;
    std::atomic<size_t> mCycleCount{0};
    std::atomic<size_t> mDisturbances{0};
    std::atomic<size_t> mXruns{0};
    std::atomic<UInt64> mLastDisturbance{0};

    // The process thread's own: the last callback's first frame, and where the events of the
    // last cycle that was not a repeat begin.
    UInt64 mLastFirstFrame = 0;
    size_t mCycleEventsStart = 0;
    std::unique_ptr<JackPeerEvent[]> mCopies;
    std::atomic<size_t> mCopyCount{0};
};

// Events by their number, with their frames.
using NumberedEvents = std::vector<std::pair<int, UInt64>>;

// A client that the server's cycle went on without (a missed deadline; the dummy driver, not
// real-time, now and then begins its timeline afresh without calling it an xrun) leaves its port
// buffer as it was, and the server hands the same events on again, a whole number of periods
// later at the same place in the cycle. Such copies are taken out and returned; a copy anywhere
// else stays, to be found twice.
NumberedEvents TakeOutStaleCopies(NumberedEvents& events, UInt32 periodFrames);

// The host time at which the server's cycles, as a peer saw them, put an absolute frame; 0 when
// none of them holds it.
UInt64 HostTimeOfFrame(const std::vector<JackPeerCycle>& cycles, UInt64 frame);

// Whether the environment says the tests run in CI (CI=true), which starts a JACK server.
bool RunsInCI();

// Opens a probe client in SetUp: without a server the test is skipped, or fails when the
// environment says it runs in CI (CI=true).
class JackServerTest : public ::testing::Test {
protected:
    void SetUp() override;
};
