// The unit's log as a host's console sees it: a standard output that blocks never stalls a render
// call, lines that could not be written are counted once output flows again, and PLENKO_LOG=off
// silences the unit.
#include "PlenkoOutUnit.h"
#include "Watchdog.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sstream>
#include <thread>
#include <unistd.h>

TEST(PlenkoOutLog, BlockedOutputNeverStallsARenderCall)
{
    constexpr UInt32 kMessages = 3000;
    PlenkoOutRig rig(1);
    HostedUnit& unit = rig.Unit();
    rig.Choose(0);
    // From this call on, this thread is the unit's render thread, its MIDI calls too.
    unit.Render(512, 0);

    // Standard output on a pipe that is full and that nobody reads yet.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    fcntl(ends[1], F_SETFL, O_NONBLOCK);
    const std::string filler(4096, 'x');
    while (write(ends[1], filler.data(), filler.size()) > 0) {
    }
    fcntl(ends[1], F_SETFL, 0);
    fflush(stdout);
    const int savedStdout = dup(STDOUT_FILENO);
    dup2(ends[1], STDOUT_FILENO);
    {
        Watchdog watchdog(120, "render calls with standard output blocked");
        for (UInt32 i = 0; i < kMessages; ++i) {
            unit.MIDI(0x90, i % 128, 1);
            unit.Render();
        }
    }
    std::mutex mutex;
    std::string text;
    std::thread reader([&] {
        char chunk[4096];
        for (ssize_t got; (got = read(ends[0], chunk, sizeof chunk)) > 0;) {
            std::lock_guard<std::mutex> lock(mutex);
            text.append(chunk, size_t(got));
        }
    });
    const auto written = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return text;
    };
    {
        Watchdog watchdog(120, "the log once standard output flows again");
        while (written().find("blocked\n") == std::string::npos)
            unit.Render();
    }
    dup2(savedStdout, STDOUT_FILENO);
    close(savedStdout);
    close(ends[1]);
    reader.join();
    close(ends[0]);

    EXPECT_EQ(rig.Destination(0).WaitFor(kMessages).size(), kMessages);
    const std::string dropLine = "PlenkoOut: ";
    const size_t drop = text.find(dropLine);
    ASSERT_NE(drop, std::string::npos);
    EXPECT_EQ(text.substr(text.find(' ', drop + dropLine.size())),
              " log lines dropped while standard output was blocked\n");
    const unsigned long dropped = std::stoul(text.substr(drop + dropLine.size()));
    EXPECT_GT(dropped, 0u);
    // Every line kept is whole: 2 lines a message, less those dropped.
    size_t whole = 0;
    std::istringstream lines(text.substr(text.find_first_not_of('x')));
    for (std::string line; std::getline(lines, line);) {
        whole += (line.rfind("AddMIDIEvent: ", 0) == 0 &&
                  line.find(" NoteOn key = ") != std::string::npos &&
                  line.compare(line.size() - 10, 10, "velo = 001") == 0) ||
                 (line.rfind("PlenkoOut::FireAtTimeStamp: ", 0) == 0 &&
                  line.find(" 1/1: ") != std::string::npos);
    }
    EXPECT_EQ(whole + dropped, 2 * kMessages);
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
