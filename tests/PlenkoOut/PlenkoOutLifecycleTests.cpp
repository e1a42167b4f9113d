// The unit's life as a host sees it: the bundle's component, the log of opening, initializing,
// cleaning up and closing, re-initialization, and the properties it reacts to or refuses.
#include "PlenkoOutUnit.h"
#include "ProgramRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <unistd.h>

namespace {

std::string CreateElementLines()
{
    std::string lines = "PlenkoOut::CreateElement( 1 - 0 )\nPlenkoOut::CreateElement( 2 - 0 )\n";
    for (int group = 0; group < 16; ++group)
        lines += "PlenkoOut::CreateElement( 3 - " + std::to_string(group) + " )\n";
    return lines + "PlenkoOut::CreateElement( 4 - 0 )\n";
}

const char* const kParameterLines = "Printing Parameters...\n"
                                    "[0]  TX Device: 0.000000\n"
                                    "[1]  TX Channel: 0.000000\n"
                                    "[2]  Prg Change: 0.000000\n"
                                    "[3]  Bank Select MSB: 0.000000\n"
                                    "[4]  Bank Select LSB: 0.000000\n"
                                    "Printing Parameters...done\n";

} // namespace

TEST(PlenkoOutLifecycle, BundleOffersTheUnitUnderItsDescription)
{
    setenv("AUDIO_COMPONENT_PATH", PLENKO_BINARY_DIR, 1);
    AudioComponentRescanBundles();
    const AudioComponent component = AudioComponentFindNext(nullptr, &kPlenkoOutDescription);
    ASSERT_NE(component, nullptr);
    CFStringRef name = nullptr;
    ASSERT_EQ(AudioComponentCopyName(component, &name), noErr);
    EXPECT_EQ(TextOf(name), "Plenko: PlenkoOut");
    CFRelease(name);
    UInt32 version = 0;
    ASSERT_EQ(AudioComponentGetVersion(component, &version), noErr);
    EXPECT_EQ(version, 0x00010000u);
}

// The install rules place the bundle where the component host looks: <prefix>/lib/audio-components.
TEST(PlenkoOutLifecycle, InstalledBundleOpensFromThePrefix)
{
    const std::filesystem::path prefix =
        std::filesystem::temp_directory_path() / ("plenko-install-" + std::to_string(getpid()));
    const ProgramResult installed =
        RunProgram({"cmake", "--install", PLENKO_BINARY_DIR, "--prefix", prefix.string()});
    ASSERT_EQ(installed.mExitStatus, 0) << installed.mErr;
    {
        HostedUnit unit((prefix / "lib/audio-components").string(), kPlenkoOutDescription);
        EXPECT_EQ(unit.OpenStatus(), noErr);
        CFStringRef bundle = nullptr;
        ASSERT_EQ(
            AudioComponentCopyBundlePath(AudioComponentInstanceGetComponent(unit.Unit()), &bundle),
            noErr);
        EXPECT_EQ(TextOf(bundle), (prefix / "lib/audio-components/PlenkoOut.component").string());
        CFRelease(bundle);
    }
    std::filesystem::remove_all(prefix);
}

TEST(PlenkoOutLifecycle, LogsEachStepOfItsLifeInOrder)
{
    OSStatus opened = noErr;
    const std::string text = StdoutOf([&] {
        PlenkoOutRig rig(2);
        opened = rig.Unit().OpenStatus();
        AudioUnitUninitialize(rig.Unit().Unit());
        rig.Unit().Dispose();
    });
    ASSERT_EQ(opened, noErr);
    EXPECT_EQ(text, "PlenkoOut::PlenkoOut(): start...\n" + CreateElementLines() +
                        "PRINTING MIDI DESTINATIONS (2)...\n"
                        "  Destination: Synth 1 0\n"
                        "  Destination: Synth 2 0\n"
                        "PlenkoOut::PlenkoOut: done.\n"
                        "PlenkoOut::Initialize(): start...\n" +
                        kParameterLines +
                        "PlenkoOut::Initialize(): done.\n"
                        "PlenkoOut::Cleanup(): start...\n"
                        "PlenkoOut::Cleanup(): done.\n"
                        "PlenkoOut::~PlenkoOut(): start...\n"
                        "PlenkoOut::~PlenkoOut(): done.\n");
}

// Cleanup disposes the client and port and forgets the destination; Initialize makes new ones
// and chooses none, so MIDI is dropped until a destination is chosen again.
TEST(PlenkoOutLifecycle, ReinitializingForgetsTheDestination)
{
    PlenkoOutRig rig(1);
    HostedUnit& unit = rig.Unit();
    ASSERT_EQ(rig.Choose(0), noErr);
    ASSERT_EQ(AudioUnitUninitialize(unit.Unit()), noErr);
    ASSERT_EQ(AudioUnitInitialize(unit.Unit()), noErr);
    const std::string text = StdoutOf([&] {
        unit.MIDI(0x90, 60, 100);
        unit.Render();
    });
    EXPECT_EQ(text.find("AddMIDIEvent"), std::string::npos) << text;
    EXPECT_TRUE(rig.Destination(0).Settled().empty());

    ASSERT_EQ(rig.Choose(0), noErr);
    unit.MIDI(0x90, 61, 100);
    ASSERT_EQ(unit.Render(), noErr);
    const auto received = rig.Destination(0).WaitFor(1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].bytes, (std::vector<Byte>{0x90, 61, 100}));
}

TEST(PlenkoOutLifecycle, RefusesTooShortValuesOfThreeGlobalProperties)
{
    struct Case {
        AudioUnitPropertyID id;
        UInt32 size;
    };
    const Case cases[] = {{kAudioUnitProperty_SampleRate, 4},
                          {kAudioUnitProperty_AUHostIdentifier, 15},
                          {kAudioUnitProperty_MIDIOutputCallback, 8}};
    PlenkoOutRig rig(0);
    const Byte value[16] = {};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(rig.Unit().SetProperty(c.id, kAudioUnitScope_Global, value, c.size),
                  kAudioUnitErr_InvalidPropertyValue);
    }
}

TEST(PlenkoOutLifecycle, ClassInfoFromDocumentPrintsTheParameters)
{
    PlenkoOutRig rig(0);
    const Byte value[8] = {};
    EXPECT_EQ(StdoutOf([&] {
                  rig.Unit().SetProperty(kAudioUnitProperty_ClassInfoFromDocument,
                                         kAudioUnitScope_Global, value, sizeof value);
              }),
              kParameterLines);
}

// Reset takes the sample rate of the element's format and anchors the clock again at the next
// render call, which logs its INIT line once more.
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
    const std::regex expected("PlenkoOut::Render\\( INIT \\): \\[00\\] \\d+:\\d\\d:\\d\\d \\d+, "
                              "0\\.000000, 512\n"
                              "PlenkoOut::Reset\\( 2, 0 \\): called\\.\n"
                              "PlenkoOut::Reset samplerate for scope/element 2/0 = 48000\n"
                              "PlenkoOut::Render\\( INIT \\): \\[00\\] \\d+:\\d\\d:\\d\\d \\d+, "
                              "4096\\.000000, 512\n");
    EXPECT_TRUE(std::regex_match(text, expected)) << text;
}
