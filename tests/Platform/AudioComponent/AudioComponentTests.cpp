#include "CFText.h"
#include "FixtureBundles.h"
#include "LeakSanitizer.h"

#include <AudioToolbox/AudioToolbox.h>
#include <CoreFoundation/CoreFoundation.h>
#include <ExceptionStatus.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <tuple>
#include <vector>

namespace {

using ::testing::HasSubstr;

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The lines about the fixture folder: bundles installed on this machine may add their own.
std::vector<std::string> FixtureLines(const std::string& text)
{
    std::vector<std::string> lines;
    for (const std::string& line : Lines(text)) {
        if (line.find(FIXTURE_BUNDLES_DIR) != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

AudioComponentPlugInInterface* FailingFactory(const AudioComponentDescription*)
{
    return nullptr;
}

// The factory that answers every description with one record.
template <AudioComponentPlugInInterface* Record>
AudioComponentPlugInInterface* FactoryOf(const AudioComponentDescription*)
{
    return Record;
}

// Registers a generator of the tests' maker under `subtype`.
AudioComponent RegisterTestComponent(OSType subtype, CFStringRef name,
                                     AudioComponentFactoryFunction factory)
{
    const AudioComponentDescription description{0x61756678, subtype, 0x53726368, 0, 0};
    return AudioComponentRegister(&description, name, 1, factory);
}

// ---- The in-process registry ----

TEST(AudioComponentRegistry, FindsCountsAndDescribesRegisteredComponents)
{
    const OSType manufacturer = 0x53726368; // 'Srch'
    std::vector<AudioComponent> registered;
    for (OSType subtype : {0x73756231u, 0x73756232u, 0x73756233u}) {
        const AudioComponentDescription description{0x61756678, subtype, manufacturer, 0, 0};
        registered.push_back(
            AudioComponentRegister(&description, CFSTR("Search: one"), subtype, FailingFactory));
        ASSERT_NE(registered.back(), nullptr);
    }

    const AudioComponentDescription byManufacturer{0, 0, manufacturer, 0, 0};
    EXPECT_EQ(AudioComponentCount(&byManufacturer), 3u);
    std::vector<AudioComponent> found;
    for (AudioComponent c = AudioComponentFindNext(nullptr, &byManufacturer); c != nullptr;
         c = AudioComponentFindNext(c, &byManufacturer)) {
        found.push_back(c);
    }
    EXPECT_EQ(found, registered);

    const AudioComponentDescription bySubtype{0x61756678, 0x73756232, 0, 0, 0};
    EXPECT_EQ(AudioComponentFindNext(nullptr, &bySubtype), registered[1]);
    EXPECT_GE(AudioComponentCount(nullptr), 3u);

    AudioComponentDescription description{};
    ASSERT_EQ(AudioComponentGetDescription(registered[2], &description), noErr);
    EXPECT_EQ(description.componentSubType, 0x73756233u);
    EXPECT_EQ(description.componentManufacturer, manufacturer);
    UInt32 version = 0;
    ASSERT_EQ(AudioComponentGetVersion(registered[2], &version), noErr);
    EXPECT_EQ(version, 0x73756233u);
    CFStringRef name = nullptr;
    ASSERT_EQ(AudioComponentCopyName(registered[0], &name), noErr);
    EXPECT_EQ(TextOf(name), "Search: one");
    CFRelease(name);
}

TEST(AudioComponentRegistry, RejectsMissingAndUnknownArguments)
{
    const AudioComponentDescription description{0x61756678, 0x62616431, 0x53726368, 0, 0};
    EXPECT_EQ(AudioComponentRegister(nullptr, CFSTR("x"), 1, FailingFactory), nullptr);
    EXPECT_EQ(AudioComponentRegister(&description, CFSTR("x"), 1, nullptr), nullptr);

    AudioComponentDescription stranger{};
    auto unknown = reinterpret_cast<AudioComponent>(&stranger);
    AudioComponentDescription out{};
    UInt32 version = 0;
    CFStringRef name = nullptr;
    AudioComponentInstance instance = nullptr;
    EXPECT_EQ(AudioComponentGetDescription(unknown, &out), kAudio_ParamError);
    EXPECT_EQ(AudioComponentGetDescription(nullptr, &out), kAudio_ParamError);
    EXPECT_EQ(AudioComponentGetVersion(unknown, &version), kAudio_ParamError);
    EXPECT_EQ(AudioComponentCopyName(unknown, &name), kAudio_ParamError);
    EXPECT_EQ(AudioComponentCopyBundlePath(unknown, &name), kAudio_ParamError);
    EXPECT_EQ(AudioComponentInstanceNew(unknown, &instance), kAudio_ParamError);
    EXPECT_EQ(AudioComponentFindNext(unknown, nullptr), nullptr);
    EXPECT_EQ(AudioComponentInstanceDispose(nullptr), kAudio_ParamError);
    EXPECT_EQ(AudioComponentInstanceGetComponent(nullptr), nullptr);

    AudioComponent known = AudioComponentRegister(&description, nullptr, 1, FailingFactory);
    EXPECT_EQ(AudioComponentInstanceNew(known, nullptr), kAudio_ParamError);
    EXPECT_EQ(AudioComponentGetDescription(known, nullptr), kAudio_ParamError);
    EXPECT_EQ(AudioComponentCopyBundlePath(known, nullptr), kAudio_ParamError);
    ASSERT_EQ(AudioComponentCopyName(known, &name), noErr);
    EXPECT_EQ(TextOf(name), "");
    CFRelease(name);
    // A component registered in-process comes from no bundle.
    ASSERT_EQ(AudioComponentCopyBundlePath(known, &name), noErr);
    EXPECT_EQ(name, nullptr);
}

TEST(AudioComponentRegistry, FactoryGivingNoRecordFailsTheNewInstance)
{
    AudioComponent component = RegisterTestComponent(0x62616432, CFSTR("Failing"), FailingFactory);
    AudioComponentInstance instance = reinterpret_cast<AudioComponentInstance>(&instance);

    EXPECT_EQ(AudioComponentInstanceNew(component, &instance), kAudio_MemFullError);
    EXPECT_EQ(instance, nullptr);
}

bool sCloseThrows = true;

OSStatus OpenAnything(void*, AudioComponentInstance)
{
    return noErr;
}
OSStatus CloseThrowingOnRequest(void*)
{
    if (sCloseThrows) {
        throw std::runtime_error("close failed");
    }
    return noErr;
}
AudioComponentPlugInInterface sThrowingCloseRecord{OpenAnything, CloseThrowingOnRequest, nullptr,
                                                   nullptr};

TEST(AudioComponentRegistry, CloseThatThrowsFailsTheDisposeAndKeepsTheHandleForAnotherTry)
{
    AudioComponent component = RegisterTestComponent(0x62616433, CFSTR("Throwing close"),
                                                     FactoryOf<&sThrowingCloseRecord>);
    AudioComponentInstance instance = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(component, &instance), noErr);

    EXPECT_EQ(AudioComponentInstanceDispose(instance), -1);
    EXPECT_EQ(AudioComponentInstanceGetComponent(instance), component);
    EXPECT_EQ(AudioUnitInitialize(instance), kAudio_UnimplementedError); // a record without lookup

    sCloseThrows = false;
    EXPECT_EQ(AudioComponentInstanceDispose(instance), noErr);
    EXPECT_EQ(AudioComponentInstanceGetComponent(instance), nullptr);
}

// A record whose close looks at its own instance the way a unit's cleanup and destructor do,
// and tries to dispose of it again.
AudioComponentInstance sClosingInstance = nullptr;
AudioComponent sComponentSeenByClose = nullptr;
OSStatus sDisposeFromClose = noErr;

OSStatus OpenRemembering(void*, AudioComponentInstance instance)
{
    sClosingInstance = instance;
    return noErr;
}
OSStatus CloseLookingBack(void*)
{
    sComponentSeenByClose = AudioComponentInstanceGetComponent(sClosingInstance);
    sDisposeFromClose = AudioComponentInstanceDispose(sClosingInstance);
    return noErr;
}
AudioComponentPlugInInterface sLookingBackRecord{OpenRemembering, CloseLookingBack, nullptr,
                                                 nullptr};

TEST(AudioComponentRegistry, AnInstanceStaysWholeUntilItsCloseHasReturned)
{
    AudioComponent component =
        RegisterTestComponent(0x62616434, CFSTR("Looking back"), FactoryOf<&sLookingBackRecord>);
    AudioComponentInstance instance = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(component, &instance), noErr);

    EXPECT_EQ(AudioComponentInstanceDispose(instance), noErr);
    EXPECT_EQ(sComponentSeenByClose, component) << "the close still knows its component";
    EXPECT_EQ(sDisposeFromClose, kAudio_ParamError) << "the dispose under way owns the handle";
    EXPECT_EQ(AudioComponentInstanceGetComponent(instance), nullptr);
}

// ---- Host calls: which selector each asks for ----

SInt16 sLastSelector = 0;

struct SelectorRecorder {
    static AudioComponentMethod Lookup(SInt16 selector)
    {
        sLastSelector = selector;
        return nullptr;
    }
};

OSStatus OpenNothing(void*, AudioComponentInstance)
{
    return noErr;
}
OSStatus CloseNothing(void*)
{
    return noErr;
}
AudioComponentPlugInInterface sRecorderRecord{OpenNothing, CloseNothing, SelectorRecorder::Lookup,
                                              nullptr};

struct HostCall {
    const char* name;
    SInt16 selector;
    std::function<OSStatus(AudioUnit)> call;
};

std::vector<HostCall> AllHostCalls()
{
    return {
        {"Initialize", 0x01, [](AudioUnit u) { return AudioUnitInitialize(u); }},
        {"Uninitialize", 0x02, [](AudioUnit u) { return AudioUnitUninitialize(u); }},
        {"GetPropertyInfo", 0x03,
         [](AudioUnit u) { return AudioUnitGetPropertyInfo(u, 0, 0, 0, nullptr, nullptr); }},
        {"GetProperty", 0x04,
         [](AudioUnit u) { return AudioUnitGetProperty(u, 0, 0, 0, nullptr, nullptr); }},
        {"SetProperty", 0x05,
         [](AudioUnit u) { return AudioUnitSetProperty(u, 0, 0, 0, nullptr, 0); }},
        {"GetParameter", 0x06,
         [](AudioUnit u) { return AudioUnitGetParameter(u, 0, 0, 0, nullptr); }},
        {"SetParameter", 0x07, [](AudioUnit u) { return AudioUnitSetParameter(u, 0, 0, 0, 0, 0); }},
        {"Reset", 0x09, [](AudioUnit u) { return AudioUnitReset(u, 0, 0); }},
        {"AddPropertyListener", 0x0A,
         [](AudioUnit u) { return AudioUnitAddPropertyListener(u, 0, nullptr, nullptr); }},
        {"RemovePropertyListener", 0x0B,
         [](AudioUnit u) { return AudioUnitRemovePropertyListener(u, 0, nullptr); }},
        {"Render", 0x0E,
         [](AudioUnit u) { return AudioUnitRender(u, nullptr, nullptr, 0, 0, nullptr); }},
        {"AddRenderNotify", 0x0F,
         [](AudioUnit u) { return AudioUnitAddRenderNotify(u, nullptr, nullptr); }},
        {"RemoveRenderNotify", 0x10,
         [](AudioUnit u) { return AudioUnitRemoveRenderNotify(u, nullptr, nullptr); }},
        {"ScheduleParameters", 0x11,
         [](AudioUnit u) { return AudioUnitScheduleParameters(u, nullptr, 0); }},
        {"RemovePropertyListenerWithUserData", 0x12,
         [](AudioUnit u) {
             return AudioUnitRemovePropertyListenerWithUserData(u, 0, nullptr, nullptr);
         }},
        {"ComplexRender", 0x13,
         [](AudioUnit u) {
             return AudioUnitComplexRender(u, nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr,
                                           nullptr, nullptr);
         }},
        {"Process", 0x14,
         [](AudioUnit u) { return AudioUnitProcess(u, nullptr, nullptr, 0, nullptr); }},
        {"ProcessMultiple", 0x15,
         [](AudioUnit u) {
             return AudioUnitProcessMultiple(u, nullptr, nullptr, 0, 0, nullptr, 0, nullptr);
         }},
        {"MIDIEvent", 0x101, [](AudioUnit u) { return MusicDeviceMIDIEvent(u, 0x90, 1, 2, 0); }},
        {"SysEx", 0x102, [](AudioUnit u) { return MusicDeviceSysEx(u, nullptr, 0); }},
        {"PrepareInstrument", 0x103,
         [](AudioUnit u) { return MusicDevicePrepareInstrument(u, 0); }},
        {"ReleaseInstrument", 0x104,
         [](AudioUnit u) { return MusicDeviceReleaseInstrument(u, 0); }},
        {"StartNote", 0x105,
         [](AudioUnit u) { return MusicDeviceStartNote(u, 0, 0, nullptr, 0, nullptr); }},
        {"StopNote", 0x106, [](AudioUnit u) { return MusicDeviceStopNote(u, 0, 0, 0); }},
        {"OutputUnitStart", 0x201, [](AudioUnit u) { return AudioOutputUnitStart(u); }},
        {"OutputUnitStop", 0x202, [](AudioUnit u) { return AudioOutputUnitStop(u); }},
    };
}

TEST(AudioUnitHostCalls, EachAsksForItsSelectorAndAnswersUnimplementedForNull)
{
    AudioComponent component =
        RegisterTestComponent(0x73656c73, CFSTR("Selectors"), FactoryOf<&sRecorderRecord>);
    AudioUnit unit = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(component, &unit), noErr);

    for (const HostCall& hostCall : AllHostCalls()) {
        sLastSelector = 0;
        EXPECT_EQ(hostCall.call(unit), kAudio_UnimplementedError) << hostCall.name;
        EXPECT_EQ(sLastSelector, hostCall.selector) << hostCall.name;
        sLastSelector = 0;
        EXPECT_EQ(hostCall.call(nullptr), kAudio_ParamError) << hostCall.name;
        EXPECT_EQ(sLastSelector, 0) << hostCall.name;
    }
    EXPECT_EQ(AudioComponentInstanceDispose(unit), noErr);
    EXPECT_EQ(AudioComponentInstanceDispose(unit), kAudio_ParamError);
}

// ---- Render: the method a record answers, with the call's own arguments ----

enum class RenderRecord { kAnswers, kMethodThrows, kLookupThrows };
RenderRecord sRenderRecord = RenderRecord::kAnswers;
using RenderArguments = std::tuple<void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                                   UInt32, UInt32, AudioBufferList*>;
std::vector<RenderArguments> sRenderCalls;

OSStatus RecordedRender(void* self, AudioUnitRenderActionFlags* flags,
                        const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                        AudioBufferList* list)
{
    if (sRenderRecord == RenderRecord::kMethodThrows) {
        throw std::runtime_error("render failed");
    }
    sRenderCalls.emplace_back(self, flags, timeStamp, bus, frames, list);
    return -7;
}

struct RenderLookup {
    static AudioComponentMethod Lookup(SInt16 selector)
    {
        if (selector == kAudioUnitRenderSelect && sRenderRecord == RenderRecord::kLookupThrows) {
            throw std::runtime_error("lookup failed");
        }
        return selector == kAudioUnitRenderSelect
                   ? reinterpret_cast<AudioComponentMethod>(&RecordedRender)
                   : nullptr;
    }
};
AudioComponentPlugInInterface sRenderingRecord{OpenNothing, CloseNothing, RenderLookup::Lookup,
                                               nullptr};

TEST(AudioUnitHostCalls, RenderReachesTheRecordsMethodWithItsArgumentsEveryCall)
{
    const struct {
        RenderRecord record;
        OSStatus expected;
        size_t callsSeen;
    } cases[] = {
        {RenderRecord::kAnswers, -7, 2},
        {RenderRecord::kMethodThrows, kUnknownExceptionStatus, 0},
        {RenderRecord::kLookupThrows, kUnknownExceptionStatus, 0},
    };
    AudioComponent component =
        RegisterTestComponent(0x726e6472, CFSTR("Rendering"), FactoryOf<&sRenderingRecord>);
    for (const auto& c : cases) {
        sRenderRecord = c.record;
        sRenderCalls.clear();
        AudioUnit unit = nullptr;
        ASSERT_EQ(AudioComponentInstanceNew(component, &unit), noErr);
        AudioBufferList lists[2]{};
        const AudioTimeStamp timeStamps[2]{};
        AudioUnitRenderActionFlags flags[2]{};
        std::vector<RenderArguments> expectedCalls;
        for (UInt32 i = 0; i < 2; ++i) {
            EXPECT_EQ(AudioUnitRender(unit, &flags[i], &timeStamps[i], i, 100 + i, &lists[i]),
                      c.expected)
                << int(c.record);
            expectedCalls.emplace_back(&sRenderingRecord, &flags[i], &timeStamps[i], i, 100 + i,
                                       &lists[i]);
        }
        expectedCalls.resize(c.callsSeen);
        EXPECT_EQ(sRenderCalls, expectedCalls) << int(c.record);
        EXPECT_EQ(AudioComponentInstanceDispose(unit), noErr);
    }
}

// ---- Bundles ----

class BundleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sScanErrors = ScanFixtureBundles(); }
    static inline std::string sScanErrors;
};

TEST_F(BundleTest, TestBundleIsFoundOpenedCalledAndDisposed)
{
    AudioComponent component = FindFixture(kTinyUnitSubType);
    ASSERT_NE(component, nullptr) << sScanErrors;
    CFStringRef name = nullptr;
    ASSERT_EQ(AudioComponentCopyName(component, &name), noErr);
    EXPECT_EQ(TextOf(name), "Tests: TinyUnit");
    CFRelease(name);
    UInt32 version = 0;
    ASSERT_EQ(AudioComponentGetVersion(component, &version), noErr);
    EXPECT_EQ(version, kTinyUnitVersion);
    CFStringRef bundle = nullptr;
    ASSERT_EQ(AudioComponentCopyBundlePath(component, &bundle), noErr);
    EXPECT_EQ(TextOf(bundle),
              std::filesystem::canonical(FIXTURE_BUNDLES_DIR "/TinyUnit.component").string());
    CFRelease(bundle);

    AudioUnit unit = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(component, &unit), noErr);
    EXPECT_EQ(AudioComponentInstanceGetComponent(unit), component);

    Float32 samples[8] = {};
    AudioBufferList buffers{1, {{1, sizeof(samples), samples}}};
    AudioTimeStamp timeStamp{};
    AudioUnitRenderActionFlags flags = 0;
    EXPECT_EQ(AudioUnitRender(unit, &flags, &timeStamp, 0, 8, &buffers),
              kAudioUnitErr_Uninitialized);
    EXPECT_EQ(AudioUnitInitialize(unit), noErr);
    EXPECT_EQ(AudioUnitSetParameter(unit, kTinyUnitLevel, 0, 0, 0.5f, 0), noErr);
    EXPECT_EQ(AudioUnitRender(unit, &flags, &timeStamp, 0, 8, &buffers), noErr);
    EXPECT_THAT(samples, ::testing::Each(0.5f));
    EXPECT_EQ(AudioUnitRender(unit, &flags, nullptr, 0, 8, &buffers), kAudio_ParamError);

    EXPECT_EQ(MusicDeviceMIDIEvent(unit, 0x90, 60, 100, 0), noErr);
    Float32 lastNote = 0;
    EXPECT_EQ(AudioUnitGetParameter(unit, kTinyUnitLastNote, 0, 0, &lastNote), noErr);
    EXPECT_EQ(lastNote, 60.0f);
    EXPECT_EQ(AudioUnitGetParameter(unit, 9, 0, 0, &lastNote), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(MusicDeviceStartNote(unit, 0, 0, nullptr, 0, nullptr), kAudio_UnimplementedError);

    EXPECT_EQ(AudioUnitUninitialize(unit), noErr);
    EXPECT_EQ(AudioComponentInstanceDispose(unit), noErr);
}

TEST_F(BundleTest, EachBrokenBundleIsReportedInOneLineAndTheOthersAreStillFound)
{
    const std::vector<std::string> lines = FixtureLines(sScanErrors);
    ASSERT_EQ(lines.size(), 3u) << sScanErrors;
    EXPECT_THAT(lines[0], HasSubstr("AudioComponent: skipping bundle "));
    EXPECT_THAT(lines[0], HasSubstr("BadManifest.component: "));
    EXPECT_THAT(lines[0], HasSubstr("is not a property-list dictionary"));
    EXPECT_THAT(lines[1], HasSubstr("IncompleteEntry.component: an AudioComponents entry has no "
                                    "valid \"subtype\""));
    EXPECT_THAT(lines[2], HasSubstr("MissingLibrary.component: no library "));
    EXPECT_THAT(lines[2], HasSubstr("MissingLibrary.component/Contents/x86_64-linux/"
                                    "MissingLibrary.so"));
    EXPECT_EQ(FindFixture(0x6e6c6962 /* nlib */), nullptr);

    EXPECT_NE(FindFixture(kTinyUnitSubType), nullptr);
    EXPECT_NE(FindFixture(0x6e73796d /* nsym */), nullptr);
    EXPECT_NE(FindFixture(0x6661696c /* fail */), nullptr);
}

TEST_F(BundleTest, RescanKeepsKnownBundlesOnceAndReportsBrokenOnesAgain)
{
    const AudioComponentDescription tiny = FixtureDescription(kTinyUnitSubType);
    AudioComponent before = FindFixture(kTinyUnitSubType);

    EXPECT_EQ(FixtureLines(ScanFixtureBundles()), FixtureLines(sScanErrors));

    EXPECT_EQ(AudioComponentCount(&tiny), 1u);
    EXPECT_EQ(FindFixture(kTinyUnitSubType), before);
}

CFStringRef NewString(const std::string& text)
{
    return CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8);
}

// A bundle opened by its path, as a plug-in of another kind opens the unit inside its own folder:
// found however the path is written, on no search path, once, and opened like any other.
TEST_F(BundleTest, BundleOpenedByItsPathIsReadOnceHoweverThePathIsWritten)
{
    const AudioComponentDescription elsewhere = FixtureDescription(0x656c7377 /* elsw */);
    ASSERT_EQ(AudioComponentFindNext(nullptr, &elsewhere), nullptr) << "on a search path";
    const std::string folder = ELSEWHERE_BUNDLES_DIR;
    AudioComponent found = nullptr;
    for (const std::string& path :
         {folder + "/Elsewhere.component", folder + "/Elsewhere.component/",
          folder + "/../elsewhere/./Elsewhere.component"}) {
        const CFStringRef cfPath = NewString(path);
        AudioComponent component = AudioComponentFindInBundle(cfPath, &elsewhere);
        CFRelease(cfPath);
        ASSERT_NE(component, nullptr) << path;
        if (found == nullptr)
            found = component;
        EXPECT_EQ(component, found) << path;
        EXPECT_EQ(AudioComponentFindInBundle(CFSTR(ELSEWHERE_BUNDLES_DIR "/Elsewhere.component"),
                                             nullptr),
                  found)
            << "any component of the bundle";
    }
    EXPECT_EQ(AudioComponentCount(&elsewhere), 1u);
    EXPECT_EQ(AudioComponentFindNext(nullptr, &elsewhere), found);

    // Another description than the bundle's, or a component of another bundle, is not in it.
    const AudioComponentDescription tiny = FixtureDescription(kTinyUnitSubType);
    EXPECT_EQ(
        AudioComponentFindInBundle(CFSTR(ELSEWHERE_BUNDLES_DIR "/Elsewhere.component"), &tiny),
        nullptr);
    // A bundle also on the search path is the component the search found, not a second one.
    EXPECT_EQ(AudioComponentFindInBundle(CFSTR(FIXTURE_BUNDLES_DIR "/TinyUnit.component"), &tiny),
              FindFixture(kTinyUnitSubType));
    EXPECT_EQ(AudioComponentCount(&tiny), 1u);

    AudioUnit unit = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(found, &unit), noErr);
    EXPECT_EQ(AudioUnitInitialize(unit), noErr);
    EXPECT_EQ(AudioComponentInstanceDispose(unit), noErr);
}

TEST_F(BundleTest, BundlePathThatHoldsNoGoodBundleFindsNothing)
{
    struct Case {
        const char* path;
        const char* reported; // in the one line on standard error, or null for none
    };
    const Case cases[] = {
        {ELSEWHERE_BUNDLES_DIR "/ElsewhereBroken.component", "no library "},
        {ELSEWHERE_BUNDLES_DIR "/Missing.component", "Missing.component: "},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        const CFStringRef path = NewString(c.path);
        OutputCapture errors(OutputCapture::kStderr);
        EXPECT_EQ(AudioComponentFindInBundle(path, nullptr), nullptr) << c.path;
        const std::vector<std::string> lines = Lines(errors.Take());
        CFRelease(path);
        if (c.reported == nullptr) {
            EXPECT_TRUE(lines.empty()) << c.path;
            continue;
        }
        ASSERT_EQ(lines.size(), 1u) << c.path;
        EXPECT_THAT(lines[0], HasSubstr(c.reported));
    }
    EXPECT_EQ(AudioComponentFindInBundle(nullptr, nullptr), nullptr);
}

// Writes a bundle whose manifest lists one component of the fixtures' type and manufacturer.
void WriteBundle(const std::filesystem::path& folder, const std::string& name,
                 const std::string& subtype)
{
    const std::filesystem::path contents = folder / (name + ".component") / "Contents";
    std::filesystem::create_directories(contents / "x86_64-linux");
    std::ofstream(contents / "x86_64-linux" / (name + ".so")) << "never loaded";
    std::ofstream(contents / "Info.plist")
        << "<plist version=\"1.0\"><dict><key>AudioComponents</key><array><dict>"
           "<key>type</key><string>aumu</string><key>subtype</key><string>"
        << subtype << "</string><key>manufacturer</key><string>Tsts</string><key>name</key><string>"
        << name
        << "</string><key>version</key><integer>1</integer><key>factoryFunction</key>"
           "<string>TinyUnitFactory</string></dict></array></dict></plist>";
}

TEST_F(BundleTest, HostileBundleFolderGivesOneLinePerBrokenBundleAndHidesNoGoodOne)
{
    char pattern[] = "/tmp/bundles-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path folder = pattern;
    for (int link = 0; link < 16; ++link) { // dangling links, wherever the listing puts them
        std::filesystem::create_symlink("/nonexistent",
                                        folder / ("Link" + std::to_string(link) + ".component"));
    }
    WriteBundle(folder, "Hostile", "host");
    WriteBundle(folder, "NonAscii", "\xc3\xa9\xc3\xa9"); // two characters in four bytes
    WriteBundle(folder, "FolderManifest", "fldr");
    std::filesystem::remove(folder / "FolderManifest.component/Contents/Info.plist");
    std::filesystem::create_directory(folder / "FolderManifest.component/Contents/Info.plist");
    WriteBundle(folder, "PipeManifest", "pipe");
    std::filesystem::remove(folder / "PipeManifest.component/Contents/Info.plist");
    ASSERT_EQ(mkfifo((folder / "PipeManifest.component/Contents/Info.plist").c_str(), 0600), 0);

    setenv("AUDIO_COMPONENT_PATH", folder.c_str(), 1);
    OutputCapture errors(OutputCapture::kStderr);
    AudioComponentRescanBundles();
    const std::string scanned = errors.Take();
    const AudioComponent hostile = FindFixture(0x686f7374 /* host */);
    ScanFixtureBundles();
    std::filesystem::remove_all(folder);

    EXPECT_NE(hostile, nullptr) << scanned;
    std::vector<std::string> lines;
    for (const std::string& line : Lines(scanned)) {
        if (line.find(folder.string()) != std::string::npos) {
            lines.push_back(line);
        }
    }
    ASSERT_EQ(lines.size(), 3u) << scanned;
    EXPECT_THAT(lines[0], HasSubstr("FolderManifest.component: cannot read "));
    EXPECT_THAT(lines[1], HasSubstr("NonAscii.component: an AudioComponents entry has no valid "
                                    "\"subtype\""));
    EXPECT_THAT(lines[2], HasSubstr("PipeManifest.component: cannot read "));
}

struct BrokenInstance {
    const char* bundle;
    OSType subtype;
    OSStatus status;
    std::vector<std::string> lineParts; // none: the failure writes nothing
};

class BrokenInstanceTest : public BundleTest,
                           public ::testing::WithParamInterface<BrokenInstance> {};

TEST_P(BrokenInstanceTest, FailsTheNewInstanceWithItsStatusAndAtMostOneLine)
{
    AudioComponent component = FindFixture(GetParam().subtype);
    ASSERT_NE(component, nullptr) << sScanErrors;
    AudioUnit unit = nullptr;
    OutputCapture errors(OutputCapture::kStderr);

    EXPECT_EQ(AudioComponentInstanceNew(component, &unit), GetParam().status);

    EXPECT_EQ(unit, nullptr);
    const std::vector<std::string> lines = Lines(errors.Take());
    ASSERT_EQ(lines.size(), GetParam().lineParts.empty() ? 0u : 1u);
    for (const std::string& part : GetParam().lineParts) {
        EXPECT_THAT(lines[0], HasSubstr(part));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bundles, BrokenInstanceTest,
    ::testing::Values(
        BrokenInstance{"MissingSymbol",
                       0x6e73796d /* nsym */,
                       kAudio_UnimplementedError,
                       {"AudioComponent: \"Tests: MissingSymbol\" has no factory function "
                        "TinyUnitAbsentFactory in ",
                        "MissingSymbol.component/Contents/x86_64-linux/MissingSymbol.so"}},
        BrokenInstance{
            "CorruptLibrary",
            0x63727074 /* crpt */,
            kAudio_FileNotFoundError,
            {"AudioComponent: cannot load \"Tests: CorruptLibrary\": ", "CorruptLibrary.so"}},
        // A factory returning no record behaves as one out of memory, silently.
        BrokenInstance{"FailingFactory", 0x6661696c /* fail */, kAudio_MemFullError, {}}),
    [](const ::testing::TestParamInfo<BrokenInstance>& info) { return info.param.bundle; });

TEST_F(BundleTest, ThousandOpenCloseCyclesLeaveNothingBehind)
{
    AudioComponent component = FindFixture(kTinyUnitSubType);
    ASSERT_NE(component, nullptr);
    const CFIndex objectsBefore = CFLiveObjectCount();
    Float32 samples[4] = {};
    AudioBufferList buffers{1, {{1, sizeof(samples), samples}}};
    AudioTimeStamp timeStamp{};

    for (int cycle = 0; cycle < 1000; ++cycle) {
        AudioUnit unit = nullptr;
        ASSERT_EQ(AudioComponentInstanceNew(component, &unit), noErr);
        CFStringRef name = nullptr;
        ASSERT_EQ(AudioComponentCopyName(component, &name), noErr);
        CFRelease(name);
        ASSERT_EQ(AudioUnitInitialize(unit), noErr);
        ASSERT_EQ(AudioUnitRender(unit, nullptr, &timeStamp, 0, 4, &buffers), noErr);
        ASSERT_EQ(AudioComponentInstanceDispose(unit), noErr);
    }

    EXPECT_EQ(CFLiveObjectCount(), objectsBefore);
    EXPECT_FALSE(LeakSanitizerFindsUnreachableBlocks());
}

} // namespace
