// auhost playing to a JACK port of jack_midi_dump (a program we did not write) while the JACK
// server stops and starts again: what is sent while the port is gone is counted and said, the
// port that returns under the same name is the same destination again, and what is sent after
// its return arrives once (but what a server that went on without a client lost itself). The
// server is the test's own, so that stopping it disturbs nobody.
#include "ChildProcess.h"
#include "HexBytes.h"
#include "JackMidiDump.h"
#include "JackPeer.h"
#include "MIDIFile/MIDIFileWriter.h"
#include "PrivateJackServer.h"
#include "ProgramRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kDumpName = "plenko-restart";
constexpr UInt32 kPeriodFrames = 256; // the private server's
// The song: controller events numbered from 0, 50 ms apart, in three bursts. The server stops
// in the gap after the first, the second is sent while it is gone, and the third comes well after
// its return.
constexpr int kBurstEvents = 40;
constexpr UInt64 kBurstStartsMillis[] = {0, 3000, 10000};

std::string WriteBurstSong()
{
    MIDIFileWriter writer(0, 500, 1); // at 120 beats a minute a tick is a millisecond
    writer.AddTempo(0, 0, 500000);
    int number = 0;
    for (const UInt64 start : kBurstStartsMillis) {
        for (int i = 0; i < kBurstEvents; ++i, ++number) {
            const Byte message[] = {0xB0, Byte(20 + (number >> 7)), Byte(number & 0x7F)};
            writer.AddMessage(0, start + 50 * UInt64(i), message, sizeof message);
        }
    }
    return WriteTemporaryFile("bursts.mid", writer.Bytes());
}

// The numbers of the song's events among what jack_midi_dump printed, in arrival order. A server
// that went on without a client hands on again what that client wrote the cycle before, a whole
// number of periods later at the same place: such copies are left out, and counted.
std::vector<int> EventNumbers(const std::string& printed, size_t* serverCopies = nullptr)
{
    NumberedEvents events;
    for (const DumpedMessage& message : ParseJackMidiDump(printed)) {
        if (message.bytes.size() == 3 && message.bytes[0] == 0xB0 && message.bytes[1] >= 20 &&
            message.bytes[1] < 24) {
            events.emplace_back((message.bytes[1] - 20) << 7 | message.bytes[2], message.frame);
        }
    }
    const size_t copies = TakeOutStaleCopies(events, kPeriodFrames).size();
    if (serverCopies != nullptr) {
        *serverCopies = copies;
    }
    std::vector<int> numbers;
    for (const auto& [number, frame] : events) {
        numbers.push_back(number);
    }
    return numbers;
}

// A burst as jack_midi_dump printed it: every event once and in order. A server that went on
// without a client lost that client's MIDI of the cycle, so then events may be missing, but the
// rest still come once and in order.
void ExpectBurst(const std::string& printed, int first, size_t clientsNotFinished)
{
    size_t serverCopies = 0;
    const std::vector<int> numbers = EventNumbers(printed, &serverCopies);
    std::vector<int> expected;
    for (int n = first; n < first + kBurstEvents; ++n) {
        expected.push_back(n);
    }
    if (clientsNotFinished == 0) {
        EXPECT_EQ(numbers, expected) << printed;
        EXPECT_EQ(serverCopies, 0u) << "copies on a server that ran every client in time";
        return;
    }
    const bool increasing =
        std::adjacent_find(numbers.begin(), numbers.end(), std::greater_equal<>()) == numbers.end();
    EXPECT_TRUE(increasing &&
                std::includes(expected.begin(), expected.end(), numbers.begin(), numbers.end()))
        << "repeated, out of order or unknown events; the server went on without a client "
        << clientsNotFinished << " times:\n"
        << printed;
}

// Waits until the server lists jack_midi_dump's input port, at most 10 s.
bool WaitForDumpPort()
{
    const auto until = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < until) {
        const ProgramResult ports = RunProgram({"jack_lsp"});
        if (ports.mOut.find(std::string(kDumpName) + ":input") != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

TEST(AuhostJackRestart, WhatIsSentWhileThePortIsGoneIsCountedAndTheRestArrivesOnce)
{
    PrivateJackServer server;
    // auhost and jack_midi_dump inherit it; this process opens no JACK client of its own.
    setenv("JACK_DEFAULT_SERVER", server.Name().c_str(), 1);
    if (const std::string started = server.Start(); !started.empty()) {
        if (RunsInCI()) {
            FAIL() << started;
        }
        GTEST_SKIP() << started;
    }
    const std::string song = WriteBurstSong();
    auto dump =
        std::make_unique<ChildProcess>(std::vector<std::string>{"jack_midi_dump", "-a", kDumpName});
    ASSERT_TRUE(WaitForDumpPort()) << dump->Output();
    // JACK's own spelling of the port's name.
    ChildProcess auhost({"env", "AUDIO_COMPONENT_PATH=" PLENKO_BINARY_DIR, AUHOST_PATH, "play",
                         song, "--to", std::string(kDumpName) + ":input", "--rate", "48000"});

    // The first burst has arrived (its last event, or its time has passed, should the server
    // have lost that one): the server stops in the gap after it.
    const auto arrived = [&](int number) {
        const std::vector<int> numbers = EventNumbers(dump->Output());
        return !numbers.empty() && numbers.back() >= number;
    };
    auto giveUp = Clock::now() + std::chrono::seconds(10);
    while (!arrived(0) && Clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    giveUp = std::min(giveUp, Clock::now() + std::chrono::milliseconds(50 * kBurstEvents + 300));
    while (!arrived(kBurstEvents - 1) && Clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const auto stopped = Clock::now();
    const size_t notFinishedBefore = server.ClientsNotFinished();
    EXPECT_EQ(server.Stop(), "");
    const std::string beforePrinted = dump->Stop();
    // Back after the second burst, and jack_midi_dump with it, well before the third.
    std::this_thread::sleep_until(stopped + std::chrono::milliseconds(4500));
    ASSERT_EQ(server.Start(), "");
    dump =
        std::make_unique<ChildProcess>(std::vector<std::string>{"jack_midi_dump", "-a", kDumpName});
    EXPECT_TRUE(WaitForDumpPort());
    const std::string out = auhost.Wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // it prints from a buffer
    const std::string afterPrinted = dump->Stop();
    ExpectBurst(beforePrinted, 0, notFinishedBefore);
    ExpectBurst(afterPrinted, 2 * kBurstEvents, server.ClientsNotFinished());

    // The second burst was sent while the port was gone: said, and status 1.
    EXPECT_EQ(auhost.ExitStatus(), 1) << out;
    const size_t line = out.rfind("summary: ");
    ASSERT_NE(line, std::string::npos) << out;
    int sent = 0, delivered = 0, lost = 0, gone = 0;
    const int read = std::sscanf(out.c_str() + line,
                                 "summary: %d events sent to %*d \"plenko-restart: input\", %d "
                                 "delivered, %d not delivered (%d sent while the destination "
                                 "was gone",
                                 &sent, &delivered, &lost, &gone);
    EXPECT_EQ(read, 4) << out.substr(line);
    // The song's events and the closing controller 123.
    EXPECT_EQ(sent, 3 * kBurstEvents + 1) << out.substr(line);
    EXPECT_EQ(delivered, 2 * kBurstEvents + 1) << out.substr(line);
    EXPECT_EQ(lost, kBurstEvents) << out.substr(line);
    EXPECT_EQ(gone, kBurstEvents) << out.substr(line);
    std::remove(song.c_str());
}

} // namespace
