// auhost ends right after its last events went out, while another client keeps the server's
// requests busy by going in and out of the graph, so that the server is slow to take auhost's
// client out: every event still arrives once, none again in the cycles before the client is gone.
#include "HexBytes.h"
#include "JackPeer.h"
#include "MIDIFile/MIDIFileWriter.h"
#include "PrivateJackServer.h"
#include "ProgramRun.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kPlays = 6;
constexpr int kEvents = 4;
// Periods long enough that auhost, which looks at what was delivered every 10 ms, mostly ends
// within the period after the one that wrote its last events.
constexpr unsigned kPeriodFrames = 1024;

// A client that goes in and out of the graph until it is destroyed. The server answers each step
// only once a cycle has taken it up, and answers one request at a time: a close asked for
// meanwhile waits behind it, while the cycles go on.
class GraphChurn {
public:
    explicit GraphChurn(const std::string& name)
        : mClient(jack_client_open(name.c_str(), JackNoStartServer, nullptr))
    {
        if (mClient == nullptr)
            return;
        jack_set_process_callback(
            mClient, [](jack_nframes_t, void*) { return 0; }, nullptr);
        mThread = std::thread([this] {
            while (!mStop.load()) {
                jack_activate(mClient);
                jack_deactivate(mClient);
            }
        });
    }
    ~GraphChurn()
    {
        mStop.store(true);
        if (mThread.joinable())
            mThread.join();
        if (mClient != nullptr)
            jack_client_close(mClient);
    }
    GraphChurn(const GraphChurn&) = delete;
    GraphChurn& operator=(const GraphChurn&) = delete;

    bool IsOpen() const { return mClient != nullptr; }

private:
    jack_client_t* mClient;
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

// A message that makes the destination's port first, then the events 10 ms apart a second later;
// auhost ends at once after the last, adding messages of its own.
std::string WriteShortFile()
{
    MIDIFileWriter writer(0, 500, 1);
    writer.AddTempo(0, 0, 500000);
    const Byte warmUp[] = {0xB0, 24, 0};
    writer.AddMessage(0, 0, warmUp, sizeof warmUp);
    for (int n = 0; n < kEvents; ++n) {
        const Byte message[] = {0xB0, 20, Byte(n)};
        writer.AddMessage(0, UInt64(1000 + 10 * n), message, sizeof message);
    }
    return WriteTemporaryFile("short.mid", writer.Bytes());
}

class AuhostJackEnd : public PrivateJackServerTest<kPeriodFrames> {};

TEST_F(AuhostJackEnd, EveryEventArrivesOnceThoughTheServerIsSlowToLetTheClientGo)
{
    const std::string peerName = "plenko-end-" + std::to_string(getpid());
    const JackPeer peer(peerName, {"in"});
    ASSERT_TRUE(peer.IsOpen());
    const GraphChurn churn("plenko-churn-" + std::to_string(getpid()));
    ASSERT_TRUE(churn.IsOpen());
    const std::string file = WriteShortFile();
    for (int play = 0; play < kPlays; ++play) {
        const size_t before = peer.WaitFor(0, std::chrono::milliseconds(0)).size();
        const ProgramResult played =
            RunProgram({AUHOST_PATH, "play", file, "--to", peerName + ": in", "--quiet"},
                       {"AUDIO_COMPONENT_PATH=" PLENKO_BINARY_DIR});
        ASSERT_EQ(played.mExitStatus, 0) << played.mErr;
        // The peer records what reached it in its own cycles.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::vector<JackPeerEvent> events = peer.WaitFor(0, std::chrono::milliseconds(0));
        std::map<std::vector<Byte>, int> arrivals;
        for (size_t n = before; n < events.size(); ++n)
            ++arrivals[events[n].Bytes()];
        for (int n = 0; n < kEvents; ++n) {
            const std::vector<Byte> event = {0xB0, 20, Byte(n)};
            EXPECT_EQ(arrivals[event], 1) << "event " << n << ", play " << play;
        }
        // auhost's own messages are each sent once, too.
        for (const auto& [bytes, count] : arrivals)
            EXPECT_EQ(count, 1) << HexText(bytes.data(), bytes.size()) << ", play " << play;
    }
}

} // namespace
