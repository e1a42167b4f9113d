// The unit's log as a host's console sees it: a standard output that blocks never stalls a render
// call, lines that could not be written are counted once output flows again, and PLENKO_LOG=off
// silences the unit.
#include "PlenkoOutUnit.h"
#include "Watchdog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <regex>
#include <thread>
#include <unistd.h>

namespace {

// Standard output on a pipe that nobody reads and that is already full, until Drain() starts a
// reader; restored at the end of the scope.
class FullPipeOutput {
public:
    FullPipeOutput()
    {
        fflush(stdout);
        EXPECT_EQ(pipe(mPipe), 0);
        const int flags = fcntl(mPipe[1], F_GETFL);
        fcntl(mPipe[1], F_SETFL, flags | O_NONBLOCK);
        const std::string filler(4096, 'x');
        while (write(mPipe[1], filler.data(), filler.size()) > 0)
            mFilled += filler.size();
        fcntl(mPipe[1], F_SETFL, flags);
        mSaved = dup(STDOUT_FILENO);
        dup2(mPipe[1], STDOUT_FILENO);
    }
    ~FullPipeOutput()
    {
        dup2(mSaved, STDOUT_FILENO);
        close(mSaved);
        close(mPipe[1]);
        if (mReader.joinable())
            mReader.join();
        close(mPipe[0]);
    }

    // Reads the pipe from now on, keeping what follows the filler.
    void Drain()
    {
        mReader = std::thread([this] {
            char chunk[4096];
            size_t skipped = 0;
            for (;;) {
                const ssize_t got = read(mPipe[0], chunk, sizeof chunk);
                if (got <= 0)
                    return;
                size_t start = 0;
                if (skipped < mFilled) {
                    start = std::min(size_t(got), mFilled - skipped);
                    skipped += start;
                }
                std::lock_guard<std::mutex> lock(mMutex);
                mText.append(chunk + start, size_t(got) - start);
            }
        });
    }
    std::string Text()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mText;
    }

private:
    int mPipe[2] = {-1, -1};
    int mSaved = -1;
    size_t mFilled = 0;
    std::thread mReader;
    std::mutex mMutex;
    std::string mText;
};

} // namespace

TEST(PlenkoOutLog, BlockedOutputNeverStallsARenderCall)
{
    constexpr UInt32 kMessages = 3000;
    PlenkoOutRig rig(1);
    HostedUnit& unit = rig.Unit();
    ASSERT_EQ(rig.Choose(0), noErr);
    // From this render call on, this thread is the unit's render thread, and its MIDI calls too.
    ASSERT_EQ(unit.Render(512, 0), noErr);
    std::string text;
    {
        FullPipeOutput output;
        {
            Watchdog watchdog(120, "render calls with standard output blocked");
            for (UInt32 i = 0; i < kMessages; ++i) {
                unit.MIDI(0x90, i % 128, 1);
                unit.Render();
            }
        }
        output.Drain();
        Watchdog watchdog(120, "the log once standard output flows again");
        while (output.Text().find("blocked\n") == std::string::npos)
            unit.Render();
        text = output.Text();
    }
    EXPECT_EQ(rig.Destination(0).WaitFor(kMessages).size(), kMessages);
    std::smatch count;
    ASSERT_TRUE(std::regex_search(
        text, count,
        std::regex("PlenkoOut: (\\d+) log lines dropped while standard output was blocked\n")))
        << text.substr(0, 2000);
    const unsigned long dropped = std::stoul(count[1]);
    EXPECT_GT(dropped, 0u);
    // Every line the ring kept is whole: 2 lines a message, less those dropped.
    const std::regex line("(AddMIDIEvent: [^\n]+ NoteOn key = \\d{3}, velo = 001|"
                          "PlenkoOut::FireAtTimeStamp: [^\n]+ 1/1: \\d+)\n");
    const auto lines =
        std::distance(std::sregex_iterator(text.begin(), text.end(), line), std::sregex_iterator());
    EXPECT_EQ(size_t(lines) + dropped, 2 * kMessages);
}

TEST(PlenkoOutLog, OffInTheEnvironmentSilencesTheUnit)
{
    setenv("PLENKO_LOG", "off", 1);
    size_t received = 0;
    const std::string text = StdoutOf([&] {
        PlenkoOutRig rig(1);
        rig.Choose(0);
        rig.Unit().MIDI(0x90, 60, 100);
        rig.Unit().Render();
        received = rig.Destination(0).WaitFor(1).size();
        rig.Unit().Dispose();
    });
    unsetenv("PLENKO_LOG");
    EXPECT_EQ(text, "");
    EXPECT_EQ(received, 1u);
}
