#include "CatchAsStatus.h"
#include "InstrumentFixture.h"
#include "MidiControls.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

namespace {

using namespace instrument_test;

// A group of an instrument without a note pool, playing notes A and B (ids 60, 61) and C.
class GroupTest : public ::testing::Test {
protected:
    GroupTest()
    {
        for (TestNote& note : mNotes)
            note.mLog = &mLog;
    }
    void On(size_t note, UInt32 frame)
    {
        mUnit->IncNumActiveNotes();
        ASSERT_TRUE(mGroup->NoteOn(&mNotes[note], mUnit->GetPartElement(0),
                                   NoteInstanceID(60 + note), frame, NoteParams(60)));
    }
    // The list that holds the note, or -1.
    int ListOf(const TestNote& note)
    {
        for (UInt32 state = 0; state < kNumberOfSoundingNoteStates; ++state)
            for (SynthNote* n = mGroup->NoteList(SynthNoteState(state)).First(); n != nullptr;
                 n = n->ListNext())
                if (n == &note)
                    return int(state);
        return -1;
    }
    std::vector<std::pair<NoteCallKind, UInt64>> CallsOf(const TestNote& note) const
    {
        std::vector<std::pair<NoteCallKind, UInt64>> calls;
        for (const NoteCall& call : mLog)
            if (call.note == &note)
                calls.emplace_back(call.kind, call.frame);
        return calls;
    }
    MidiControls& Controls()
    {
        return *static_cast<MidiControls*>(mGroup->GetMIDIControlHandler());
    }

    std::unique_ptr<TestInstrument> mUnit = MakeInitialized(std::make_unique<TestInstrument>(0, 0));
    SynthGroupElement* mGroup = mUnit->GetElForGroupID(0);
    TestNote mNotes[3];
    NoteCallLog mLog;
};

TEST_F(GroupTest, NotesMoveBetweenTheListsOfTheirStatesAsKeysAndPedalsSay)
{
    enum Op { OnA, OnB, OffA, OffB, SusOn, SusOff, SosOn, SosOff, AllNotesOff, AllSoundOff };
    using K = NoteCallKind;
    using Calls = std::vector<std::pair<NoteCallKind, UInt64>>;
    struct Case {
        const char* name;
        std::vector<Op> steps; // step i acts at frame 10 (i + 1)
        int stateA, stateB;    // the list that holds the note, -1 for none
        Calls callsA, callsB;
        UInt32 active;
    };
    // clang-format off
    const Case cases[] = {
        {"a note off releases; a second does nothing", {OnA, OffA, OffA},
         4, -1, {{K::Start, 10}, {K::Release, 20}}, {}, 1},
        {"sustain holds a released key", {SusOn, OnA, OffA},
         3, -1, {{K::Start, 20}}, {}, 1},
        {"lifting sustain releases what it held", {SusOn, SusOn, OnA, OffA, SusOff},
         4, -1, {{K::Start, 30}, {K::Release, 50}}, {}, 1},
        {"sostenuto holds only the keys already down", {OnA, SosOn, OnB, OffA, OffB},
         2, 4, {{K::Start, 10}}, {{K::Start, 30}, {K::Release, 50}}, 2},
        {"sostenuto lifted under sustain hands over to sustain", {OnA, SosOn, SusOn, OffA, SosOff},
         3, -1, {{K::Start, 10}}, {}, 1},
        {"sostenuto lifted alone releases", {OnA, SosOn, OffA, SosOff},
         4, -1, {{K::Start, 10}, {K::Release, 40}}, {}, 1},
        {"sostenuto lifted with the key down holds it", {OnA, SosOn, SosOff},
         0, -1, {{K::Start, 10}}, {}, 1},
        {"all notes off releases under sustain and sostenuto", {SusOn, OnA, SosOn, OnB, AllNotesOff},
         2, 4, {{K::Start, 20}, {K::Release, 50}}, {{K::Start, 40}, {K::Release, 50}}, 2},
        {"all sound off cuts every active note short", {OnA, OnB, OffB, AllSoundOff},
         5, 5, {{K::Start, 10}, {K::FastRelease, 40}},
         {{K::Start, 20}, {K::Release, 30}, {K::FastRelease, 40}}, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mUnit = MakeInitialized(std::make_unique<TestInstrument>(0, 0));
        mGroup = mUnit->GetElForGroupID(0);
        mLog.clear();
        UInt32 frame = 0;
        for (Op op : c.steps) {
            // clang-format off
            const std::function<void()> actions[] = {
                [&] { On(0, frame); }, [&] { On(1, frame); },
                [&] { mGroup->NoteOff(60, frame); }, [&] { mGroup->NoteOff(61, frame); },
                [&] { mGroup->SustainOn(frame); }, [&] { mGroup->SustainOff(frame); },
                [&] { mGroup->SostenutoOn(frame); }, [&] { mGroup->SostenutoOff(frame); },
                [&] { mGroup->AllNotesOff(frame); }, [&] { mGroup->AllSoundOff(frame); }};
            // clang-format on
            frame += 10;
            actions[op]();
        }
        EXPECT_EQ(ListOf(mNotes[0]), c.stateA);
        EXPECT_EQ(ListOf(mNotes[1]), c.stateB);
        EXPECT_EQ(CallsOf(mNotes[0]), c.callsA);
        EXPECT_EQ(CallsOf(mNotes[1]), c.callsB);
        EXPECT_EQ(mUnit->NumActiveNotes(), c.active);
    }
}

TEST_F(GroupTest, ChannelMessagesReachTheStoreOnlyForTheValuesItKeeps)
{
    using Read = std::function<float(MidiControls&)>;
    auto controller = [](UInt8 c) {
        return Read([c](MidiControls& m) { return m.GetController(c); });
    };
    auto key = [](UInt8 k) { return Read([k](MidiControls& m) { return m.GetPolyPressure(k); }); };
    const Read bend = [](MidiControls& m) { return m.GetPitchBend(); };
    struct Case {
        UInt16 id, value;
        bool stored;
        Read read; // what the message should have left
        float expected;
    };
    const Case cases[] = {
        {0, 0, false, controller(10), 64}, // the values after a reset
        {0, 0, false, controller(11), 127},
        {0, 0, false, bend, 0.0f},
        {7, 100, true, controller(7), 100},
        {101, 0x105, true, controller(101), 5},
        {64, 127, false, controller(64), 0},
        {66, 127, false, controller(66), 0},
        {120, 3, false, controller(120), 0},
        {0xA0, 60 * 128 + 33, true, key(60), 33},
        {0xA0, 127 * 128 + 1, true, key(127), 1},
        {0xA0, 0x4000 + 7, false, key(0), 0},
        {0xA0, 0x8000 + 7, false, key(0), 0},
        {0xC0, 0x105, true, [](MidiControls& m) { return m.GetProgramNumber(); }, 5},
        {0xD0, 77, true, [](MidiControls& m) { return m.GetChannelPressure(); }, 77},
        {0xE0, 0, true, bend, -24.0f},
        {0xE0, 8192, true, bend, 0.0f},
        {0xE0, 16383, true, bend, 0.99987793f * 24.0f},
        {0xF0, 1, false, controller(0), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " " << c.value);
        Controls().Reset();
        if (c.id != 0) {
            EXPECT_EQ(mGroup->ChannelMessage(c.id, c.value), c.stored);
        }
        EXPECT_FLOAT_EQ(c.read(Controls()), c.expected);
    }
    EXPECT_FALSE(Controls().SetController(128, 1));
    EXPECT_FALSE(Controls().SetPolyPressure(128, 1));
}

TEST_F(GroupTest, RendersItsNotesOncePerTimeStampAndStopsAtTheFirstError)
{
    using K = NoteCallKind;
    using Calls = std::vector<std::pair<NoteCallKind, UInt64>>;
    On(0, 5);
    On(1, 6);                      // before any render the offsets are the start frames
    mNotes[0].mRenderResult = -77; // A renders after B: a list runs newest first
    AudioUnitRenderActionFlags flags = 0;
    auto render = [&](Float64 time) {
        return mUnit->Render(flags, test_support::SampleTime(time), kFrames);
    };
    EXPECT_EQ(render(1024), -77);
    EXPECT_EQ(render(1024), noErr);
    mNotes[0].mRenderResult = noErr;
    mNotes[1].mRenderResult = -78;
    EXPECT_EQ(render(1536), -78);
    EXPECT_EQ(CallsOf(mNotes[0]), (Calls{{K::Start, 5}, {K::Render, 1024}}));
    EXPECT_EQ(CallsOf(mNotes[1]), (Calls{{K::Start, 6}, {K::Render, 1024}, {K::Render, 1536}}));
    EXPECT_EQ(mNotes[1].mOutputsSeen, 1u);
    On(2, 7);
    EXPECT_EQ(mNotes[2].GetStartFrame(), 1536u + 7) << "a note starts after the last render";
}

TEST_F(GroupTest, ResetForgetsNotesControllersPedalsAndTheLastRenderTime)
{
    using K = NoteCallKind;
    On(0, 0);
    mGroup->SustainOn(0);
    mGroup->SostenutoOn(0);
    mGroup->ChannelMessage(7, 3);
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(mUnit->Render(flags, test_support::SampleTime(0), kFrames), noErr);
    mGroup->Reset();
    for (UInt32 state = 0; state < kNumberOfSoundingNoteStates; ++state)
        EXPECT_FALSE(mGroup->NoteList(SynthNoteState(state)).NotEmpty()) << state;
    EXPECT_EQ(Controls().GetController(7), 0);
    // A note after the reset renders at the time the host starts from again, and letting go of
    // its key releases it: no pedal stayed down.
    On(1, 0);
    ASSERT_EQ(mUnit->Render(flags, test_support::SampleTime(0), kFrames), noErr);
    mGroup->NoteOff(61, 0);
    EXPECT_EQ(CallsOf(mNotes[1]), (std::vector<std::pair<NoteCallKind, UInt64>>{
                                      {K::Start, 0}, {K::Render, 0}, {K::Release, 0}}));
}

TEST_F(GroupTest, AGroupIdIsGivenOnce)
{
    SynthGroupElement* group = mUnit->Group(5);
    group->SetGroupID(2);
    EXPECT_EQ(CatchAsStatus([&] {
                  group->SetGroupID(3);
                  return OSStatus(noErr);
              }),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(group->GroupID(), 2u);
}

} // namespace
