// The saved state through the class-info property: its shape, the round trip of every parameter,
// element name and the preset name (directly and through an XML property list that Python's
// plistlib reads as a host's preset file), the corpus of malformed states, the current preset
// and the helpers for unit classes.
#include "HostedTestUnit.h"

#include "CFLeakCheck.h"
#include "CFOwned.h"
#include "CFText.h"
#include "OutputCapture.h"

#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFNumber.h>
#include <CoreFoundation/CFPropertyList.h>
#include <CoreFoundation/CFURL.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace hosted_test;

namespace {

const std::string kCorpusDir =
    std::string(PLENKO_SOURCE_DIR) + "/tests/AUPublic/PresetState/corpus";

std::string TempPath(const std::string& name)
{
    return testing::TempDir() + "/preset_state_" + std::to_string(getpid()) + "_" + name;
}

int RunCommand(const std::string& command, std::string& output)
{
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    return pclose(pipe);
}

CFDataRef ReadFileData(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    return CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                        CFIndex(bytes.size()));
}

SInt32 NumberValue(CFDictionaryRef dict, CFStringRef key)
{
    SInt32 value = 0x7777;
    auto number = static_cast<CFNumberRef>(CFDictionaryGetValue(dict, key));
    EXPECT_NE(number, nullptr) << TextOf(key);
    if (number != nullptr)
        CFNumberGetValue(number, kCFNumberSInt32Type, &value);
    return value;
}

int sPresetNotifications = 0;

void CountPresetChange(void*, AudioUnit, AudioUnitPropertyID id, AudioUnitScope, AudioUnitElement)
{
    sPresetNotifications += id == kAudioUnitProperty_PresentPreset ? 1 : 0;
}

class PresetStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(mInstance.OpenStatus(), noErr);
        sPresetNotifications = 0;
    }

    AudioUnit Unit() const { return mInstance.Unit(); }
    HostedTestUnit& Object() const { return mInstance.Object(); }

    // +1 dictionary of the unit's saved state.
    CFDictionaryRef Save()
    {
        CFPropertyListRef state = nullptr;
        UInt32 size = sizeof(state);
        EXPECT_EQ(AudioUnitGetProperty(Unit(), kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global,
                                       0, &state, &size),
                  noErr);
        return static_cast<CFDictionaryRef>(state);
    }
    OSStatus Restore(CFPropertyListRef state)
    {
        return AudioUnitSetProperty(Unit(), kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                    &state, sizeof(state));
    }

    // From now on sPresetNotifications counts the unit's present-preset notifications.
    void CountPresetChanges()
    {
        ASSERT_EQ(AudioUnitAddPropertyListener(Unit(), kAudioUnitProperty_PresentPreset,
                                               &CountPresetChange, nullptr),
                  noErr);
    }

    void SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                      Float32 value)
    {
        ASSERT_EQ(AudioUnitSetParameter(Unit(), id, scope, element, value, 0), noErr);
    }
    Float32 Param(AudioUnitParameterID id, AudioUnitScope scope = kAudioUnitScope_Global,
                  AudioUnitElement element = 0)
    {
        Float32 value = -99;
        EXPECT_EQ(AudioUnitGetParameter(Unit(), id, scope, element, &value), noErr);
        return value;
    }
    void SetElementName(AudioUnitScope scope, CFStringRef name)
    {
        ASSERT_EQ(AudioUnitSetProperty(Unit(), kAudioUnitProperty_ElementName, scope, 0, &name,
                                       sizeof(name)),
                  noErr);
    }
    std::string ElementName(AudioUnitScope scope)
    {
        CFStringRef name = nullptr;
        UInt32 size = sizeof(name);
        if (AudioUnitGetProperty(Unit(), kAudioUnitProperty_ElementName, scope, 0, &name, &size) !=
            noErr)
            return "<none>";
        const std::string text = TextOf(name);
        CFRelease(name);
        return text;
    }
    void SetPreset(SInt32 number, CFStringRef name)
    {
        const AUPreset preset{number, name};
        ASSERT_EQ(AudioUnitSetProperty(Unit(), kAudioUnitProperty_PresentPreset,
                                       kAudioUnitScope_Global, 0, &preset, sizeof(preset)),
                  noErr);
    }
    std::pair<SInt32, std::string> Preset()
    {
        AUPreset preset{};
        UInt32 size = sizeof(preset);
        EXPECT_EQ(AudioUnitGetProperty(Unit(), kAudioUnitProperty_PresentPreset,
                                       kAudioUnitScope_Global, 0, &preset, &size),
                  noErr);
        const std::string name = TextOf(preset.presetName);
        if (preset.presetName != nullptr)
            CFRelease(preset.presetName);
        return {preset.presetNumber, name};
    }

    // Every parameter, an element name in each of the four scopes, the preset, and the
    // unit's render quality and CPU load, all from one seed.
    void SetEverything(Float32 seed, const char* suffix)
    {
        for (UInt32 id = 0; id < kGlobalParameters; ++id)
            SetParameter(id, kAudioUnitScope_Global, 0, seed + Float32(id));
        SetParameter(3, kAudioUnitScope_Input, 0, seed * 2);
        SetParameter(10, kAudioUnitScope_Input, 0, seed * 3);
        SetParameter(7, kAudioUnitScope_Output, 0, -seed);
        for (AudioUnitScope scope = 0; scope <= kAudioUnitScope_Group; ++scope) {
            const std::string text = "scope " + std::to_string(scope) + suffix;
            CFOwned<CFStringRef> name(
                CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8));
            SetElementName(scope, name.get());
        }
        const std::string presetText = std::string("Preset") + suffix;
        CFOwned<CFStringRef> presetName(
            CFStringCreateWithCString(nullptr, presetText.c_str(), kCFStringEncodingUTF8));
        SetPreset(-1, presetName.get());
        Object().mRenderQuality = UInt32(seed * 10);
        Object().mCPULoad = seed / 4;
    }
    void ExpectEverything(Float32 seed, const char* suffix)
    {
        for (UInt32 id = 0; id < kGlobalParameters; ++id)
            EXPECT_EQ(Param(id), seed + Float32(id)) << "global parameter " << id;
        EXPECT_EQ(Param(3, kAudioUnitScope_Input), seed * 2);
        EXPECT_EQ(Param(10, kAudioUnitScope_Input), seed * 3);
        EXPECT_EQ(Param(7, kAudioUnitScope_Output), -seed);
        for (AudioUnitScope scope = 0; scope <= kAudioUnitScope_Group; ++scope)
            EXPECT_EQ(ElementName(scope), "scope " + std::to_string(scope) + suffix);
        EXPECT_EQ(Preset(), std::make_pair(SInt32(-1), std::string("Preset") + suffix));
        EXPECT_EQ(Object().mRenderQuality, UInt32(seed * 10));
        EXPECT_EQ(Object().mCPULoad, seed / 4);
    }

    HostedInstance mInstance;
};

} // namespace

TEST_F(PresetStateTest, SaveWritesTheFixedKeysAndABigEndianRecord)
{
    SetParameter(0, kAudioUnitScope_Global, 0, 1.0f);
    SetParameter(5, kAudioUnitScope_Global, 0, -2.5f);
    CFOwned<CFDictionaryRef> state(Save());
    ASSERT_NE(state.get(), nullptr);

    EXPECT_EQ(NumberValue(state.get(), CFSTR("version")), 0);
    EXPECT_EQ(NumberValue(state.get(), CFSTR("type")), SInt32(kBaseUnitDesc.componentType));
    EXPECT_EQ(NumberValue(state.get(), CFSTR("subtype")), SInt32(kBaseUnitDesc.componentSubType));
    EXPECT_EQ(NumberValue(state.get(), CFSTR("manufacturer")),
              SInt32(kBaseUnitDesc.componentManufacturer));
    EXPECT_TRUE(CFEqual(CFDictionaryGetValue(state.get(), CFSTR("name")), CFSTR("Untitled")));
    EXPECT_FALSE(CFDictionaryContainsKey(state.get(), CFSTR("render-quality")));
    EXPECT_FALSE(CFDictionaryContainsKey(state.get(), CFSTR("cpu-load")));
    EXPECT_FALSE(CFDictionaryContainsKey(state.get(), CFSTR("element-name")));

    // Only the six global parameters: scope 0, element 0, count 6, then the pairs.
    auto data = static_cast<CFDataRef>(CFDictionaryGetValue(state.get(), CFSTR("data")));
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(CFDataGetLength(data), 60);
    const std::vector<UInt8> bytes(CFDataGetBytePtr(data), CFDataGetBytePtr(data) + 60);
    const std::vector<UInt8> header{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 6};
    EXPECT_EQ(std::vector<UInt8>(bytes.begin(), bytes.begin() + 12), header);
    const std::vector<UInt8> first{0, 0, 0, 0, 0x3F, 0x80, 0, 0};
    EXPECT_EQ(std::vector<UInt8>(bytes.begin() + 12, bytes.begin() + 20), first);
    const std::vector<UInt8> last{0, 0, 0, 5, 0xC0, 0x20, 0, 0};
    EXPECT_EQ(std::vector<UInt8>(bytes.begin() + 52, bytes.end()), last);
}

TEST_F(PresetStateTest, RestoreBringsBackEveryParameterNameAndThePresetName)
{
    Object().mOffersQualityAndLoad = true;
    SetEverything(0.5f, " saved");
    CFOwned<CFDictionaryRef> state(Save());
    ASSERT_TRUE(CFDictionaryContainsKey(state.get(), CFSTR("render-quality")));
    ASSERT_TRUE(CFDictionaryContainsKey(state.get(), CFSTR("element-name")));

    SetEverything(4.0f, " changed");
    CountPresetChanges();
    EXPECT_EQ(Restore(state.get()), noErr);
    ExpectEverything(0.5f, " saved");
    EXPECT_EQ(sPresetNotifications, 1);
}

TEST_F(PresetStateTest, RestoreFromTheXMLAHostWritesAndPythonReads)
{
    Object().mOffersQualityAndLoad = true;
    SetEverything(0.75f, " file");
    CFOwned<CFDictionaryRef> state(Save());
    CFOwned<CFDataRef> xml(
        CFPropertyListCreateData(nullptr, state.get(), kCFPropertyListXMLFormat_v1_0, 0, nullptr));
    ASSERT_NE(xml.get(), nullptr);

    const std::string presetPath = TempPath("state.aupreset");
    FILE* file = fopen(presetPath.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    fwrite(CFDataGetBytePtr(xml.get()), 1, size_t(CFDataGetLength(xml.get())), file);
    fclose(file);

    // A host reads the same file: the keys, the codes, the names and the record.
    const std::string scriptPath = TempPath("check_preset.py");
    std::ofstream(scriptPath) << R"(import plistlib, struct, sys
with open(sys.argv[1], 'rb') as f:
    state = plistlib.load(f)
def code(text):
    value = struct.unpack('>i', text.encode())[0]
    return value
assert state['version'] == 0, state['version']
assert state['type'] == code('aumu'), state['type']
assert state['subtype'] == code('Prop'), state['subtype']
assert state['manufacturer'] == code('Plnk'), state['manufacturer']
assert state['name'] == 'Preset file', state['name']
assert state['render-quality'] == 7, state['render-quality']
assert abs(state['cpu-load'] - 0.1875) < 1e-6, state['cpu-load']
assert state['element-name'] == {'0': {'0': 'scope 0 file'}, '1': {'0': 'scope 1 file'},
                                 '2': {'0': 'scope 2 file'}, '3': {'0': 'scope 3 file'}}, \
    state['element-name']
data, entries, pos = state['data'], [], 0
while pos < len(data):
    scope, element, count = struct.unpack_from('>III', data, pos)
    pos += 12
    pairs = [struct.unpack_from('>If', data, pos + 8 * i) for i in range(count)]
    pos += 8 * count
    entries.append((scope, element, pairs))
assert pos == len(data)
assert entries == [(0, 0, [(i, 0.75 + i) for i in range(6)]),
                   (1, 0, [(3, 1.5), (10, 2.25)]),
                   (2, 0, [(7, -0.75)])], entries
print('the preset file holds the state')
)";
    std::string output;
    EXPECT_EQ(RunCommand("python3 '" + scriptPath + "' '" + presetPath + "'", output), 0) << output;
    EXPECT_NE(output.find("the preset file holds the state"), std::string::npos) << output;

    SetEverything(2.0f, " changed");
    CFOwned<CFDataRef> read(ReadFileData(presetPath));
    CFOwned<CFPropertyListRef> parsed(CFPropertyListCreateWithData(
        nullptr, read.get(), kCFPropertyListImmutable, nullptr, nullptr));
    ASSERT_NE(parsed.get(), nullptr);
    EXPECT_EQ(Restore(parsed.get()), noErr);
    ExpectEverything(0.75f, " file");
    std::remove(presetPath.c_str());
    std::remove(scriptPath.c_str());
}

TEST_F(PresetStateTest, RestoreAfterAnUninitializedUnitKeepsItsStateAndAnInitializedOneItsShape)
{
    SetParameter(3, kAudioUnitScope_Output, 0, 1.0f);
    CFOwned<CFDictionaryRef> state(Save());
    CFOwned<CFMutableDictionaryRef> noName(CFDictionaryCreateMutableCopy(nullptr, 0, state.get()));
    CFDictionaryRemoveValue(noName.get(), CFSTR("name"));

    HostedInstance other;
    ASSERT_EQ(AudioUnitInitialize(other.Unit()), noErr);
    CFPropertyListRef plist = noName.get();
    OutputCapture errors(OutputCapture::kStderr);
    EXPECT_EQ(AudioUnitSetProperty(other.Unit(), kAudioUnitProperty_ClassInfo,
                                   kAudioUnitScope_Global, 0, &plist, sizeof(plist)),
              noErr);
    // An initialized unit does not grow new parameters from a saved state.
    EXPECT_NE(errors.Take().find("SetParameter for undefined param ID 3 while initialized"),
              std::string::npos);
    Float32 value = 0;
    EXPECT_EQ(AudioUnitGetParameter(other.Unit(), 3, kAudioUnitScope_Output, 0, &value),
              kAudioUnitErr_InvalidParameter);
    AUPreset preset{};
    UInt32 size = sizeof(preset);
    ASSERT_EQ(AudioUnitGetProperty(other.Unit(), kAudioUnitProperty_PresentPreset,
                                   kAudioUnitScope_Global, 0, &preset, &size),
              noErr);
    EXPECT_EQ(preset.presetNumber, -1);
    EXPECT_TRUE(CFEqual(preset.presetName, CFSTR("Untitled")));
    CFRelease(preset.presetName);
}

namespace {

struct CorpusCase {
    const char* file;
    OSStatus status;
    // What the unit holds afterwards.
    Float32 param0;
    Float32 param1;
    SInt32 presetNumber;
    const char* presetName;
};

constexpr Float32 kBefore = 0.125f;

// Nothing changed (a record that fails part-way is not applied in part), or a restore that
// completed with the given name.
constexpr CorpusCase Unchanged(const char* file,
                               OSStatus status = kAudioUnitErr_InvalidPropertyValue)
{
    return {file, status, kBefore, kBefore, -2, "Before"};
}
constexpr CorpusCase Restored(const char* file, const char* name = "Corpus")
{
    return {file, noErr, 0.5f, 0.25f, -1, name};
}

const CorpusCase kCorpus[] = {
    Unchanged("not-a-dictionary"),
    Unchanged("part-present"),
    Unchanged("version-missing"),
    Unchanged("version-one"),
    Unchanged("version-string"),
    Unchanged("version-fraction"),
    Unchanged("subtype-missing"),
    Unchanged("subtype-string"),
    Unchanged("subtype-foreign"),
    Unchanged("manufacturer-missing"),
    Unchanged("manufacturer-foreign"),
    Unchanged("manufacturer-data"),
    Unchanged("data-string"),
    Unchanged("data-dictionary"),
    Unchanged("data-truncated-pairs"),
    Unchanged("data-huge-count"),
    Unchanged("data-truncated-header"),
    Unchanged("data-truncated-last-pair"),
    Unchanged("data-unknown-scope", kAudioUnitErr_InvalidScope),
    Unchanged("data-parameter-beyond-element", kAudioUnitErr_InvalidParameter),
    Restored("data-missing-element-skipped"),
    {"data-empty", noErr, kBefore, kBefore, -1, "Corpus"},
    Restored("name-number", "Untitled"),
    Restored("render-quality-string"),
    Restored("cpu-load-data"),
    Restored("element-name-array"),
    Restored("element-name-wrong-entries"),
    Restored("type-foreign"),
};

class CorpusTest : public PresetStateTest, public ::testing::WithParamInterface<CorpusCase> {};

std::string CaseName(const ::testing::TestParamInfo<CorpusCase>& info)
{
    std::string name = info.param.file;
    for (char& c : name)
        if (c == '-')
            c = '_';
    return name;
}

} // namespace

TEST_P(CorpusTest, EachMalformedStateGetsItsStatusAndKeepsWhatItMust)
{
    const CorpusCase& c = GetParam();
    for (UInt32 id = 0; id < kGlobalParameters; ++id)
        SetParameter(id, kAudioUnitScope_Global, 0, kBefore);
    SetPreset(-2, CFSTR("Before"));
    Object().mOffersQualityAndLoad = true;
    Object().mRenderQuality = 33;

    CFOwned<CFDataRef> bytes(ReadFileData(kCorpusDir + "/" + c.file + ".plist"));
    ASSERT_GT(CFDataGetLength(bytes.get()), 0) << c.file;
    CFOwned<CFPropertyListRef> state(CFPropertyListCreateWithData(
        nullptr, bytes.get(), kCFPropertyListImmutable, nullptr, nullptr));
    ASSERT_NE(state.get(), nullptr) << c.file << " is not a property list";

    EXPECT_EQ(Restore(state.get()), c.status);
    EXPECT_EQ(Param(0), c.param0);
    EXPECT_EQ(Param(1), c.param1);
    EXPECT_EQ(Param(2), kBefore) << "no parameter beyond the record's complete entries";
    EXPECT_EQ(Preset(), std::make_pair(c.presetNumber, std::string(c.presetName)));
    EXPECT_EQ(Object().mRenderQuality, 33u) << "a quality that is not a number is ignored";
    EXPECT_EQ(ElementName(kAudioUnitScope_Input), "<none>");
    EXPECT_EQ(ElementName(kAudioUnitScope_Output), "<none>");
    EXPECT_EQ(ElementName(kAudioUnitScope_Group),
              std::string(c.file) == "element-name-wrong-entries" ? "Group name" : "<none>");
}

INSTANTIATE_TEST_SUITE_P(MalformedStates, CorpusTest, ::testing::ValuesIn(kCorpus), CaseName);

TEST(Corpus, EveryFileHasAnExpectation)
{
    std::set<std::string> expected;
    for (const CorpusCase& c : kCorpus)
        expected.insert(std::string(c.file) + ".plist");
    std::set<std::string> found;
    DIR* dir = opendir(kCorpusDir.c_str());
    ASSERT_NE(dir, nullptr);
    while (dirent* entry = readdir(dir))
        if (std::string(entry->d_name).find(".plist") != std::string::npos)
            found.insert(entry->d_name);
    closedir(dir);
    EXPECT_EQ(found, expected);
}

TEST_F(PresetStateTest, RefusedStateChangesNothingAndTellsNoOne)
{
    CFOwned<CFDictionaryRef> saved(Save());
    CFOwned<CFMutableDictionaryRef> state(CFDictionaryCreateMutableCopy(nullptr, 0, saved.get()));
    const SInt32 one = 1;
    CFOwned<CFNumberRef> version(CFNumberCreate(nullptr, kCFNumberSInt32Type, &one));
    CFDictionarySetValue(state.get(), CFSTR("version"), version.get());

    SetEverything(0.5f, " kept");
    CountPresetChanges();
    EXPECT_EQ(Restore(state.get()), kAudioUnitErr_InvalidPropertyValue);
    ExpectEverything(0.5f, " kept");
    EXPECT_EQ(sPresetNotifications, 0);
}

TEST_F(PresetStateTest, FactoryPresetHelperAcceptsOnlyNamedFactoryPresets)
{
    EXPECT_TRUE(Object().SetAFactoryPresetAsCurrent(AUPreset{2, CFSTR("Two")}));
    EXPECT_EQ(Preset(), std::make_pair(SInt32(2), std::string("Two")));
    EXPECT_FALSE(Object().SetAFactoryPresetAsCurrent(AUPreset{-1, CFSTR("User")}));
    EXPECT_FALSE(Object().SetAFactoryPresetAsCurrent(AUPreset{4, nullptr}));
    EXPECT_EQ(Preset(), std::make_pair(SInt32(2), std::string("Two")));
}

TEST(PresetStateHelpers, FileReferencesAreFoundOnlyWhereTheyAre)
{
    CFOwned<CFMutableDictionaryRef> refs(
        AUBase::CreateFileRefDict(CFSTR("sample"), CFSTR("/tmp/a.wav"), nullptr));
    EXPECT_EQ(AUBase::CreateFileRefDict(CFSTR("other"), CFSTR("/tmp/b.wav"), refs.get()),
              refs.get());
    CFOwned<CFMutableDictionaryRef> state(CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFStringRef path = nullptr;
    EXPECT_EQ(AUBase::GetFileRefPath(state.get(), CFSTR("sample"), &path),
              kAudioUnitErr_InvalidPropertyValue);

    CFDictionarySetValue(state.get(), CFSTR("file-references"), refs.get());
    EXPECT_EQ(AUBase::GetFileRefPath(state.get(), CFSTR("sample"), &path), noErr);
    EXPECT_TRUE(CFEqual(path, CFSTR("/tmp/a.wav")));
    EXPECT_EQ(AUBase::GetFileRefPath(state.get(), CFSTR("other"), nullptr), noErr);
    EXPECT_EQ(AUBase::GetFileRefPath(state.get(), CFSTR("missing"), &path),
              kAudioUnitErr_InvalidPropertyValue);

    // A state from outside may hold anything under the key.
    CFDictionarySetValue(state.get(), CFSTR("file-references"), CFSTR("not a dictionary"));
    EXPECT_EQ(AUBase::GetFileRefPath(state.get(), CFSTR("sample"), &path),
              kAudioUnitErr_InvalidPropertyValue);
}

TEST(PresetStateHelpers, AccessURLAssetMapsTheSystemsAnswers)
{
    const std::string path = TempPath("asset.txt");
    std::ofstream(path) << "x";
    auto check = [](const std::string& p, int mode) {
        CFOwned<CFStringRef> text(
            CFStringCreateWithCString(nullptr, p.c_str(), kCFStringEncodingUTF8));
        CFOwned<CFURLRef> url(
            CFURLCreateWithFileSystemPath(nullptr, text.get(), kCFURLPOSIXPathStyle, false));
        return AUBase::AccessURLAsset(url.get(), mode);
    };
    EXPECT_EQ(check(path, R_OK), noErr);
    EXPECT_EQ(check(path + ".missing", R_OK), -43);
    EXPECT_EQ(check(path + "/below-a-file", R_OK), -43);
    // No execute bit: refused even to the superuser.
    EXPECT_EQ(check(path, X_OK), -54);
    std::remove(path.c_str());
}

TEST(PresetStateHelpers, ParameterEventsPrintInTheirTwoShapes)
{
    FILE* file = tmpfile();
    ASSERT_NE(file, nullptr);
    AudioUnitParameterEvent ramp{};
    ramp.scope = 0;
    ramp.element = 1;
    ramp.parameter = 4;
    ramp.eventType = kParameterEvent_Ramped;
    ramp.eventValues.ramp = {-20, 100, 0.0f, 1.0f};
    AUBase::PrintAUParamEvent(ramp, file);
    AudioUnitParameterEvent immediate{};
    immediate.parameter = 2;
    immediate.eventType = kParameterEvent_Immediate;
    immediate.eventValues.immediate = {16, 0.5f};
    AUBase::PrintAUParamEvent(immediate, file);
    rewind(file);
    std::string text;
    char buffer[256];
    while (fgets(buffer, sizeof(buffer), file) != nullptr)
        text += buffer;
    fclose(file);
    EXPECT_EQ(text, "\tParamID=4,Scope=0,Element=1\n"
                    "\tEvent Type:ramp,start=-20,dur=100,startValue=0.000000,endValue=1.000000\n"
                    "- - - - - - - - - - - - - - - -\n"
                    "\tParamID=2,Scope=0,Element=0\n"
                    "\tEvent Type:immediate,start=16,value=0.500000\n"
                    "- - - - - - - - - - - - - - - -\n");
}
