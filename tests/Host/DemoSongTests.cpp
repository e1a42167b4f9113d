// The demo song the build writes: what the README promises of it (about 20 seconds, several
// channels with their programs, a tempo change, the sustain pedal, overlapping notes that all
// end) and that a reader we did not write reads it as ours does.
#include "MIDIFile/MIDIFileReader.h"
#include "MIDISequenceText.h"
#include "MidicsvReading.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

constexpr UInt32 kRate = 48000;

TEST(DemoSong, HasWhatTheReadmePromises)
{
    const MIDISequence song = MIDIFileReader::ReadFile(DEMO_SONG_PATH, kRate);
    const double seconds = double(song.mLengthSamples) / kRate;
    EXPECT_TRUE(seconds > 18.0 && seconds < 25.0) << seconds;

    std::map<Byte, bool> programmed;          // channel: a program change came
    std::set<std::pair<Byte, Byte>> sounding; // channel, key
    std::map<Byte, size_t> soundingOnChannel;
    size_t mostAtOnce = 0;
    int laterTempos = 0, pedalDowns = 0, pedalUps = 0;
    for (const MIDIFileEvent& event : song.mEvents) {
        const Byte type = event.mStatus & 0xF0;
        const auto note = std::make_pair(event.Channel(), event.mData1);
        if (event.IsMeta()) {
            laterTempos += event.mMetaType == kMetaTempo && event.mTick > 0;
        } else if (type == 0xC0) {
            programmed[event.Channel()] = true;
        } else if (type == 0x90 && event.mData2 > 0) {
            EXPECT_TRUE(programmed[event.Channel()]) << "no program before " << event.mTick;
            EXPECT_TRUE(sounding.insert(note).second) << "key struck again at " << event.mTick;
            mostAtOnce = std::max(mostAtOnce, ++soundingOnChannel[event.Channel()]);
        } else if (type == 0x80 || type == 0x90) {
            EXPECT_EQ(sounding.erase(note), 1u) << "note off without note on at " << event.mTick;
            --soundingOnChannel[event.Channel()];
        } else if (type == 0xB0 && event.mData1 == 64) {
            (event.mData2 >= 64 ? pedalDowns : pedalUps)++;
        }
    }
    EXPECT_GE(programmed.size(), 3u);
    EXPECT_GE(laterTempos, 1);
    EXPECT_TRUE(sounding.empty());
    EXPECT_GE(mostAtOnce, 3u);
    EXPECT_GE(pedalDowns, 2);
    EXPECT_EQ(pedalUps, pedalDowns);
}

TEST(DemoSong, MidicsvReadsTheSameEvents)
{
    const MIDISequence song = MIDIFileReader::ReadFile(DEMO_SONG_PATH, kRate);
    const MidicsvFile file = ReadWithMidicsv(DEMO_SONG_PATH);
    EXPECT_EQ(file.mTrackCount, song.mTrackCount);
    std::multiset<std::tuple<int, uint64_t, std::string>> ours, theirs;
    for (const MIDIFileEvent& event : song.mEvents) {
        ours.emplace(event.mTrack, event.mTick, EventText(song, event));
    }
    for (const MidicsvEvent& event : file.mEvents) {
        theirs.emplace(event.mTrack, event.mTick, event.mBytes);
    }
    EXPECT_EQ(ours, theirs);
}

} // namespace
