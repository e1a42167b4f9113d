// The player's render thread and the host thread that drains the monitor, asks it to stop and
// reads its counts, in one process with the unit: every message handed to the unit arrives at
// the monitor once and in order, and a stop asked for at any moment still closes every note.
#include "MIDIFile/MIDIFileReader.h"
#include "MIDIFile/MIDIFileWriter.h"
#include "Monitor/MonitorCapture.h"
#include "Monitor/MonitorEndpoint.h"
#include "Play/DeliveryCounts.h"
#include "Play/Player.h"
#include "Units/DestinationList.h"
#include "Units/UnitInstance.h"
#include "Watchdog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

namespace {

constexpr UInt32 kRate = 48000;
constexpr AudioComponentDescription kUnit = {0x61756D75, 0x506F7574, 0x506C6E6B, 0, 0};

// Eight channels striking overlapping notes every 10 ms for two seconds.
MIDISequence DenseSong()
{
    MIDIFileWriter writer = MIDIFileWriter::ForRecording();
    const UInt64 step = MIDIFileWriter::RecordingTick(10000000);
    for (UInt64 i = 0; i < 200; ++i) {
        const Byte on[] = {Byte(0x90 | i % 8), Byte(40 + i % 40), 90};
        const Byte off[] = {Byte(0x80 | i % 8), Byte(40 + i % 40), 0};
        writer.AddMessage(0, i * step, on, 3);
        writer.AddMessage(0, (i + 5) * step, off, 3);
    }
    return MIDIFileReader::Read(writer.Bytes(), kRate);
}

TEST(PlayerConcurrency, EverySentMessageArrivesOnceAndAStopClosesEveryNote)
{
    Watchdog watchdog(60, "PlayerConcurrency");
    setenv("AUDIO_COMPONENT_PATH", PLENKO_BINARY_DIR, 1);
    setenv("PLENKO_LOG", "off", 1);
    AudioComponentRescanBundles();
    const MIDISequence song = DenseSong();
    // Stops asked for before the first slice, in the middle, and never.
    for (const UInt64 stopAfter : {UInt64(0), UInt64(300), ~UInt64(0)}) {
        SCOPED_TRACE(stopAfter);
        MonitorCapture capture;
        MonitorEndpoint monitor(MonitorCapture::ReadPackets, &capture);
        ASSERT_EQ(MIDIObjectSetIntegerProperty(monitor.Destination(),
                                               kMIDIPropertyAdvanceScheduleTimeMuSec,
                                               kMIDIAdvanceScheduleTimeUnlimited),
                  noErr);
        UnitInstance unit(kUnit);
        unit.Configure(kRate, 64);
        unit.Initialize();
        // "TX Device": the monitor, among whatever other destinations the system has.
        unit.SetParameter(0, Float32(DestinationNumber(monitor.Destination())));
        DeliveryTracker tracker(monitor.Destination(), &capture);
        unit.Reset();
        Player::Settings settings;
        settings.mSampleRate = kRate;
        settings.mBlockFrames = 64;
        settings.mOffline = true;
        settings.mSettled = &tracker.Settled();
        Player player(unit, song, settings);
        player.Start();
        while (!player.Finished() || capture.Received() < player.EventsSent()) {
            if (player.EventsSent() >= stopAfter) {
                player.RequestStop();
            }
            capture.Drain(nullptr);
            tracker.Update();
        }
        player.Join();

        std::map<std::pair<int, int>, int> sounding;
        const MIDISequence recorded = MIDIFileReader::Read(capture.Recording(), kRate);
        size_t messages = 0;
        for (const MIDIFileEvent& event : recorded.mEvents) {
            if (!event.IsChannelMessage()) {
                continue;
            }
            ++messages;
            const int type = event.mStatus & 0xF0;
            if (type == 0x90 || type == 0x80) {
                sounding[{event.Channel(), event.mData1}] += type == 0x90 ? 1 : -1;
            }
        }
        EXPECT_EQ(messages, player.EventsSent());
        EXPECT_EQ(tracker.Counts().mDelivered, messages);
        EXPECT_EQ(tracker.Counts().Settled(), messages);
        for (const auto& [note, count] : sounding) {
            EXPECT_EQ(count, 0) << "channel " << note.first << " key " << note.second;
        }
    }
    unsetenv("PLENKO_LOG");
}

} // namespace
