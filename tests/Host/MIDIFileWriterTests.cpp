// The MIDI file writer: the bytes it writes, what our reader and midicsv read back from them, and
// the precision of the recording time base.
#include "HexBytes.h"
#include "MIDIFileReader.h"
#include "MIDIFileWriter.h"
#include "MIDISequenceText.h"
#include "MidicsvReading.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <stdexcept>

namespace {

// One event added to a writer: the bytes as HexText writes them; a leading "escape " adds them
// with AddEscape, a leading "FF tt" adds a meta event.
struct Added {
    UInt16 mTrack;
    UInt64 mTick;
    std::string mBytes;
};

void Add(MIDIFileWriter& writer, const Added& added)
{
    const bool escape = added.mBytes.rfind("escape ", 0) == 0;
    const std::vector<uint8_t> bytes =
        BytesFromHexText(escape ? added.mBytes.substr(7) : added.mBytes);
    bool done;
    if (escape) {
        done = writer.AddEscape(added.mTrack, added.mTick, bytes.data(), bytes.size());
    } else if (bytes[0] == 0xFF) {
        done =
            writer.AddMeta(added.mTrack, added.mTick, bytes[1], bytes.data() + 2, bytes.size() - 2);
    } else {
        done = writer.AddMessage(added.mTrack, added.mTick, bytes.data(), bytes.size());
    }
    ASSERT_TRUE(done) << added.mBytes;
}

TEST(MIDIFileWriter, WritesRunningStatusDeltaTimesAndEndOfTrack)
{
    MIDIFileWriter writer(0, 96, 1);
    // Added out of time order: each track is written in tick order, equal ticks as added.
    for (const Added& added : std::vector<Added>{
             {0, 200, "F0 7E 7F F7"},
             {0, 200, "F8"},
             {0, 16584, "B0 40 00"},
             {0, 0, "90 3C 64"},
             {0, 0, "90 40 64"},
             {0, 96, "80 3C 40"},
             {0, 96, "FF 01 68 69"},
             {0, 96, "80 40 40"},
         }) {
        Add(writer, added);
    }
    writer.SetTrackEnd(0, 300); // earlier than the last event: no effect
    EXPECT_EQ(writer.Bytes(), BytesFromHexText(R"(
        "MThd" [ 0000 0001 0060 ]
        "MTrk" [
          00 90 3C 64
          00 40 64          # running status
          60 80 3C 40
          00 FF 01 02 6869
          00 80 40 40       # status again after a meta event
          68 F0 03 7E7FF7   # SysEx: F0, then the length of the rest
          00 F7 01 F8       # a timing clock, escaped
          81 80 00 B0 40 00 # a delta time of 16384
          00 FF 2F 00
        ])"));
}

// A format 1 file with every kind of event: what we add is what our reader and midicsv read.
const std::vector<Added> kRichFile = {
    {0, 0, "FF 03 53 6F 6E 67"}, {0, 0, "FF 51 07 A1 20"},    {1, 0, "C0 05"},
    {1, 0, "B0 07 64"},          {1, 0, "B0 0A 20"},          {2, 0, "F0 41 10 42 12 F7"},
    {1, 240, "90 3C 64"},        {2, 240, "95 30 40"},        {0, 480, "FF 51 03 D0 90"},
    {1, 480, "E0 00 40"},        {1, 480, "D0 22"},           {2, 480, "escape 01 02 F7"},
    {1, 720, "A0 3C 10"},        {2, 720, "F0 43 12 00"},     {1, 1000, "80 3C 40"},
    {2, 1000, "85 30 00"},       {0, 1200, "FF 06 45 6E 64"},
};

MIDIFileWriter RichWriter()
{
    MIDIFileWriter writer(1, 480, 3);
    for (const Added& added : kRichFile) {
        Add(writer, added);
    }
    writer.SetTrackEnd(1, 1500);
    return writer;
}

std::string WithoutEscapeMark(const std::string& bytes)
{
    return bytes.rfind("escape ", 0) == 0 ? "F7 " + bytes.substr(7) : bytes;
}

TEST(MIDIFileWriter, OurReaderReadsBackWhatWasAdded)
{
    const MIDISequence sequence = MIDIFileReader::Read(RichWriter().Bytes(), 48000);
    EXPECT_EQ(sequence.mFormat, 1);
    EXPECT_EQ(sequence.mTrackCount, 3);
    EXPECT_EQ(sequence.mDivision, 480);
    EXPECT_EQ(sequence.mLengthTicks, 1500u);
    ASSERT_EQ(sequence.mEvents.size(), kRichFile.size());
    for (size_t i = 0; i < kRichFile.size(); ++i) {
        const MIDIFileEvent& event = sequence.mEvents[i];
        EXPECT_EQ(event.mTrack, kRichFile[i].mTrack) << i;
        EXPECT_EQ(event.mTick, kRichFile[i].mTick) << i;
        EXPECT_EQ(EventText(sequence, event), WithoutEscapeMark(kRichFile[i].mBytes)) << i;
    }
}

TEST(MIDIFileWriter, MidicsvReadsWhatWasAdded)
{
    const MidicsvFile file =
        ReadWithMidicsv(WriteTemporaryFile("HostTests-writer-rich.mid", RichWriter().Bytes()));
    EXPECT_EQ(file.mFormat, 1);
    EXPECT_EQ(file.mDivision, 480);
    // midicsv lists the events track by track.
    std::vector<MidicsvEvent> expected;
    for (int track = 0; track < 3; ++track) {
        for (const Added& added : kRichFile) {
            if (added.mTrack == track) {
                expected.push_back(
                    MidicsvEvent{track, added.mTick, WithoutEscapeMark(added.mBytes)});
            }
        }
    }
    EXPECT_EQ(file.mEvents, expected);
    EXPECT_EQ(file.mTrackEnds, (std::vector<uint64_t>{1200, 1500, 1000}));
}

TEST(MIDIFileWriter, RefusesWhatIsNoMessageAndTracksThatDoNotExist)
{
    MIDIFileWriter writer(1, 96, 2);
    const struct {
        const char* mBytes;
        UInt16 mTrack;
    } refused[] = {
        {"", 0},      {"3C 64", 0},    {"90 3C", 0},    {"90 3C 64 00", 0},
        {"C0 80", 0}, {"B0 07 FF", 0}, {"90 3C 64", 2},
    };
    for (const auto& r : refused) {
        const std::vector<uint8_t> bytes = BytesFromHexText(r.mBytes);
        EXPECT_FALSE(writer.AddMessage(r.mTrack, 0, bytes.data(), bytes.size())) << r.mBytes;
    }
    const Byte text[] = {0x41};
    EXPECT_FALSE(writer.AddMeta(0, 0, 0x2F, nullptr, 0));
    EXPECT_FALSE(writer.AddMeta(2, 0, 0x01, text, 1));
    EXPECT_FALSE(writer.AddEscape(5, 0, text, 1));
    // Nothing refused reached the file: two empty tracks.
    EXPECT_EQ(MIDIFileReader::Read(writer.Bytes(), 48000).mEvents.size(), 0u);

    EXPECT_THROW(MIDIFileWriter(2, 96, 1), std::invalid_argument);
    EXPECT_THROW(MIDIFileWriter(0, 96, 2), std::invalid_argument);
    EXPECT_THROW(MIDIFileWriter(1, 96, 0), std::invalid_argument);
}

TEST(MIDIFileWriter, BridgesGapsNoDeltaTimeCanSayWithEmptyText)
{
    // A microsecond per quarter note keeps the file short enough to read.
    MIDIFileWriter writer(0, 0x7FFF, 1);
    writer.AddTempo(0, 0, 1);
    const Byte note[] = {0x90, 0x3C, 0x64};
    writer.AddMessage(0, 0, note, sizeof note);
    writer.AddMessage(0, 0x20000005, note, sizeof note);
    const MIDISequence sequence = MIDIFileReader::Read(writer.Bytes(), 48000);
    std::vector<std::pair<UInt64, std::string>> events;
    for (const MIDIFileEvent& event : sequence.mEvents) {
        events.emplace_back(event.mTick, EventText(sequence, event));
    }
    EXPECT_EQ(events, (std::vector<std::pair<UInt64, std::string>>{{0, "FF 51 00 00 01"},
                                                                   {0, "90 3C 64"},
                                                                   {0x0FFFFFFF, "FF 01"},
                                                                   {0x1FFFFFFE, "FF 01"},
                                                                   {0x20000005, "90 3C 64"}}));
}

// Times in nanoseconds after the first render's anchor, as a recorder sees them.
const UInt64 kRecordedTimes[] = {
    0, 1, 24999, 25000, 74999, 1234567, 999999999, 3600000000037ull, 86399999987654ull,
};

TEST(MIDIFileWriterRecording, KeepsEveryTimeWithin25Microseconds)
{
    MIDIFileWriter writer = MIDIFileWriter::ForRecording();
    Byte key = 0;
    for (UInt64 nanoseconds : kRecordedTimes) {
        const Byte note[] = {0x90, key++, 0x64};
        writer.AddMessage(0, MIDIFileWriter::RecordingTick(nanoseconds), note, sizeof note);
    }
    const std::vector<uint8_t> bytes = writer.Bytes();

    // Read on a microsecond clock; the hours of silence are bridged by empty text events.
    const MIDISequence sequence = MIDIFileReader::Read(bytes, 1000000);
    EXPECT_EQ(EventText(sequence, sequence.mEvents.at(0)), "FF 51 07 A1 20");
    std::vector<MIDIFileEvent> notes;
    std::copy_if(sequence.mEvents.begin(), sequence.mEvents.end(), std::back_inserter(notes),
                 [](const MIDIFileEvent& event) { return event.IsChannelMessage(); });
    ASSERT_EQ(notes.size(), std::size(kRecordedTimes));
    for (size_t i = 0; i < notes.size(); ++i) {
        const double error = double(notes[i].mSample) * 1000.0 - double(kRecordedTimes[i]);
        EXPECT_LE(std::abs(error), 25000.0) << kRecordedTimes[i];
        EXPECT_EQ(notes[i].mData1, i);
    }

    const MidicsvFile file = ReadWithMidicsv(WriteTemporaryFile("HostTests-recording.mid", bytes));
    EXPECT_EQ(file.mFormat, 0);
    EXPECT_EQ(file.mDivision, MIDIFileWriter::kRecordingDivision);
    ASSERT_FALSE(file.mEvents.empty());
    EXPECT_EQ(file.mEvents[0].mBytes, "FF 51 07 A1 20");
}

} // namespace
