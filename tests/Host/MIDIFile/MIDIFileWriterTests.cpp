// The MIDI file writer: the bytes it writes, what our reader and midicsv read back from them, and
// the precision of the recording time base.
#include "HexBytes.h"
#include "MIDIFile/MIDIFileReader.h"
#include "MIDIFile/MIDIFileWriter.h"
#include "MIDISequenceText.h"
#include "MidicsvReading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace {

// Adds events written "track/tick bytes": a meta event as "FF type data", bytes to be sent as
// they are as "F7 bytes", anything else as a message.
void Add(MIDIFileWriter& writer, const std::vector<std::string>& events)
{
    for (const std::string& event : events) {
        const size_t space = event.find(' ');
        const UInt16 track = static_cast<UInt16>(std::stoul(event));
        const UInt64 tick = std::stoull(event.substr(event.find('/') + 1));
        const std::vector<uint8_t> b = BytesFromHexText(event.substr(space + 1));
        const bool added = b[0] == 0xFF   ? writer.AddMeta(track, tick, b[1], &b[2], b.size() - 2)
                           : b[0] == 0xF7 ? writer.AddEscape(track, tick, &b[1], b.size() - 1)
                                          : writer.AddMessage(track, tick, b.data(), b.size());
        ASSERT_TRUE(added) << event;
    }
}

TEST(MIDIFileWriter, WritesRunningStatusDeltaTimesAndEndOfTrack)
{
    MIDIFileWriter writer(0, 96, 1);
    // Added out of time order: a track is written in tick order, equal ticks as added.
    Add(writer, {"0/200 F0 7E 7F F7", "0/200 F8", "0/16584 B0 40 00", "0/0 90 3C 64",
                 "0/0 90 40 64", "0/96 80 3C 40", "0/96 FF 01 68 69", "0/96 80 40 40"});
    writer.SetTrackEnd(0, 300); // before the last event: no effect
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

// A format 1 file with every kind of event, in the order our reader merges them.
const std::vector<std::string> kRichFile = {
    "0/0 FF 03 53 6F 6E 67", "0/0 FF 51 07 A1 20",    "1/0 C0 05",       "1/0 B0 07 64",
    "1/0 B0 0A 20",          "2/0 F0 41 10 42 12 F7", "1/240 90 3C 64",  "2/240 95 30 40",
    "0/480 FF 51 03 D0 90",  "1/480 E0 00 40",        "1/480 D0 22",     "2/480 F7 01 02 F7",
    "1/720 A0 3C 10",        "2/720 F0 43 12 00",     "1/1000 80 3C 40", "2/1000 85 30 00",
    "0/1200 FF 06 45 6E 64"};

TEST(MIDIFileWriter, OurReaderAndMidicsvReadBackWhatWasAdded)
{
    MIDIFileWriter writer(1, 480, 3);
    Add(writer, kRichFile);
    writer.SetTrackEnd(1, 1500);
    const std::vector<uint8_t> bytes = writer.Bytes();

    const MIDISequence sequence = MIDIFileReader::Read(bytes, 48000);
    std::vector<std::string> ours;
    for (const MIDIFileEvent& event : sequence.mEvents) {
        ours.push_back(std::to_string(event.mTrack) + "/" + std::to_string(event.mTick) + " " +
                       EventText(sequence, event));
    }
    EXPECT_EQ(ours, kRichFile);
    EXPECT_EQ(sequence.mLengthTicks, 1500u);

    const MidicsvFile theirs = ReadWithMidicsv(WriteTemporaryFile("writer.mid", bytes));
    EXPECT_EQ(theirs.mFormat, 1);
    EXPECT_EQ(theirs.mDivision, 480);
    std::vector<std::string> theirTexts;
    for (const MidicsvEvent& event : theirs.mEvents) {
        theirTexts.push_back(std::to_string(event.mTrack) + "/" + std::to_string(event.mTick) +
                             " " + event.mBytes);
    }
    std::vector<std::string> byTrack = kRichFile; // midicsv lists them track by track
    std::stable_sort(byTrack.begin(), byTrack.end(),
                     [](const std::string& a, const std::string& b) { return a[0] < b[0]; });
    EXPECT_EQ(theirTexts, byTrack);
    EXPECT_EQ(theirs.mTrackEnds, (std::vector<uint64_t>{1200, 1500, 1000}));
}

TEST(MIDIFileWriter, RefusesWhatIsNoMessageAndTracksThatDoNotExist)
{
    MIDIFileWriter writer(1, 96, 2);
    for (const char* refused : {"", "3C 64", "90 3C", "90 3C 64 00", "C0 80", "B0 07 FF"}) {
        const std::vector<uint8_t> bytes = BytesFromHexText(refused);
        EXPECT_FALSE(writer.AddMessage(0, 0, bytes.data(), bytes.size())) << refused;
    }
    const Byte note[] = {0x90, 0x3C, 0x64};
    EXPECT_FALSE(writer.AddMessage(2, 0, note, sizeof note));
    EXPECT_FALSE(writer.AddMeta(0, 0, 0x2F, nullptr, 0));
    EXPECT_FALSE(writer.AddMeta(2, 0, 0x01, note, 1));
    EXPECT_FALSE(writer.AddEscape(2, 0, note, 1));
    EXPECT_TRUE(MIDIFileReader::Read(writer.Bytes(), 48000).mEvents.empty());

    EXPECT_THROW(MIDIFileWriter(2, 96, 1), std::invalid_argument);
    EXPECT_THROW(MIDIFileWriter(0, 96, 2), std::invalid_argument);
    EXPECT_THROW(MIDIFileWriter(1, 96, 0), std::invalid_argument);
}

TEST(MIDIFileWriter, BridgesGapsNoDeltaTimeCanSayWithEmptyText)
{
    // A microsecond per quarter note keeps the file short enough to be read.
    MIDIFileWriter writer(0, 0x7FFF, 1);
    writer.AddTempo(0, 0, 1);
    Add(writer, {"0/0 90 3C 64", "0/536870917 90 3C 64"}); // 0x20000005
    const MIDISequence sequence = MIDIFileReader::Read(writer.Bytes(), 48000);
    std::vector<std::string> events;
    for (const MIDIFileEvent& event : sequence.mEvents) {
        events.push_back(std::to_string(event.mTick) + " " + EventText(sequence, event));
    }
    EXPECT_EQ(events, (std::vector<std::string>{"0 FF 51 00 00 01", "0 90 3C 64", "268435455 FF 01",
                                                "536870910 FF 01", "536870917 90 3C 64"}));
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

    // Read on a microsecond clock; hours of silence are bridged by empty text events.
    const MIDISequence sequence = MIDIFileReader::Read(bytes, 1000000);
    EXPECT_EQ(EventText(sequence, sequence.mEvents.at(0)), "FF 51 07 A1 20");
    size_t note = 0;
    for (const MIDIFileEvent& event : sequence.mEvents) {
        if (event.IsChannelMessage()) {
            ASSERT_LT(note, std::size(kRecordedTimes));
            EXPECT_LE(std::abs(double(event.mSample) * 1000.0 - double(kRecordedTimes[note])),
                      25000.0)
                << kRecordedTimes[note];
            EXPECT_EQ(event.mData1, note++);
        }
    }
    EXPECT_EQ(note, std::size(kRecordedTimes));

    const MidicsvFile file = ReadWithMidicsv(WriteTemporaryFile("recording.mid", bytes));
    EXPECT_EQ(file.mFormat, 0);
    EXPECT_EQ(file.mDivision, MIDIFileWriter::kRecordingDivision);
}

} // namespace
