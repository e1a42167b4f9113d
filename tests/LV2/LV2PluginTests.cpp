// The plug-in in a host of the tests' own (lilv), loaded from the build tree: every message
// arrives once, in order, at its virtual destination, stamped exactly from the time stamp the
// adapter gave the cycle (also where a run is split into several slices), the output stays
// silent and the unit writes no log; the state round trip keeps the unit's class info to the
// byte and finds the destination again by name; a missing destination sends nothing and is said
// once; two instances send to their own destinations at once; bad states never crash it.
#include "CycleClock.h"
#include "LilvHost.h"
#include "MIDIRecorder.h"
#include "OutputCapture.h"

#include <CoreAudio/HostTime.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <link.h>
#include <string>
#include <thread>

namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr double kRate = 48000;

// The host-clock ticks of `frames` at the test's rate, whole ticks as the unit truncates them.
UInt64 Ticks(UInt32 frames)
{
    return UInt64(Float64(frames) * (AudioGetHostClockFrequency() / kRate));
}

// The stamp the unit gives a message at `frame` of a cycle cut into slices of `maxFrames`.
UInt64 ExpectedStamp(const PlenkoOutCycleTime& cycle, UInt32 frame, UInt32 maxFrames)
{
    const UInt32 sliceStart = frame / maxFrames * maxFrames;
    return cycle.hostTime + UInt64(std::llround(sliceStart * cycle.ticksPerFrame)) +
           Ticks(frame - sliceStart);
}

// A controller message that carries its number n in its controller and value.
std::vector<Byte> Numbered(int n)
{
    return {0xB0, Byte(20 + (n >> 7)), Byte(n & 0x7F)};
}

class LV2Plugin : public ::testing::Test {
protected:
    LilvHost mHost;
};

TEST_F(LV2Plugin, EveryMessageArrivesOnceInOrderStampedFromTheCycleTime)
{
    struct Case {
        UInt32 maxBlockLength; // 0: the host names none
        UInt32 runFrames;
        UInt32 slice; // the unit's slices
    };
    const Case cases[] = {{0, 256, 4096}, {256, 1000, 256}, {64, 64, 64}, {128, 8192, 128}};
    MIDIRecorder destination("LV2 synth");
    for (const Case& c : cases) {
        SCOPED_TRACE("block " + std::to_string(c.maxBlockLength) + ", run " +
                     std::to_string(c.runFrames));
        const size_t before = destination.Settled().size();
        std::vector<UInt64> expected;
        std::vector<std::vector<Byte>> sent;
        std::string unitOutput;
        {
            OutputCapture out(OutputCapture::kStdout);
            LilvPluginInstance plugin(mHost, {kRate, c.maxBlockLength, true, true});
            ASSERT_TRUE(plugin.IsOpen());
            plugin.SetControl("tx_device", TXDeviceOf("LV2 synth"));
            // The destination is chosen by the job of the first run.
            plugin.Run(c.runFrames);
            double sampleTime = plugin.LastCycle().sampleTime;
            int n = 0;
            for (int cycle = 0; cycle < 8; ++cycle) {
                const std::vector<UInt32> frames = {0, 1, c.runFrames / 2, c.runFrames - 2,
                                                    c.runFrames - 1};
                std::vector<TimedMIDI> events;
                for (UInt32 frame : frames) {
                    events.push_back({frame, Numbered(n++)});
                    sent.push_back(events.back().bytes);
                }
                // Neither a SysEx nor a message longer than three bytes goes anywhere.
                events.push_back({c.runFrames - 1, {0xF0, 0x7E, 0xF7}});
                events.push_back({c.runFrames - 1, {0x90, 60, 100, 0}});
                plugin.FillOutputs(NAN);
                plugin.RunInRealTime(c.runFrames, events);
                const PlenkoOutCycleTime time = plugin.LastCycle();
                EXPECT_EQ(time.sampleTime, sampleTime + c.runFrames) << "the sample time runs on";
                sampleTime = time.sampleTime;
                EXPECT_NEAR(time.ticksPerFrame, 1e9 / kRate, 1e9 / kRate / 10);
                for (UInt32 frame : frames)
                    expected.push_back(ExpectedStamp(time, frame, c.slice));
                EXPECT_THAT(std::vector<float>(plugin.Output(0), plugin.Output(0) + c.runFrames),
                            Each(0.0f));
                EXPECT_THAT(std::vector<float>(plugin.Output(1), plugin.Output(1) + c.runFrames),
                            Each(0.0f));
            }
            unitOutput = out.Take();
        }
        EXPECT_EQ(unitOutput, "") << "the unit's log is off unless PLENKO_LOG says on";
        std::vector<ReceivedPacket> received = destination.WaitFor(before + sent.size());
        received.erase(received.begin(), received.begin() + long(before));
        ASSERT_EQ(received.size(), sent.size());
        EXPECT_EQ(BytesOf(received), sent);
        for (size_t i = 0; i < received.size(); ++i)
            EXPECT_EQ(received[i].stamp, expected[i]) << "message " << i;
    }
}

// The copy of the stand-in's library in the plug-in's folder is not loaded beside the one this
// program already has: the loader takes the library of that name it holds, so the unit sees
// this program's destinations (the other tests show it) and there is one set of them.
TEST_F(LV2Plugin, OneStandInLibraryPerProcess)
{
    LilvPluginInstance plugin(mHost);
    ASSERT_TRUE(plugin.IsOpen());
    plugin.Run(256);
    std::vector<std::string> loaded;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            const std::string name = info->dlpi_name != nullptr ? info->dlpi_name : "";
            if (name.size() >= 14 && name.compare(name.size() - 14, 14, "libPlatform.so") == 0)
                static_cast<std::vector<std::string>*>(data)->push_back(name);
            return 0;
        },
        &loaded);
    EXPECT_EQ(loaded.size(), 1u) << ::testing::PrintToString(loaded);
}

// The cycle's host time comes from the host clock at the run: within the calls' bounds once the
// loop starts at the first run, and never off by more than the loop's restart bound after (a
// run that wakes late on a busy machine is taken for a late wake-up and moves nothing).
TEST_F(LV2Plugin, CycleTimeFollowsTheHostClock)
{
    LilvPluginInstance plugin(mHost);
    ASSERT_TRUE(plugin.IsOpen());
    const UInt64 before = AudioGetCurrentHostTime();
    plugin.Run(256);
    const UInt64 after = AudioGetCurrentHostTime();
    EXPECT_GE(plugin.LastCycle().hostTime, before);
    EXPECT_LE(plugin.LastCycle().hostTime, after);
    for (int cycle = 0; cycle < 20; ++cycle) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const UInt64 arrival = AudioGetCurrentHostTime();
        plugin.Run(256);
        EXPECT_NEAR(double(plugin.LastCycle().hostTime), double(arrival),
                    CycleClock::kPauseSeconds * 1e9);
    }
}

// Saved through lilv's own state and serialized to text, then read back into a new instance: the
// class info comes back to the byte and the controls take their saved values. Read back after
// the destination went and came back under another number and another id, it is found by its
// name, and what the instance sends reaches it until the host sets tx_device to another number.
TEST_F(LV2Plugin, StateRoundTripKeepsTheClassInfoAndFindsTheDestinationByName)
{
    auto other = std::make_unique<MIDIRecorder>("LV2 other");
    auto synth = std::make_unique<MIDIRecorder>("LV2 round trip");
    const LV2_URID classInfo = mHost.Urid(PLENKO_OUT__classInfo);
    const LV2_URID destinationId = mHost.Urid(PLENKO_OUT__destinationId);
    std::string text;
    LilvPluginInstance::StateMap saved;
    const float savedDevice = TXDeviceOf("LV2 round trip");
    {
        LilvPluginInstance plugin(mHost);
        ASSERT_TRUE(plugin.IsOpen());
        plugin.SetControl("tx_device", savedDevice);
        plugin.SetControl("tx_channel", 3);
        plugin.SetControl("prg_change", 9);
        plugin.Run(256);
        plugin.Run(256);
        saved = plugin.Save();
        text = plugin.SaveStateText();
    }
    const LV2_URID destinationKey = mHost.Urid(PLENKO_OUT__destination);
    ASSERT_EQ(saved.count(destinationKey), 1u);
    const std::string name(saved[destinationKey].bytes.begin(),
                           saved[destinationKey].bytes.end() - 1);
    EXPECT_THAT(name, HasSubstr("LV2 round trip"));
    EXPECT_THAT(text, HasSubstr(name));
    ASSERT_EQ(saved.count(classInfo), 1u);
    EXPECT_EQ(saved.at(classInfo).type, mHost.Urid(LV2_ATOM__String));
    {
        LilvPluginInstance plugin(mHost);
        ASSERT_TRUE(plugin.IsOpen());
        plugin.RestoreStateText(text);
        EXPECT_EQ(plugin.Control("tx_channel"), 3);
        plugin.Run(256);
        const LilvPluginInstance::StateMap resaved = plugin.Save();
        EXPECT_EQ(resaved.at(classInfo).bytes, saved.at(classInfo).bytes);
        EXPECT_EQ(resaved.at(destinationId).bytes, saved.at(destinationId).bytes);
    }

    // The same name, a new destination with a new id, now the first in the list.
    synth.reset();
    other.reset();
    MIDIRecorder again("LV2 round trip");
    MIDIRecorder later("LV2 later");
    LilvPluginInstance plugin(mHost);
    ASSERT_TRUE(plugin.IsOpen());
    plugin.RestoreStateText(text);
    EXPECT_EQ(plugin.Control("tx_device"), savedDevice) << "lilv restores the port after the state";
    plugin.Run(256, {{10, {0x90, 60, 100}}});
    // On the restored fixed channel 3.
    EXPECT_EQ(BytesOf(again.WaitFor(1)), (std::vector<std::vector<Byte>>{{0x92, 60, 100}}));
    EXPECT_NE(plugin.Save().at(destinationId).bytes, saved.at(destinationId).bytes)
        << "the new destination's id";

    // The port set to the value it already has changes nothing; another value chooses by
    // number again.
    plugin.SetControl("tx_device", savedDevice);
    plugin.Run(256, {{0, {0x90, 61, 100}}});
    EXPECT_EQ(again.WaitFor(2).size(), 2u);
    plugin.SetControl("tx_device", TXDeviceOf("LV2 later") + 0.5f);
    plugin.Run(256);
    plugin.Run(256, {{0, {0x90, 62, 100}}});
    EXPECT_EQ(BytesOf(later.WaitFor(1)), (std::vector<std::vector<Byte>>{{0x92, 62, 100}}));
    EXPECT_EQ(again.Settled().size(), 2u);
}

TEST_F(LV2Plugin, MissingDestinationSendsNothingAndIsSaidOnce)
{
    MIDIRecorder present("LV2 present");
    LilvPluginInstance plugin(mHost);
    ASSERT_TRUE(plugin.IsOpen());
    plugin.SetControl("tx_device", TXDeviceOf("LV2 present"));
    plugin.Run(256);
    LilvPluginInstance::StateMap state = plugin.Save();
    const std::string gone = "LV2 gone away";
    state[mHost.Urid(PLENKO_OUT__destination)] = {
        std::vector<Byte>(gone.c_str(), gone.c_str() + gone.size() + 1),
        mHost.Urid(LV2_ATOM__String)};
    state.erase(mHost.Urid(PLENKO_OUT__destinationId));
    ASSERT_EQ(plugin.Restore(state), LV2_STATE_SUCCESS);
    for (int cycle = 0; cycle < 4; ++cycle)
        plugin.Run(256, {{0, {0x90, 60, 100}}});
    EXPECT_EQ(present.Settled().size(), 0u);
    const std::vector<std::string> lines = plugin.LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], HasSubstr("\"LV2 gone away\" is not there"));
    // Saved again, the state still names it.
    const auto name = plugin.Save().at(mHost.Urid(PLENKO_OUT__destination)).bytes;
    EXPECT_EQ(std::string(name.begin(), name.end() - 1), gone);
}

// Each instance from its own thread, at once: every message at its own destination, in order;
// closing one leaves the other sending.
TEST_F(LV2Plugin, TwoInstancesSendToTheirOwnDestinationsAtOnce)
{
    constexpr int kCycles = 200;
    MIDIRecorder first("LV2 first");
    MIDIRecorder second("LV2 second");
    auto one = std::make_unique<LilvPluginInstance>(mHost);
    auto two = std::make_unique<LilvPluginInstance>(mHost);
    ASSERT_TRUE(one->IsOpen() && two->IsOpen());
    one->SetControl("tx_device", TXDeviceOf("LV2 first"));
    two->SetControl("tx_device", TXDeviceOf("LV2 second"));
    const auto play = [](LilvPluginInstance& plugin, Byte channel) {
        plugin.RunInRealTime(128);
        for (int n = 0; n < kCycles; ++n)
            plugin.RunInRealTime(
                128, {{UInt32(n % 128), {Byte(0xB0 | channel), Byte(n >> 7), Byte(n & 0x7F)}}});
    };
    std::thread a([&] { play(*one, 0); });
    std::thread b([&] { play(*two, 1); });
    a.join();
    b.join();
    for (auto [destination, channel] : {std::pair{&first, 0}, std::pair{&second, 1}}) {
        const std::vector<ReceivedPacket> received = destination->WaitFor(kCycles);
        ASSERT_EQ(received.size(), size_t(kCycles));
        for (int n = 0; n < kCycles; ++n)
            ASSERT_EQ(received[n].data,
                      (std::vector<Byte>{Byte(0xB0 | channel), Byte(n >> 7), Byte(n & 0x7F)}))
                << n;
    }
    one.reset();
    two->Run(128, {{0, {0x91, 1, 2}}});
    EXPECT_EQ(BytesOf(second.WaitFor(kCycles + 1)).back(), (std::vector<Byte>{0x91, 1, 2}));
    EXPECT_EQ(first.Settled().size(), size_t(kCycles));
}

// A host with no worker: the adapter's own thread chooses the destination.
TEST_F(LV2Plugin, WithoutAWorkerTheAdaptersThreadChoosesTheDestination)
{
    MIDIRecorder destination("LV2 no worker");
    LilvPluginInstance plugin(mHost, {kRate, 0, false, false});
    ASSERT_TRUE(plugin.IsOpen());
    plugin.SetControl("tx_device", TXDeviceOf("LV2 no worker"));
    plugin.Run(256);
    const UInt64 giveUp = AudioGetCurrentHostTime() + 5000000000;
    while (destination.Settled().empty() && AudioGetCurrentHostTime() < giveUp)
        plugin.Run(256, {{0, {0x90, 60, 100}}});
    EXPECT_FALSE(destination.Settled().empty());
}

// Whatever a saved song holds under the plug-in's keys, restoring it returns and the plug-in
// goes on running; a class info it cannot take is said, not applied.
TEST_F(LV2Plugin, BadStatesNeverStopThePlugin)
{
    const LV2_URID string = mHost.Urid(LV2_ATOM__String);
    const LV2_URID integer = mHost.Urid(LV2_ATOM__Int);
    const auto bytes = [](const std::string& text) {
        return std::vector<Byte>(text.begin(), text.end());
    };
    struct Case {
        const char* what;
        const char* key;
        std::vector<Byte> value;
        LV2_URID type;
    };
    const Case cases[] = {
        {"class info not a property list", PLENKO_OUT__classInfo, bytes("<plist><dict>"), string},
        {"class info of another unit", PLENKO_OUT__classInfo,
         bytes("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>version</key>"
               "<integer>0</integer></dict></plist>"),
         string},
        {"class info as a number", PLENKO_OUT__classInfo, {1, 2, 3, 4}, integer},
        {"class info empty", PLENKO_OUT__classInfo, {}, string},
        {"destination without a terminator", PLENKO_OUT__destination, bytes("LV2 x"), string},
        {"destination as a number", PLENKO_OUT__destination, {1, 0, 0, 0}, integer},
        {"destination id too short", PLENKO_OUT__destinationId, {1}, integer},
        {"tx_device as text", PLENKO_OUT__txDevice, bytes("2"), string},
    };
    MIDIRecorder destination("LV2 bad states");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LilvPluginInstance plugin(mHost);
        ASSERT_TRUE(plugin.IsOpen());
        LilvPluginInstance::StateMap state;
        state[mHost.Urid(c.key)] = {c.value, c.type};
        EXPECT_EQ(plugin.Restore(state), LV2_STATE_SUCCESS);
        plugin.Run(256, {{0, {0x90, 60, 100}}});
        plugin.SetControl("tx_device", TXDeviceOf("LV2 bad states"));
        plugin.Run(256);
        const size_t before = destination.Settled().size();
        plugin.Run(256, {{0, {0x90, 61, 100}}});
        EXPECT_EQ(destination.WaitFor(before + 1).size(), before + 1);
    }
}

} // namespace
