// A music device's MIDI through the host calls: which handler each message reaches, packet lists
// and event lengths, SysEx, the instrument count, and the mapping properties with their checks,
// change announcements and learning.
#include "MIDITestUnit.h"

#include "CFLeakCheck.h"
#include "OutputCapture.h"
#include "PropertyChangeLog.h"

#include <CoreMIDI/MIDIServices.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

using namespace midi_test;

namespace {

constexpr UInt32 kRecordSize = sizeof(AUParameterMIDIMapping);

class MIDIBaseTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(mInstance.OpenStatus(), noErr); }

    std::vector<HandlerCall>& Calls() { return mInstance.Object().mCalls; }
    OSStatus Info(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                  UInt32& size, Boolean& writable)
    {
        return AudioUnitGetPropertyInfo(mInstance.Unit(), id, scope, element, &size, &writable);
    }
    AUParameterMIDIMapping HotMap()
    {
        AUParameterMIDIMapping map;
        std::memset(&map, 0xFF, sizeof map);
        UInt32 size = sizeof map;
        EXPECT_EQ(
            AudioUnitGetProperty(mInstance.Unit(), kHotMap, kAudioUnitScope_Global, 0, &map, &size),
            noErr);
        return map;
    }

    MIDITestInstance mInstance;
};

std::string RequireLine(const std::string& condition, const std::string& label)
{
    return "ca_require: " + condition + " " + label + " AUPublic/OtherBases/AUMIDIBase.cpp:";
}

} // namespace

TEST_F(MIDIBaseTest, EachMessageReachesItsHandlerWithChannelDataAndFrame)
{
    using H = Handler;
    struct Case {
        UInt32 status, data1, data2;
        std::vector<HandlerCall> calls;
    } cases[] = {
        {0x93, 60, 100, {{H::kStartNote, 3, 60, 100, 16}}},
        {0x93, 60, 0, {{H::kStopNote, 3, 60, 0, 16}}}, // velocity 0 is a note off
        {0x82, 61, 40, {{H::kStopNote, 2, 61, 0, 16}}},
        {0xA1, 60, 90, {{H::kNonNote, 1, 60, 90, 16}, {H::kPolyPressure, 1, 60, 90, 16}}},
        {0xB4, 7, 100, {{H::kNonNote, 4, 7, 100, 16}, {H::kControlChange, 4, 7, 100, 16}}},
        {0xB5, 120, 0, {{H::kNonNote, 5, 120, 0, 16}, {H::kAllSoundOff, 5, 0, 0, 0}}},
        {0xB5, 121, 0, {{H::kNonNote, 5, 121, 0, 16}, {H::kResetAllControllers, 5, 0, 0, 0}}},
        {0xB5, 123, 0, {{H::kNonNote, 5, 123, 0, 16}, {H::kAllNotesOff, 5, 0, 0, 0}}},
        {0xB5, 122, 9, {{H::kNonNote, 5, 122, 9, 16}, {H::kControlChange, 5, 122, 9, 16}}},
        {0xC2, 5, 0, {{H::kNonNote, 2, 5, 0, 16}, {H::kProgramChange, 2, 5, 0, 0}}},
        {0xD3, 77, 0, {{H::kNonNote, 3, 77, 0, 16}, {H::kChannelPressure, 3, 77, 0, 16}}},
        {0xE4, 0, 64, {{H::kNonNote, 4, 0, 64, 16}, {H::kPitchWheel, 4, 0, 64, 16}}},
        {0xF8, 0, 0, {{H::kNonNote, 8, 0, 0, 16}}}, // a system message reaches no typed handler
        {0x1B3,
         0x160,
         0x27F,
         {{H::kNonNote, 3, 0x60, 0x7F, 16}, {H::kControlChange, 3, 0x60, 0x7F, 16}}},
    };
    for (const Case& c : cases) {
        Calls().clear();
        // The handlers answer -4: their statuses are not passed back.
        EXPECT_EQ(mInstance.Send(c.status, c.data1, c.data2, 16), noErr);
        EXPECT_EQ(Calls(), c.calls) << std::hex << "status 0x" << c.status;
    }
    mInstance.Send(0x9F, 64, 1);
    EXPECT_EQ(mInstance.Object().mLastInstrument, kMusicNoteEvent_UseGroupInstrument);
    EXPECT_EQ(mInstance.Object().mLastNoteIDOut, nullptr);
    EXPECT_EQ(mInstance.Object().mLastArgCount, 2u);
}

TEST_F(MIDIBaseTest, NothingIsHandledBeforeInitialization)
{
    AudioUnitUninitialize(mInstance.Unit());
    const UInt8 sysex[] = {0xF0, 0x7E, 0xF7};
    EXPECT_EQ(mInstance.Send(0x90, 60, 100), kAudioUnitErr_Uninitialized);
    EXPECT_EQ(MusicDeviceSysEx(mInstance.Unit(), sysex, 3), kAudioUnitErr_Uninitialized);
    MIDIPacketList list{};
    MIDIPacketListInit(&list);
    EXPECT_EQ(mInstance.Object().HandleMIDIPacketList(&list), kAudioUnitErr_Uninitialized);
    EXPECT_TRUE(Calls().empty());

    AudioUnitInitialize(mInstance.Unit());
    // Unlike a message's, the SysEx handler's status is passed back.
    EXPECT_EQ(MusicDeviceSysEx(mInstance.Unit(), sysex, 3), kAudio_UnimplementedError);
    EXPECT_EQ(Calls(), (std::vector<HandlerCall>{{Handler::kSysEx, 0, 3, 0xF0, 0}}));
}

TEST_F(MIDIBaseTest, EventsEndWhereTheirKindSays)
{
    struct Case {
        std::vector<Byte> bytes;
        std::vector<size_t> starts;
    } cases[] = {
        {{0xF0, 0x43, 0x10, 0xF7, 0x90, 0x3C, 0x64}, {0, 3, 4}},
        {{0xC0, 5, 0xD0, 9, 0xE0, 1, 2, 0xA0, 1, 2}, {0, 2, 4, 7}},
        {{0xF1, 1, 0xF2, 1, 2, 0xF3, 1, 0xF8, 0xFE, 0xF6}, {0, 2, 5, 7, 8, 9}},
        {{0x3C, 0x64, 0x90, 0x3C}, {0, 2}}, // no running status; a cut-off event ends the list
    };
    for (const Case& c : cases) {
        std::vector<size_t> starts;
        const Byte* begin = c.bytes.data();
        const Byte* end = begin + c.bytes.size();
        for (const Byte* event = begin; event < end; event = AUMIDIBase::NextMIDIEvent(event, end))
            starts.push_back(size_t(event - begin));
        EXPECT_EQ(starts, c.starts);
        EXPECT_EQ(AUMIDIBase::NextMIDIEvent(end, end), end);
    }
}

TEST_F(MIDIBaseTest, APacketListIsHandledEventByEventAtEachPacketsStamp)
{
    Byte storage[1024];
    auto* list = reinterpret_cast<MIDIPacketList*>(storage);
    MIDIPacket* packet = MIDIPacketListInit(list);
    const Byte first[] = {0xF0, 0x43, 0x10, 0xF7, 0x90, 0x3C, 0x64, 0x22};
    const Byte second[] = {0xB1, 0x07};
    packet = MIDIPacketListAdd(list, sizeof storage, packet, 5, sizeof first, first);
    packet = MIDIPacketListAdd(list, sizeof storage, packet, 0x100000009ull, sizeof second, second);
    ASSERT_NE(packet, nullptr);
    ASSERT_EQ(list->numPackets, 2u);

    EXPECT_EQ(mInstance.Object().HandleMIDIPacketList(list), noErr);
    using H = Handler;
    EXPECT_EQ(Calls(), (std::vector<HandlerCall>{{H::kNonNote, 0, 0x43, 0x10, 5},
                                                 {H::kNonNote, 7, 0x90, 0x3C, 5},
                                                 {H::kStartNote, 0, 0x3C, 0x64, 5},
                                                 {H::kNonNote, 1, 7, 0, 9},
                                                 {H::kControlChange, 1, 7, 0, 9}}));
    EXPECT_EQ(mInstance.Object().HandleMIDIPacketList(nullptr), kAudio_ParamError);
}

TEST_F(MIDIBaseTest, MappingPropertiesLiveInTheGlobalScopeElementZeroWithTheirSizes)
{
    mInstance.SetMappings(kAllMaps, {Mapping(0xB0, 1, kLevel), Mapping(0xB0, 2, kDrive)});
    struct Case {
        AudioUnitPropertyID id;
        UInt32 size;
        Boolean writable;
    } cases[] = {{kAllMaps, 2 * kRecordSize, true},
                 {kAddMap, kRecordSize, true},
                 {kRemoveMap, kRecordSize, true},
                 {kHotMap, kRecordSize, true}};
    OutputCapture errors(OutputCapture::kStderr);
    for (const Case& c : cases) {
        UInt32 size = 0;
        Boolean writable = false;
        EXPECT_EQ(Info(c.id, kAudioUnitScope_Global, 0, size, writable), noErr);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(writable, c.writable);

        EXPECT_EQ(Info(c.id, kAudioUnitScope_Input, 0, size, writable), kAudioUnitErr_InvalidScope);
        EXPECT_EQ(errors.Take().rfind(
                      RequireLine("inScope == kAudioUnitScope_Global", "InvalidScope"), 0),
                  0u);
        const AUParameterMIDIMapping map = Mapping(0xB0, 1, kLevel);
        EXPECT_EQ(AudioUnitSetProperty(mInstance.Unit(), c.id, kAudioUnitScope_Global, 1, &map,
                                       sizeof map),
                  kAudioUnitErr_InvalidElement);
        EXPECT_EQ(errors.Take().rfind(RequireLine("inElement == 0", "InvalidElement"), 0), 0u);
    }
    // Adding and removing are write-only.
    AUParameterMIDIMapping map{};
    UInt32 size = sizeof map;
    EXPECT_EQ(
        AudioUnitGetProperty(mInstance.Unit(), kAddMap, kAudioUnitScope_Global, 0, &map, &size),
        kAudioUnitErr_InvalidProperty);
    // The MIDI name document exists only when the unit has one.
    Boolean writable = true;
    EXPECT_EQ(Info(kMusicDeviceProperty_MIDIXMLNames, kAudioUnitScope_Global, 0, size, writable),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(Info(45, kAudioUnitScope_Input, 3, size, writable), kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(errors.Take(), "");
}

TEST_F(MIDIBaseTest, AddingAnnouncesTheListAndRemovingOnlyWhenSomethingWentAway)
{
    PropertyChangeLog log(mInstance.Unit(), {kAllMaps});
    EXPECT_EQ(mInstance.SetMappings(kAddMap, {Mapping(0xB0, 7, kLevel), Mapping(0x90, 60, kDrive)}),
              noErr);
    EXPECT_EQ(mInstance.Mappings().size(), 2u);
    EXPECT_EQ(log.Count(kAllMaps), 1);

    EXPECT_EQ(mInstance.SetMappings(kRemoveMap, {Mapping(0, 0, kBlend)}), noErr);
    EXPECT_EQ(log.Count(kAllMaps), 1);
    EXPECT_EQ(mInstance.SetMappings(kRemoveMap, {Mapping(0, 0, kDrive)}), noErr);
    EXPECT_EQ(log.Count(kAllMaps), 2);
    EXPECT_EQ(mInstance.Mappings().size(), 1u);
}

namespace {

// Replaces its maps once, right after the information has given their size, as another thread
// editing them could between a host's size query and its read.
class MapsChangingUnit : public MIDITestUnit {
public:
    using MIDITestUnit::MIDITestUnit;
    OSStatus GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                             UInt32& size, Boolean& writable) override
    {
        const OSStatus status = MIDITestUnit::GetPropertyInfo(id, scope, element, size, writable);
        if (id == kAllMaps && sNextMaps.has_value()) {
            DelegateSetProperty(kAllMaps, kAudioUnitScope_Global, 0, sNextMaps->data(),
                                UInt32(sNextMaps->size() * kRecordSize));
            sNextMaps.reset();
        }
        return status;
    }
    static inline std::optional<std::vector<AUParameterMIDIMapping>> sNextMaps;
};

const AudioComponentDescription kMapsChangingDesc{0x61756D75 /* aumu */, 0x50636867 /* Pchg */,
                                                  0x506C6E6B /* Plnk */, 0, 0};
const AudioComponent kMapsChangingComponent =
    AudioComponentRegister(&kMapsChangingDesc, CFSTR("Plenko: Changing Maps"), 1,
                           &APFactory<AUMusicLookup, MapsChangingUnit>::Factory);

std::vector<AUParameterMIDIMapping> Maps(int count)
{
    std::vector<AUParameterMIDIMapping> maps;
    for (int i = 0; i < count; ++i)
        maps.push_back(Mapping(0xB0, UInt8(i), AudioUnitParameterID(i)));
    return maps;
}

} // namespace

TEST(MapListRead, AListThatChangesAfterItsSizeWasTakenFillsOnlyTheRoomAndReportsWhatItWrote)
{
    const struct {
        const char* what;
        int mapsBefore;
        int mapsAfter;
        int clientRoom; // records the host's buffer holds
        int mapsRead;
    } cases[] = {{"grows, buffer as large as the list was", 2, 5, 2, 2},
                 {"grows, buffer smaller than the list was", 2, 5, 1, 1},
                 {"shrinks", 3, 1, 3, 1},
                 {"empties, buffer smaller than the list was", 2, 0, 1, 0}};
    for (const auto& c : cases) {
        MIDITestInstance instance(kMapsChangingComponent);
        ASSERT_EQ(instance.OpenStatus(), noErr);
        ASSERT_EQ(instance.SetMappings(kAllMaps, Maps(c.mapsBefore)), noErr);
        MapsChangingUnit::sNextMaps = Maps(c.mapsAfter);

        // The host's records, then bytes that must stay as they are.
        constexpr Byte kUntouched = 0xAB;
        std::vector<Byte> buffer((c.clientRoom + 8) * kRecordSize, kUntouched);
        UInt32 size = c.clientRoom * kRecordSize;
        EXPECT_EQ(AudioUnitGetProperty(instance.Unit(), kAllMaps, kAudioUnitScope_Global, 0,
                                       buffer.data(), &size),
                  noErr)
            << c.what;
        EXPECT_EQ(size, c.mapsRead * kRecordSize) << c.what;
        const std::vector<AUParameterMIDIMapping> expected = Maps(c.mapsAfter);
        const auto* expectedBytes = reinterpret_cast<const Byte*>(expected.data());
        EXPECT_TRUE(
            std::equal(expectedBytes, expectedBytes + c.mapsRead * kRecordSize, buffer.begin()))
            << c.what;
        for (size_t i = c.clientRoom * kRecordSize; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], kUntouched) << c.what << ": byte " << i << " is past the room";
    }
}

TEST_F(MIDIBaseTest, ValuesShortOfARecordAreNeverReadPastTheirEnd)
{
    // Exactly as large as claimed, so that AddressSanitizer sees any byte read beyond.
    std::vector<Byte> oneAndAHalf(kRecordSize + kRecordSize / 2);
    const AUParameterMIDIMapping map = Mapping(0xB0, 7, kLevel);
    std::memcpy(oneAndAHalf.data(), &map, sizeof map);
    auto set = [this](AudioUnitPropertyID id, const std::vector<Byte>& bytes, UInt32 size) {
        return AudioUnitSetProperty(mInstance.Unit(), id, kAudioUnitScope_Global, 0, bytes.data(),
                                    size);
    };
    EXPECT_EQ(set(kAllMaps, oneAndAHalf, UInt32(oneAndAHalf.size())), noErr);
    EXPECT_EQ(mInstance.Mappings().size(), 1u);
    const std::vector<Byte> short31(31);
    EXPECT_EQ(set(kAddMap, short31, 31), noErr);
    EXPECT_EQ(set(kRemoveMap, short31, 31), noErr);
    EXPECT_EQ(mInstance.Mappings().size(), 1u);

    OutputCapture errors(OutputCapture::kStderr);
    EXPECT_EQ(set(kHotMap, short31, 31), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(
        errors.Take().rfind(
            RequireLine("inDataSize >= sizeof(AUParameterMIDIMapping)", "InvalidPropertyValue"), 0),
        0u);
    // Nothing was armed: the learn record is still all zero.
    const AUParameterMIDIMapping held = HotMap();
    const AUParameterMIDIMapping zero{};
    EXPECT_EQ(std::memcmp(&held, &zero, sizeof held), 0);
}

TEST_F(MIDIBaseTest, LearningTakesTheNextChannelMessageAndAnnouncesIt)
{
    PropertyChangeLog log(mInstance.Unit(), {kHotMap});
    const AUParameterMIDIMapping learnTemplate =
        Mapping(0, 0, kLevel, kAUParameterMIDIMapping_SubRange, 0.25f, 0.75f);
    EXPECT_EQ(mInstance.SetMappings(kHotMap, {learnTemplate}), noErr);
    const AUParameterMIDIMapping armed = HotMap();
    EXPECT_EQ(std::memcmp(&armed, &learnTemplate, sizeof armed), 0);
    log.Clear();

    // A clock byte, or a data byte given as a status, leaves learning armed.
    EXPECT_EQ(mInstance.Send(0xF8, 0, 0), noErr);
    EXPECT_EQ(mInstance.Send(0x30, 1, 2), noErr);
    EXPECT_EQ(mInstance.Send(0xB2, 74, 127), noErr);
    EXPECT_EQ(log.Count(kHotMap), 1);
    const AUParameterMIDIMapping captured = HotMap();
    EXPECT_EQ(captured.mStatus, 0xB2);
    EXPECT_EQ(captured.mData1, 74);
    EXPECT_EQ(captured.mSubRangeMax, 0.75f);
    // The capturing message still reaches its handler, but sets no parameter.
    EXPECT_EQ(Calls().back(), (HandlerCall{Handler::kControlChange, 2, 74, 127, 0}));
    EXPECT_TRUE(mInstance.Object().mParameterSets.empty());

    // Learning is over: the next message is matched against the learned map.
    EXPECT_EQ(mInstance.Send(0xB2, 74, 127), noErr);
    EXPECT_EQ(log.Count(kHotMap), 1);
    EXPECT_EQ(mInstance.Parameter(kLevel), 0.75f);
    const std::vector<AUParameterMIDIMapping> maps = mInstance.Mappings();
    ASSERT_EQ(maps.size(), 1u);
    EXPECT_EQ(maps[0].mStatus, 0xB2);
    EXPECT_EQ(maps[0].mParameterID, kLevel);

    // Removing cancels learning, even when it removes nothing.
    EXPECT_EQ(mInstance.SetMappings(kHotMap, {learnTemplate}), noErr);
    EXPECT_EQ(mInstance.SetMappings(kRemoveMap, {Mapping(0, 0, kBlend)}), noErr);
    EXPECT_EQ(mInstance.Send(0xB0, 1, 1), noErr);
    EXPECT_EQ(mInstance.Mappings().size(), 1u);
}

TEST_F(MIDIBaseTest, TheInstrumentCountIsAReadOnlyZeroInTheGlobalScopeOnly)
{
    for (AudioUnitScope scope : {kAudioUnitScope_Global, kAudioUnitScope_Input}) {
        const OSStatus expected = scope == kAudioUnitScope_Global
                                      ? OSStatus(noErr)
                                      : OSStatus(kAudioUnitErr_InvalidScope);
        UInt32 size = 0;
        Boolean writable = true;
        EXPECT_EQ(Info(kMusicDeviceProperty_InstrumentCount, scope, 0, size, writable), expected);
        UInt32 count = 0xFFFFFFFF;
        UInt32 countSize = sizeof count;
        EXPECT_EQ(AudioUnitGetProperty(mInstance.Unit(), kMusicDeviceProperty_InstrumentCount,
                                       scope, 0, &count, &countSize),
                  expected);
        if (expected == noErr) {
            EXPECT_EQ(size, sizeof(UInt32));
            EXPECT_FALSE(writable);
            EXPECT_EQ(count, 0u);
        }
    }
}
