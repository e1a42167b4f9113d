// The unit shared by a host's threads: MIDI appended on one, rendered and sent on another, sent at
// once from a third that sets the presentation latency; host times formatted on several threads.
#include "HostTimeText.h"
#include "PlenkoOutUnit.h"
#include "Watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

// Standard output to /dev/null for the scope: the log is written, but nobody keeps it.
class DiscardedOutput {
public:
    DiscardedOutput()
    {
        fflush(stdout);
        mSaved = dup(STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~DiscardedOutput()
    {
        fflush(stdout);
        dup2(mSaved, STDOUT_FILENO);
        close(mSaved);
    }

private:
    int mSaved;
};

// Checks on the MIDI services' thread that message n carries n in its 14 data bits.
struct SequenceCheck {
    std::atomic<UInt32> received{0};
    std::atomic<UInt32> firstWrong{~0u};

    static void Receive(void* refCon, const MIDIPacket& packet)
    {
        auto* self = static_cast<SequenceCheck*>(refCon);
        UInt32 n = self->received.load(std::memory_order_relaxed);
        for (UInt16 at = 0; at < packet.length; at += 3, ++n) {
            const Byte* bytes = &packet.data[at];
            const bool right = packet.length - at >= 3 && bytes[0] == 0xB0 &&
                               UInt32(bytes[1] << 7 | bytes[2]) == (n & 0x3FFF);
            if (!right && self->firstWrong.load() == ~0u)
                self->firstWrong = n;
        }
        self->received.store(n, std::memory_order_release);
    }
};

} // namespace

TEST(PlenkoOutConcurrency, EveryMessageArrivesExactlyOnceAndInOrder)
{
    constexpr UInt32 kMessages = 1000000;
    constexpr int kLatencySets = 10000;
    // Less than the MIDI services hold at once, so that no send is refused for want of room.
    constexpr UInt32 kMaxInFlight = 2048;
    DiscardedOutput discarded;
    PlenkoOutRig rig(1);
    SequenceCheck check;
    rig.Destination(0).Listen(&SequenceCheck::Receive, &check);
    ASSERT_EQ(rig.Choose(0), noErr);
    const AudioUnit unit = rig.Unit().Unit();

    Watchdog watchdog(280, "a million messages through three threads");
    std::atomic<bool> rendering{true};
    // Render calls as fast as they come, each at the sample time of the moment, so that stamps
    // stay near the host clock.
    std::thread render([&] {
        while (rendering.load(std::memory_order_relaxed))
            rig.Unit().RenderInRealTime(256);
    });
    std::thread latency([&] {
        const Float64 seconds = 0.001;
        for (int i = 0; i < kLatencySets; ++i) {
            AudioUnitSetProperty(unit, kAudioUnitProperty_PresentationLatency,
                                 kAudioUnitScope_Output, 0, &seconds, sizeof seconds);
            std::this_thread::yield();
        }
    });
    std::thread midi([&] {
        for (UInt32 n = 0; n < kMessages; ++n) {
            while (n - check.received.load(std::memory_order_acquire) >= kMaxInFlight)
                std::this_thread::yield();
            MusicDeviceMIDIEvent(unit, 0xB0, (n >> 7) & 0x7F, n & 0x7F, 0);
        }
    });
    midi.join();
    latency.join();
    while (check.received.load(std::memory_order_acquire) < kMessages)
        std::this_thread::yield();
    rendering = false;
    render.join();

    EXPECT_EQ(check.firstWrong.load(), ~0u);
    EXPECT_EQ(check.received.load(), kMessages);
    rig.Unit().Dispose();
    EXPECT_EQ(check.received.load(), kMessages) << "messages arrived twice";
}

// The MIDI thread and the render thread format host times for their lines at the same time.
TEST(PlenkoOutConcurrency, HostTimeTextBelongsToTheCallingThread)
{
    struct Case {
        UInt64 hostTime;
        const char* text;
    };
    const Case cases[] = {{3723500000000ull, "1:02:03 22050"}, {59999999999ull, "0:00:59 44099"}};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (const Case& c : cases)
        threads.emplace_back([&wrong, c] {
            for (int i = 0; i < 100000; ++i) {
                if (std::string(hostTimeToString(c.hostTime)) != c.text)
                    ++wrong;
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}
