// The demo song the build writes: what the README promises of it (about 20 seconds, several
// channels with their programs, a tempo change, the sustain pedal, overlapping notes) and that a
// reader we did not write reads it as ours does.
#include "MIDIFileReader.h"
#include "MIDISequenceText.h"
#include "MidicsvReading.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

constexpr UInt32 kRate = 48000;
constexpr Byte kNoteOn = 0x90, kNoteOff = 0x80, kControl = 0xB0, kProgram = 0xC0;
constexpr Byte kSustain = 64;

class DemoSong : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sSong = MIDIFileReader::ReadFile(DEMO_SONG_PATH, kRate); }
    static inline MIDISequence sSong;
};

Byte Type(const MIDIFileEvent& event)
{
    return event.mStatus & 0xF0;
}

bool IsNoteOn(const MIDIFileEvent& event)
{
    return Type(event) == kNoteOn && event.mData2 > 0;
}

bool IsNoteOff(const MIDIFileEvent& event)
{
    return Type(event) == kNoteOff || (Type(event) == kNoteOn && event.mData2 == 0);
}

TEST_F(DemoSong, LastsAboutTwentySecondsWithATempoChange)
{
    const double seconds = double(sSong.mLengthSamples) / kRate;
    EXPECT_GT(seconds, 18.0);
    EXPECT_LT(seconds, 25.0);
    int laterTempos = 0;
    for (const MIDIFileEvent& event : sSong.mEvents) {
        laterTempos += event.IsMeta() && event.mMetaType == kMetaTempo && event.mTick > 0;
    }
    EXPECT_GE(laterTempos, 1);
}

TEST_F(DemoSong, EveryChannelChoosesItsProgramBeforeItsFirstNote)
{
    std::map<Byte, bool> programmed; // channel: program change seen
    for (const MIDIFileEvent& event : sSong.mEvents) {
        if (event.IsChannelMessage() && Type(event) == kProgram) {
            programmed[event.Channel()] = true;
        } else if (IsNoteOn(event)) {
            EXPECT_TRUE(programmed[event.Channel()]) << "channel " << int(event.Channel());
        }
    }
    EXPECT_GE(programmed.size(), 3u);
}

// Every note ends, no key is struck again on its channel while it sounds, notes overlap on one
// channel, and the sustain pedal goes down and comes up again.
TEST_F(DemoSong, NotesEndOverlapAndThePedalSustainsThem)
{
    std::set<std::pair<Byte, Byte>> sounding; // channel, key
    std::map<Byte, size_t> soundingOnChannel;
    size_t mostAtOnce = 0;
    int pedalDowns = 0, pedalUps = 0;
    for (const MIDIFileEvent& event : sSong.mEvents) {
        const auto note = std::make_pair(event.Channel(), event.mData1);
        if (IsNoteOn(event)) {
            EXPECT_TRUE(sounding.insert(note).second) << "key struck again at " << event.mTick;
            mostAtOnce = std::max(mostAtOnce, ++soundingOnChannel[event.Channel()]);
        } else if (IsNoteOff(event)) {
            EXPECT_EQ(sounding.erase(note), 1u) << "note off without note on at " << event.mTick;
            --soundingOnChannel[event.Channel()];
        } else if (event.IsChannelMessage() && Type(event) == kControl &&
                   event.mData1 == kSustain) {
            (event.mData2 >= 64 ? pedalDowns : pedalUps)++;
        }
    }
    EXPECT_TRUE(sounding.empty());
    EXPECT_GE(mostAtOnce, 3u);
    EXPECT_GE(pedalDowns, 2);
    EXPECT_EQ(pedalUps, pedalDowns);
}

TEST_F(DemoSong, MidicsvReadsTheSameEvents)
{
    const MidicsvFile file = ReadWithMidicsv(DEMO_SONG_PATH);
    EXPECT_EQ(file.mTrackCount, sSong.mTrackCount);
    std::multiset<std::tuple<int, uint64_t, std::string>> ours, theirs;
    for (const MIDIFileEvent& event : sSong.mEvents) {
        ours.emplace(event.mTrack, event.mTick, EventText(sSong, event));
    }
    for (const MidicsvEvent& event : file.mEvents) {
        theirs.emplace(event.mTrack, event.mTick, event.mBytes);
    }
    EXPECT_EQ(ours, theirs);
}

} // namespace
