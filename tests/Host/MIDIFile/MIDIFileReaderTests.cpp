// The MIDI file reader against the corpora in tests/Host/corpus/, each file with its expectations
// (#> lines): a valid file read at its rate gives every event at its sample and its length, as
// midicsv reads the same events; a malformed file is refused with its message.
#include "HexBytes.h"
#include "MIDIFile/MIDIFileError.h"
#include "MIDIFile/MIDIFileReader.h"
#include "MIDISequenceText.h"
#include "MidicsvReading.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

const std::string kCorpus = MIDI_CORPUS_DIR;

std::vector<std::string> CorpusFiles(const std::string& kind)
{
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus + "/" + kind)) {
        paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = std::filesystem::path(info.param).stem().string();
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

// The reader's message for the bytes, or "" when it reads them.
std::string Refusal(const std::vector<uint8_t>& bytes)
{
    try {
        MIDIFileReader::Read(bytes, 48000);
    } catch (const MIDIFileError& error) {
        return error.what();
    }
    return "";
}

// What a valid file's #> lines expect: "rate N", "length N", "midicsv same order" or "midicsv
// refuses" where midicsv's reading differs, and each event as TimedEventTexts writes it.
struct Expected {
    UInt32 mRate = 0;
    UInt64 mLength = 0;
    std::string mMidicsv = "same ticks";
    std::vector<std::string> mEvents;
};

Expected ExpectedOf(const HexFile& file)
{
    Expected expected;
    for (const std::string& line : file.mExpectations) {
        const std::string value = line.substr(line.find(' ') + 1);
        if (line.rfind("rate ", 0) == 0) {
            expected.mRate = static_cast<UInt32>(std::stoul(value));
        } else if (line.rfind("length ", 0) == 0) {
            expected.mLength = std::stoull(value);
        } else if (line.rfind("midicsv ", 0) == 0) {
            expected.mMidicsv = value;
        } else {
            expected.mEvents.push_back(line);
        }
    }
    return expected;
}

class ValidFileTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ValidFileTest, EveryEventComesAtItsSampleInOrder)
{
    const HexFile file = ReadHexFile(GetParam());
    const Expected expected = ExpectedOf(file);
    ASSERT_NE(expected.mRate, 0u) << "no rate";
    const MIDISequence sequence = MIDIFileReader::Read(file.mBytes, expected.mRate);
    // The expectations follow the file; the reader merges the tracks by time, then track, then
    // file order.
    std::vector<std::string> merged = expected.mEvents;
    auto place = [](const std::string& text) {
        return std::make_pair(std::stoull(text), std::stoul(text.substr(text.find('/') + 1)));
    };
    std::stable_sort(merged.begin(), merged.end(), [&](const std::string& a, const std::string& b) {
        return place(a) < place(b);
    });
    EXPECT_EQ(TimedEventTexts(sequence), merged);
    EXPECT_EQ(sequence.mLengthSamples, expected.mLength);
}

TEST_P(ValidFileTest, MidicsvReadsTheSameEvents)
{
    const HexFile file = ReadHexFile(GetParam());
    const Expected expected = ExpectedOf(file);
    if (expected.mMidicsv == "refuses") {
        GTEST_SKIP() << "midicsv does not read this file";
    }
    const MIDISequence sequence = MIDIFileReader::Read(file.mBytes, 48000);
    const MidicsvFile reference = ReadWithMidicsv(WriteTemporaryFile("corpus.mid", file.mBytes));
    EXPECT_EQ(reference.mFormat, sequence.mFormat);
    EXPECT_EQ(reference.mTrackCount, sequence.mTrackCount);
    // Ours are merged in time order; midicsv lists them track by track, each in file order.
    std::vector<MidicsvEvent> ours;
    for (int track = 0; track < sequence.mTrackCount; ++track) {
        for (const MIDIFileEvent& event : sequence.mEvents) {
            if (event.mTrack == track) {
                ours.push_back(MidicsvEvent{track, event.mTick, EventText(sequence, event)});
            }
        }
    }
    std::vector<MidicsvEvent> theirs = reference.mEvents;
    if (expected.mMidicsv == "same order") {
        std::for_each(ours.begin(), ours.end(), [](MidicsvEvent& e) { e.mTick = 0; });
        std::for_each(theirs.begin(), theirs.end(), [](MidicsvEvent& e) { e.mTick = 0; });
    }
    EXPECT_EQ(ours, theirs);
}

INSTANTIATE_TEST_SUITE_P(Corpus, ValidFileTest, ::testing::ValuesIn(CorpusFiles("valid")),
                         TestName);

class MalformedFileTest : public ::testing::TestWithParam<std::string> {};

TEST_P(MalformedFileTest, IsRefusedWithItsMessage)
{
    const HexFile file = ReadHexFile(GetParam());
    ASSERT_EQ(file.mExpectations.size(), 1u) << "one message expected";
    EXPECT_EQ(Refusal(file.mBytes), file.mExpectations[0]);
}

INSTANTIATE_TEST_SUITE_P(Corpus, MalformedFileTest, ::testing::ValuesIn(CorpusFiles("malformed")),
                         TestName);

// ---- What the reader bounds, and reading from files ----

TEST(MIDIFileReaderLimits, RefusesMoreBytesAndEventsThanItTakes)
{
    EXPECT_EQ(Refusal(std::vector<uint8_t>(MIDIFileReader::kMaxFileSize + 1)),
              "larger than 64 MiB");

    // One program change, then one more event than allowed under running status.
    std::vector<uint8_t> track = {0x00, 0xC0, 0x00};
    for (size_t i = 0; i < MIDIFileReader::kMaxEvents; ++i) {
        track.insert(track.end(), {0x00, 0x01});
    }
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    std::vector<uint8_t> file = BytesFromHexText("\"MThd\" [ 0000 0001 0060 ] \"MTrk\"");
    for (int shift = 24; shift >= 0; shift -= 8) {
        file.push_back(static_cast<uint8_t>(track.size() >> shift));
    }
    file.insert(file.end(), track.begin(), track.end());
    EXPECT_EQ(Refusal(file), "more than 4194304 events");
}

TEST(MIDIFileReaderFiles, MessagesStartWithThePath)
{
    const std::string malformed = WriteTemporaryFile(
        "malformed.mid", ReadHexFile(kCorpus + "/malformed/missing-end-of-track.hex").mBytes);
    const std::string folder = std::filesystem::temp_directory_path().string();
    const std::pair<std::string, std::string> cases[] = {
        {malformed, malformed + ": track 1: no end-of-track event"},
        {"/nonexistent/song.mid", "/nonexistent/song.mid: cannot open: No such file or directory"},
        {folder, folder + ": is a directory"},
    };
    for (const auto& [path, message] : cases) {
        try {
            MIDIFileReader::ReadFile(path, 48000);
            ADD_FAILURE() << path << " was read";
        } catch (const MIDIFileError& error) {
            EXPECT_EQ(error.what(), message);
        }
    }
}

} // namespace
