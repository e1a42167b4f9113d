// auhost's offline play of a long song, as a user runs it: `auhost play SONG --offline --quiet`
// on a generated two-hour song as dense as a busy piano piece (200 events a second on four
// channels, 1.44 million events), to its monitor, with the song's reading, the unit, the MIDI
// services and the monitor all in the time. The goal is under 20 s for the whole run; the
// counters give the events delivered and their rate.
#include "MIDIFile/MIDIFileWriter.h"
#include "ProgramRun.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace {

constexpr UInt64 kSongSeconds = 2 * 3600;
constexpr UInt64 kNotesPerSecond = 100; // a note on and a note off each

std::string WriteLongSong()
{
    MIDIFileWriter writer = MIDIFileWriter::ForRecording();
    constexpr UInt64 kStep = 1000000000 / kNotesPerSecond;
    for (UInt64 note = 0; note < kSongSeconds * kNotesPerSecond; ++note) {
        const Byte channel = Byte(note % 4), key = Byte(36 + note % 48);
        const Byte on[] = {Byte(0x90 | channel), key, Byte(60 + note % 40)};
        const Byte off[] = {Byte(0x80 | channel), key, 0};
        writer.AddMessage(0, MIDIFileWriter::RecordingTick(note * kStep), on, 3);
        writer.AddMessage(0, MIDIFileWriter::RecordingTick(note * kStep + 3 * kStep), off, 3);
    }
    const std::vector<Byte> bytes = writer.Bytes();
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("auhost-two-hours-" + std::to_string(getpid()) + ".mid"))
                                 .string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

// "summary: 1440004 events sent, 1440004 received at the monitor, ...": the two figures.
std::pair<long, long> SentAndReceived(const std::string& out)
{
    long sent = -1, received = -1;
    const size_t line = out.rfind("summary: ");
    if (line != std::string::npos) {
        std::sscanf(out.c_str() + line, "summary: %ld events sent, %ld received", &sent, &received);
    }
    return {sent, received};
}

void BM_OfflinePlayOfATwoHourSong(benchmark::State& state)
{
    const std::string song = WriteLongSong();
    long received = 0;
    for (auto _ : state) {
        const ProgramResult result = RunProgram({AUHOST_PATH, "play", song, "--offline", "--quiet"},
                                                {"AUDIO_COMPONENT_PATH=" PLENKO_BINARY_DIR});
        const auto [sent, arrived] = SentAndReceived(result.mOut);
        if (result.mExitStatus != 0 || sent != arrived) {
            state.SkipWithError(("auhost ended with " + std::to_string(result.mExitStatus) + ": " +
                                 result.mOut + result.mErr)
                                    .c_str());
            break;
        }
        received = arrived;
    }
    std::filesystem::remove(song);
    state.counters["events"] = double(received);
    state.counters["events_per_s"] =
        benchmark::Counter(double(received), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_OfflinePlayOfATwoHourSong)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace
