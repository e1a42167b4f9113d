// The five parameters as the host sees them: infos, value strings, the choice of destination and
// the bank and program messages they queue, with stored values of any float.
#include "PlenkoOutUnit.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr Float32 kNaN = std::numeric_limits<Float32>::quiet_NaN();
constexpr Float32 kInfinity = std::numeric_limits<Float32>::infinity();

} // namespace

TEST(PlenkoOutParameters, DescribeThemselvesInTheGlobalScopeOnly)
{
    const std::pair<const char*, Float32> cases[] = {{"TX Device", 3},
                                                     {"TX Channel", 16},
                                                     {"Prg Change", 128},
                                                     {"Bank Select MSB", 128},
                                                     {"Bank Select LSB", 128}};
    PlenkoOutRig rig(3);
    for (AudioUnitParameterID id = 0; id < 5; ++id) {
        AudioUnitParameterInfo info{};
        ASSERT_EQ(rig.Unit().ParameterInfo(id, info), noErr);
        EXPECT_STREQ(info.name, cases[id].first);
        EXPECT_EQ(TextOf(info.cfNameString), cases[id].first);
        EXPECT_EQ(info.flags, kAudioUnitParameterFlag_IsReadable |
                                  kAudioUnitParameterFlag_IsWritable |
                                  kAudioUnitParameterFlag_HasCFNameString);
        EXPECT_EQ(info.unit, kAudioUnitParameterUnit_Indexed);
        EXPECT_EQ(std::make_tuple(info.minValue, info.maxValue, info.defaultValue),
                  std::make_tuple(0.0f, cases[id].second, 0.0f));
        EXPECT_EQ(rig.Unit().Parameter(id), 0);
    }
    AudioUnitParameterInfo info{};
    std::vector<std::string> strings;
    EXPECT_EQ(rig.Unit().ParameterInfo(kTXChannel, info, kAudioUnitScope_Input),
              kAudioUnitErr_InvalidScope);
    EXPECT_EQ(rig.Unit().ParameterInfo(5, info), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(rig.Unit().ValueStrings(kTXChannel, strings, kAudioUnitScope_Input),
              kAudioUnitErr_InvalidParameter);
}

TEST(PlenkoOutParameters, ValueStringsNameEveryValue)
{
    struct Case {
        AudioUnitParameterID id;
        size_t count;
        std::vector<std::pair<size_t, std::string>> entries;
    };
    const Case cases[] = {
        {kTXDevice, 3, {{0, "--"}, {1, "Synth 1"}, {2, "Synth 2"}}},
        {kTXChannel, 17, {{0, "RX Channel"}, {1, "1"}, {16, "16"}}},
        {kPrgChange, 129, {{0, "--"}, {1, "000 (A 1-1)"}, {9, "008 (A 2-1)"}, {64, "063 (A 8-8)"}}},
        {kBankMSB, 129, {{65, "064 (B 1-1)"}, {128, "127 (B 8-8)"}}},
        {kBankLSB, 129, {{1, "000 (A 1-1)"}}}};
    PlenkoOutRig rig(2);
    for (const Case& c : cases) {
        std::vector<std::string> strings;
        ASSERT_EQ(rig.Unit().ValueStrings(c.id, strings), noErr);
        ASSERT_EQ(strings.size(), c.count) << c.id;
        for (const auto& [index, text] : c.entries)
            EXPECT_EQ(strings[index], text);
    }
}

TEST(PlenkoOutParameters, WithoutDestinationsNoneCanBeChosen)
{
    PlenkoOutRig rig(0);
    std::vector<std::string> strings;
    ASSERT_EQ(rig.Unit().ValueStrings(kTXDevice, strings), noErr);
    EXPECT_EQ(strings, std::vector<std::string>{"!! NO MIDI OUTPUT DEVICE FOUND !!"});
    AudioUnitParameterInfo info{};
    ASSERT_EQ(rig.Unit().ParameterInfo(kTXDevice, info), noErr);
    EXPECT_EQ(info.maxValue, 0);
    EXPECT_EQ(StdoutOf([&] { rig.Unit().SetParameter(kTXDevice, 1); }),
              "PlenkoOut::updateDestinationPort(): start..."
              "PlenkoOut::updateDestinationPort(): port not opened (yet): return\n");
}

// However many destinations there are, each is named and can be chosen.
TEST(PlenkoOutParameters, NamesEveryOneOfManyDestinations)
{
    constexpr size_t kDestinations = 300;
    PlenkoOutRig rig(kDestinations);
    std::vector<std::string> strings;
    ASSERT_EQ(rig.Unit().ValueStrings(kTXDevice, strings), noErr);
    ASSERT_EQ(strings.size(), kDestinations + 1);
    for (size_t i = 1; i <= kDestinations; ++i)
        ASSERT_EQ(strings[i], "Synth " + std::to_string(i));
    rig.Choose(kDestinations - 1);
    rig.Unit().MIDI(0x90, 1, 2);
    rig.Unit().Render();
    EXPECT_EQ(rig.Destination(kDestinations - 1).WaitFor(1).size(), 1u);
}

// "TX Device" v sends to destination v - 1 of the current list: to the first one when v is
// beyond the list (which may have shortened since the unit was made) or no number at all, and to
// none for 0, when MIDI is dropped unlogged.
TEST(PlenkoOutParameters, TXDeviceChoosesTheDestinationByIndex)
{
    struct Case {
        Float32 device;
        bool secondGone;
        int receiver; // -1: none
        const char* log;
    };
    const Case cases[] = {
        {3, false, 2, " open port with index = 2 done.\n"},
        {2.9f, false, 1, " open port with index = 1 done.\n"},
        {3, true, 0, " open port with index = 2 done.\n"},
        {7, false, 0, " open port with index = 6 done.\n"},
        {kNaN, false, 0, " open port with index = 4294967295 done.\n"},
        {-1, false, 0, " open port with index = 4294967295 done.\n"},
        {0, false, -1, "NO MIDI DESTINATION PORT SET. done.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        PlenkoOutRig rig(3);
        if (c.secondGone)
            rig.DisposeDestination(1);
        EXPECT_EQ(StdoutOf([&] { rig.Unit().SetParameter(kTXDevice, c.device); }),
                  std::string("PlenkoOut::updateDestinationPort(): start...") + c.log);
        const std::string sent = StdoutOf([&] {
            rig.Unit().MIDI(0x90, 60, 1);
            rig.Unit().Render();
        });
        for (int i = 0; i < 3; ++i) {
            if (i != 1 || !c.secondGone) {
                EXPECT_EQ(rig.Destination(i).Settled().size(), i == c.receiver ? 1u : 0u) << i;
            }
        }
        EXPECT_EQ(sent.find("AddMIDIEvent") != std::string::npos, c.receiver >= 0) << sent;
    }
}

// Bank MSB, bank LSB and program, in that order and behind what waits, on a fixed TX channel
// only; each value 1 to 128 sends value - 1, anything else nothing. Messages of one stamp share
// a packet.
TEST(PlenkoOutParameters, BankAndProgramGoOutInOrderOnAFixedChannel)
{
    struct Case {
        const char* name;
        Float32 channel, msb, lsb, program;
        AudioUnitParameterID setLast;
        std::vector<Bytes> expected;
    };
    const Case cases[] = {
        {"received channel", 0, 1, 1, 5, kPrgChange, {}},
        {"msb and program", 2, 1, 0, 11, kPrgChange, {{0xB1, 0, 0, 0xC1, 10}}},
        {"lsb set alone sends all three",
         16,
         128,
         3,
         1,
         kBankLSB,
         {{0xBF, 0, 127, 0xBF, 32, 2, 0xCF, 0}}},
        {"out of range values", 1, 129, kInfinity, kNaN, kBankMSB, {}},
        {"fractions truncate", 1.9f, 0, 0, 2.99f, kPrgChange, {{0xC0, 1}}},
        {"channel beyond 16 keeps the received one", 17, 0, 0, 3, kPrgChange, {{0xC0, 2}}},
        {"channel beyond 16 bits", 65536, 0, 0, 3, kPrgChange, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlenkoOutRig rig(1);
        HostedUnit& unit = rig.Unit();
        unit.SetParameter(kTXChannel, c.channel);
        // Stored with no destination chosen, so nothing is queued but by the last set.
        const std::pair<AudioUnitParameterID, Float32> values[] = {
            {kBankMSB, c.msb}, {kBankLSB, c.lsb}, {kPrgChange, c.program}};
        for (const auto& [id, value] : values)
            unit.SetParameter(id, value);
        rig.Choose(0);
        unit.SetParameter(c.setLast, unit.Parameter(c.setLast));
        unit.Render();
        EXPECT_EQ(BytesOf(rig.Destination(0).Settled()), c.expected);
    }
}
