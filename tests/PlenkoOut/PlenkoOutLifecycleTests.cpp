// The unit's life as a host sees it: the installed bundle, the log of opening, initializing,
// cleaning up and closing, re-initialization, and the properties it reacts to or refuses.
#include "PlenkoOutUnit.h"
#include "ProgramRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace {

const char* const kParameterLines = "Printing Parameters...\n[0]  TX Device: 0.000000\n"
                                    "[1]  TX Channel: 0.000000\n[2]  Prg Change: 0.000000\n"
                                    "[3]  Bank Select MSB: 0.000000\n"
                                    "[4]  Bank Select LSB: 0.000000\nPrinting Parameters...done\n";

} // namespace

// The install rules put the bundle where the component host looks for it.
TEST(PlenkoOutLifecycle, InstalledBundleOffersTheUnit)
{
    const auto prefix =
        std::filesystem::temp_directory_path() / ("plenko-install-" + std::to_string(getpid()));
    const ProgramResult installed =
        RunProgram({"cmake", "--install", PLENKO_BINARY_DIR, "--prefix", prefix.string()});
    ASSERT_EQ(installed.mExitStatus, 0) << installed.mErr;
    {
        FindBundlesIn((prefix / "lib/audio-components").string());
        HostedUnit unit(kPlenkoOutDescription, true);
        ASSERT_EQ(unit.OpenStatus(), noErr);
        const AudioComponent component = AudioComponentInstanceGetComponent(unit.Unit());
        CFStringRef name = nullptr, bundle = nullptr;
        UInt32 version = 0;
        ASSERT_EQ(AudioComponentCopyName(component, &name), noErr);
        ASSERT_EQ(AudioComponentCopyBundlePath(component, &bundle), noErr);
        ASSERT_EQ(AudioComponentGetVersion(component, &version), noErr);
        EXPECT_EQ(TextOf(name), "Plenko: PlenkoOut");
        EXPECT_EQ(TextOf(bundle), (prefix / "lib/audio-components/PlenkoOut.component").string());
        EXPECT_EQ(version, 0x00010000u);
        CFRelease(name);
        CFRelease(bundle);
    }
    std::filesystem::remove_all(prefix);
}

TEST(PlenkoOutLifecycle, LogsEachStepOfItsLifeInOrder)
{
    const std::string text = StdoutOf([] {
        PlenkoOutRig rig(2);
        AudioUnitUninitialize(rig.Unit().Unit());
        rig.Unit().Dispose();
    });
    std::string expected = "PlenkoOut::PlenkoOut(): start...\nPlenkoOut::CreateElement( 1 - 0 )\n"
                           "PlenkoOut::CreateElement( 2 - 0 )\n";
    for (int group = 0; group < 16; ++group)
        expected += "PlenkoOut::CreateElement( 3 - " + std::to_string(group) + " )\n";
    expected += "PlenkoOut::CreateElement( 4 - 0 )\nPRINTING MIDI DESTINATIONS (2)...\n"
                "  Destination: Synth 1 0\n  Destination: Synth 2 0\nPlenkoOut::PlenkoOut: done.\n"
                "PlenkoOut::Initialize(): start...\n" +
                std::string(kParameterLines) +
                "PlenkoOut::Initialize(): done.\nPlenkoOut::Cleanup(): start...\n"
                "PlenkoOut::Cleanup(): done.\nPlenkoOut::~PlenkoOut(): start...\n"
                "PlenkoOut::~PlenkoOut(): done.\n";
    EXPECT_EQ(text, expected);
}

// Cleanup forgets the destination and Initialize chooses none: MIDI is dropped, unlogged, until
// one is chosen again.
TEST(PlenkoOutLifecycle, ReinitializingForgetsTheDestination)
{
    PlenkoOutRig rig(1);
    HostedUnit& unit = rig.Unit();
    rig.Choose(0);
    ASSERT_EQ(AudioUnitUninitialize(unit.Unit()), noErr);
    ASSERT_EQ(AudioUnitInitialize(unit.Unit()), noErr);
    const std::string text = StdoutOf([&] {
        unit.MIDI(0x90, 60, 100);
        unit.Render();
    });
    EXPECT_EQ(text.find("AddMIDIEvent"), std::string::npos) << text;
    EXPECT_TRUE(rig.Destination(0).Settled().empty());
    rig.Choose(0);
    unit.MIDI(0x90, 61, 100);
    unit.Render();
    EXPECT_EQ(BytesOf(rig.Destination(0).WaitFor(1)), (std::vector<Bytes>{{0x90, 61, 100}}));
}

TEST(PlenkoOutLifecycle, RefusesTooShortValuesOfThreeGlobalProperties)
{
    const std::pair<AudioUnitPropertyID, UInt32> cases[] = {
        {kAudioUnitProperty_SampleRate, 4},
        {kAudioUnitProperty_AUHostIdentifier, 15},
        {kAudioUnitProperty_MIDIOutputCallback, 8}};
    PlenkoOutRig rig(0);
    const Byte value[16] = {};
    for (const auto& [id, size] : cases)
        EXPECT_EQ(rig.Unit().SetProperty(id, kAudioUnitScope_Global, value, size),
                  kAudioUnitErr_InvalidPropertyValue)
            << id;
    EXPECT_EQ(StdoutOf([&] {
                  rig.Unit().SetProperty(kAudioUnitProperty_ClassInfoFromDocument,
                                         kAudioUnitScope_Global, value, 8);
              }),
              kParameterLines);
}

// Reset takes the element's sample rate and anchors the clock again at the next render call.
TEST(PlenkoOutLifecycle, ResetTakesTheRateAndReanchors)
{
    PlenkoOutRig rig(1, false);
    HostedUnit& unit = rig.Unit();
    const Float64 rate = 48000;
    ASSERT_EQ(
        unit.SetProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, &rate, sizeof rate),
        noErr);
    ASSERT_EQ(AudioUnitInitialize(unit.Unit()), noErr);
    const std::string text = StdoutOf([&] {
        unit.Render(512, 0);
        unit.Render(512);
        AudioUnitReset(unit.Unit(), kAudioUnitScope_Output, 0);
        unit.Render(512, 4096);
    });
    EXPECT_EQ(WithoutTimes(text), "PlenkoOut::Render( INIT ): [00] <time>, 0.000000, 512\n"
                                  "PlenkoOut::Reset( 2, 0 ): called.\n"
                                  "PlenkoOut::Reset samplerate for scope/element 2/0 = 48000\n"
                                  "PlenkoOut::Render( INIT ): [00] <time>, 4096.000000, 512\n");
}
