#include "AUMultitimbralInstrumentBase.h"
#include "CatchAsStatus.h"
#include "InstrumentFixture.h"
#include "MidiControls.h"
#include "Watchdog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace {

using namespace instrument_test;

std::vector<NoteInstanceID> IdsOf(const NoteCallLog& log, NoteCallKind kind)
{
    std::vector<NoteInstanceID> ids;
    for (const NoteCall& call : log)
        if (call.kind == kind)
            ids.push_back(call.noteID);
    return ids;
}

TEST(NoteParams, HaveThePlatformLayoutAndCopyLengthsThatDoNotWrap)
{
    EXPECT_EQ(offsetof(MusicDeviceNoteParams, mPitch), 4u);
    EXPECT_EQ(offsetof(MusicDeviceNoteParams, mVelocity), 8u);
    EXPECT_EQ(offsetof(MusicDeviceNoteParams, mControls), 12u);
    EXPECT_EQ(sizeof(MusicDeviceNoteParams), 20u);
    const std::pair<UInt32, unsigned long long> sizes[] = {
        {2, 12}, {3, 20}, {4, 28}, {0x20000001u, 4294967300ull}, {0xFFFFFFFFu, 34359738356ull}};
    for (const auto& size : sizes)
        EXPECT_EQ(SynthEvent::ParamsSize(size.first), size.second) << size.first;
}

TEST_F(InstrumentTest, StartNoteHandsOutIdsFrom129OrUsesThePitchAndRefusesShortParameters)
{
    BecomeRenderThread();
    NoteInstanceID id = 0;
    ASSERT_EQ(mUnit->StartNote(0, 0, &id, 0, NoteParams(60)), noErr);
    EXPECT_EQ(id, 129u);
    // From another thread the note is queued, with its id at once and a copy of its parameters.
    ASSERT_EQ(OnOtherThread([&] { return mUnit->StartNote(0, 0, &id, 0, NoteParams(60, 90, 4)); }),
              noErr);
    EXPECT_EQ(id, 130u);
    ASSERT_EQ(mUnit->MIDIEvent(0x93, 64, 100, 0), noErr);
    for (Float32 pitch : {60.7f, -5.0f, 1e10f, std::nanf("")})
        ASSERT_EQ(mUnit->StartNote(0, 0, nullptr, 0, NoteParams(pitch)), noErr);
    for (UInt32 argCount : {0u, 1u}) {
        id = 7;
        auto start = [&] { return mUnit->StartNote(0, 0, &id, 0, NoteParams(1, 1, argCount)); };
        EXPECT_EQ(start(), kAudio_ParamError);
        EXPECT_EQ(OnOtherThread(start), kAudio_ParamError);
        EXPECT_EQ(id, 7u);
    }
    ASSERT_EQ(Render(), noErr);
    EXPECT_EQ(IdsOf(mUnit->mLog, NoteCallKind::Start),
              (std::vector<NoteInstanceID>{129, 64, 60, 0, 0xFFFFFFFF, 0, 130}));
    const MusicDeviceNoteParams& copy = mUnit->Note(1).mLastParams; // the seventh voice taken
    EXPECT_EQ(copy.argCount, 4u);
    EXPECT_EQ(copy.mVelocity, 90.0f);
    EXPECT_EQ(mUnit->NextNoteID(), 131u) << "a refused call took an id";

    mUnit->DoCleanup();
    ASSERT_EQ(mUnit->DoInitialize(), noErr);
    EXPECT_EQ(mUnit->NextNoteID(), 129u) << "initialization starts the ids again";
}

TEST_F(InstrumentTest, TheQueueHolds1023EventsAndTakesMoreOnceARenderHasPerformedThem)
{
    mUnit = MakeInitialized(std::make_unique<TestInstrument>(1024, 1024));
    BecomeRenderThread();
    auto start = [&] { return mUnit->StartNote(0, 0, nullptr, 0, NoteParams(1)); };
    EXPECT_EQ(OnOtherThread([&] {
                  OSStatus status = noErr;
                  for (int i = 0; i < 1023 && status == noErr; ++i)
                      status = start();
                  return status == noErr ? start() : status;
              }),
              AUInstrumentBase::kEventQueueFull);
    EXPECT_EQ(OnOtherThread([&] { return mUnit->StopNote(0, 1, 0); }),
              AUInstrumentBase::kEventQueueFull);
    ASSERT_EQ(Render(), noErr);
    EXPECT_EQ(Count(mUnit->mLog, NoteCallKind::Start), 1023);
    EXPECT_EQ(OnOtherThread(start), noErr);
    ASSERT_EQ(Render(), noErr);
    EXPECT_EQ(Count(mUnit->mLog, NoteCallKind::Start), 1024);
}

TEST_F(InstrumentTest, PedalEventsFromAnotherThreadActAtFrameZeroAndDirectOnesAtTheirFrame)
{
    for (bool queued : {true, false}) {
        SCOPED_TRACE(queued ? "queued" : "direct");
        mUnit = MakeInitialized(std::make_unique<TestInstrument>());
        BecomeRenderThread();
        auto pedal = [&](UInt32 type) {
            auto send = [&] { return mUnit->SendPedalEvent(3, type, 200); };
            EXPECT_EQ(queued ? OnOtherThread(send) : send(), noErr);
        };
        ASSERT_EQ(mUnit->StartNote(0, 3, nullptr, 10, NoteParams(60)), noErr);
        pedal(SynthEvent::EventSustainOn);
        ASSERT_EQ(Render(), noErr);
        ASSERT_EQ(mUnit->StopNote(3, 60, 20), noErr);
        pedal(SynthEvent::EventSustainOff);
        ASSERT_EQ(Render(), noErr);
        const auto release = std::find_if(mUnit->mLog.begin(), mUnit->mLog.end(), [](auto& call) {
            return call.kind == NoteCallKind::Release;
        });
        ASSERT_NE(release, mUnit->mLog.end());
        EXPECT_EQ(release->frame, queued ? 0u : 200u);
    }
}

TEST_F(InstrumentTest, AGroupIdBeyondTheLastGroupIsDroppedFromTheQueueAndRefusedDirectly)
{
    BecomeRenderThread();
    OnOtherThread([&] {
        for (UInt32 channel = 0; channel < 17; ++channel)
            EXPECT_EQ(mUnit->StartNote(0, 100 + channel, nullptr, 0, NoteParams(60)), noErr);
        return mUnit->StopNote(0xFFFFFFFF, 99, 0); // a note no group plays
    });
    for (int call = 0; call < 2; ++call)
        EXPECT_EQ(Render(), noErr) << "render call " << call;
    EXPECT_EQ(mUnit->DroppedEventCount(), 2u);
    EXPECT_EQ(Count(mUnit->mLog, NoteCallKind::Start), 16);
    for (UInt32 i = 0; i < 16; ++i)
        EXPECT_EQ(mUnit->Group(i)->GroupID(), 100 + i) << "groups are given in order of use";

    // On the render thread the calls answer the status (the host-call boundary catches it).
    auto status = [](auto call) { return CatchAsStatus([&] { return OSStatus(call()); }); };
    EXPECT_EQ(status([&] { return mUnit->StartNote(0, 200, nullptr, 0, NoteParams(60)); }),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(status([&] { return mUnit->StopNote(200, 60, 0); }), kAudioUnitErr_InvalidElement);
    EXPECT_EQ(mUnit->HandleControlChange(200, 7, 1, 0), kAudioUnitErr_InvalidElement);
    EXPECT_EQ(mUnit->HandlePitchWheel(200, 0, 64, 0), kAudioUnitErr_InvalidElement);
    EXPECT_EQ(mUnit->HandleAllNotesOff(200), kAudioUnitErr_InvalidElement);
}

TEST_F(InstrumentTest, ControlChangesFromMidiMoveThePedalsAndSoundOff)
{
    struct Case {
        UInt8 controller, value;
        SynthNoteState stateAfterNoteOff;
        UInt8 stored; // the controller's value afterwards
    };
    // clang-format off
    for (const Case& c : {Case{64, 64, kSynthNoteState_ReleasedInSustain, 127},
                          Case{64, 63, kSynthNoteState_Released, 0},
                          Case{66, 64, kSynthNoteState_ReleasedInSostenuto, 127},
                          Case{126, 0, kSynthNoteState_FastReleased, 0},
                          Case{7, 127, kSynthNoteState_ReleasedInSustain, 127}}) {
        // clang-format on
        SCOPED_TRACE(testing::Message() << int(c.controller) << " " << int(c.value));
        mUnit = MakeInitialized(std::make_unique<TestInstrument>());
        BecomeRenderThread();
        ASSERT_EQ(mUnit->MIDIEvent(0x92, 60, 90, 0), noErr);
        ASSERT_EQ(mUnit->MIDIEvent(0xB2, 64, 127, 0), noErr); // sustain down first
        ASSERT_EQ(mUnit->MIDIEvent(0xB2, c.controller, c.value, 0), noErr);
        ASSERT_EQ(mUnit->MIDIEvent(0x82, 60, 0, 0), noErr);
        EXPECT_EQ(mUnit->Note(7).GetState(), c.stateAfterNoteOff);
        auto* controls = static_cast<MidiControls*>(mUnit->Group(0)->GetMIDIControlHandler());
        EXPECT_EQ(controls->GetController(c.controller), c.stored);
    }
}

TEST_F(InstrumentTest, VoiceStealingFreesTheQuietestNoteOfTheMostReleasedStateFirst)
{
    enum How { Held, Released, FastReleased };
    struct Note {
        UInt32 group;
        Float32 amplitude;
        How how;
    };
    struct Case {
        const char* name;
        std::vector<Note> notes; // ids 60, 61, ... on voices 7, 6, ...
        bool kill;
        int taken;     // index into notes, -1 for none
        UInt32 active; // notes still counted active
    };
    // clang-format off
    const Case cases[] = {
        {"the first group in element order, not the quietest overall",
         {{0, 0.5f, Released}, {1, 0.1f, Released}}, false, 0, 1},
        {"released before held", {{0, 0.1f, Held}, {1, 0.5f, Released}}, false, 1, 1},
        {"the quietest held note when none is released",
         {{0, 0.4f, Held}, {0, 0.2f, Held}}, false, 1, 1},
        {"a kill takes a fast-released voice",
         {{0, 0.1f, Released}, {1, 0.3f, FastReleased}}, true, 1, 1},
        {"a kill takes a held voice when nothing else is left", {{0, 0.3f, Held}}, true, 0, 0},
        {"a voice without a loudness is passed over",
         {{0, std::nanf(""), Released}, {1, 0.9f, Released}}, false, 1, 1},
        {"nothing to steal", {}, true, -1, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mUnit = MakeInitialized(std::make_unique<TestInstrument>());
        BecomeRenderThread();
        for (UInt32 i = 0; i < c.notes.size(); ++i) {
            const Note& n = c.notes[i];
            mUnit->Note(7 - i).mAmplitude = n.amplitude;
            ASSERT_EQ(mUnit->StartNote(0, n.group, nullptr, 0, NoteParams(Float32(60 + i))), noErr);
            if (n.how != Held)
                mUnit->GetElForGroupID(n.group)->NoteOff(60 + i, 0);
            if (n.how == FastReleased)
                mUnit->GetElForGroupID(n.group)->NoteFastReleased(&mUnit->Note(7 - i));
        }
        mUnit->mLog.clear();
        SynthNote* stolen = mUnit->VoiceStealing(33, c.kill);
        const NoteCallKind kind = c.kill ? NoteCallKind::Kill : NoteCallKind::FastRelease;
        EXPECT_EQ(stolen, c.kill && c.taken >= 0 ? &mUnit->Note(7 - c.taken) : nullptr);
        NoteCallLog expected;
        if (c.taken >= 0)
            expected.push_back(
                {kind, &mUnit->Note(7 - c.taken), NoteInstanceID(60 + c.taken), 33, 0});
        EXPECT_EQ(mUnit->mLog, expected);
        if (c.taken >= 0 && !c.kill) {
            EXPECT_EQ(mUnit->Note(7 - c.taken).GetState(), kSynthNoteState_FastReleased);
        }
        EXPECT_EQ(mUnit->NumActiveNotes(), c.active);
    }
}

TEST_F(InstrumentTest, ANoteThatRefusesToStartGoesBackToThePool)
{
    mUnit = MakeInitialized(std::make_unique<TestInstrument>(2, 2));
    BecomeRenderThread();
    mUnit->Note(0).mStarts = mUnit->Note(1).mStarts = false;
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(mUnit->StartNote(0, 0, nullptr, 0, NoteParams(60)), noErr);
    EXPECT_EQ(Count(mUnit->mLog, NoteCallKind::Start), 5);
    EXPECT_EQ(Count(mUnit->mLog, NoteCallKind::Kill), 0);
    EXPECT_EQ(mUnit->NumActiveNotes(), 0u);
    EXPECT_EQ(mUnit->Note(0).GetState(), kSynthNoteState_Free);
}

TEST_F(InstrumentTest, GlobalResetGathersEveryNoteBackAndOtherScopesTouchNothing)
{
    BecomeRenderThread();
    for (UInt32 key = 60; key < 63; ++key)
        ASSERT_EQ(mUnit->StartNote(0, key - 60, nullptr, 0, NoteParams(Float32(key))), noErr);
    ASSERT_EQ(mUnit->StopNote(1, 61, 0), noErr);
    ASSERT_EQ(Render(), noErr);
    mUnit->mLog.clear();
    ASSERT_EQ(mUnit->Reset(kAudioUnitScope_Input, 0), noErr);
    EXPECT_TRUE(mUnit->mLog.empty());
    EXPECT_EQ(mUnit->NumActiveNotes(), 3u); // a released note counts until it ends
    EXPECT_EQ(mUnit->FrameCounter(), 2 * kFrames);

    ASSERT_EQ(mUnit->Reset(kAudioUnitScope_Global, 0), noErr);
    EXPECT_EQ(mUnit->mLog, (NoteCallLog{{NoteCallKind::Kill, &mUnit->Note(5), 62, 0, 0},
                                        {NoteCallKind::Kill, &mUnit->Note(6), 61, 0, 0},
                                        {NoteCallKind::Kill, &mUnit->Note(7), 60, 0, 0}}));
    EXPECT_EQ(mUnit->NumActiveNotes(), 0u);
    EXPECT_EQ(mUnit->FrameCounter(), 0u);
    for (UInt32 g = 0; g < 3; ++g)
        for (UInt32 state = 0; state < kNumberOfSoundingNoteStates; ++state)
            EXPECT_FALSE(mUnit->Group(g)->NoteList(SynthNoteState(state)).NotEmpty());
    for (UInt32 key = 0; key < 8; ++key)
        ASSERT_EQ(mUnit->StartNote(0, 0, nullptr, 0, NoteParams(Float32(key))), noErr);
    EXPECT_EQ(Count(mUnit->mLog, NoteCallKind::Kill), 3) << "not all eight voices were free";
}

TEST_F(InstrumentTest, InitializingAgainWhileNotesSoundListsEveryNoteOnce)
{
    Watchdog watchdog(30, "re-initialization with sounding notes");
    BecomeRenderThread();
    for (UInt32 key = 60; key < 63; ++key)
        ASSERT_EQ(mUnit->StartNote(0, 0, nullptr, 0, NoteParams(Float32(key))), noErr);
    mUnit->DoCleanup();
    ASSERT_EQ(mUnit->DoInitialize(), noErr);
    BecomeRenderThread();
    for (UInt32 key = 0; key < 8; ++key)
        ASSERT_EQ(mUnit->StartNote(0, 0, nullptr, 0, NoteParams(Float32(key))), noErr);
    mUnit->mLog.clear();
    ASSERT_EQ(Render(), noErr);
    EXPECT_EQ(Count(mUnit->mLog, NoteCallKind::Render), 8);
}

// Groups without notes are left alone by render calls; a note started in one later still starts
// after the last render that reached its group, also where a render stopped at a failing note.
TEST_F(InstrumentTest, ANoteInASilentGroupStartsAfterTheLastRenderThatReachedIt)
{
    BecomeRenderThread(); // 512
    for (MusicDeviceGroupID id : {10u, 11u, 12u})
        mUnit->GetElForGroupID(id); // elements 0, 1 and 2, no notes
    ASSERT_EQ(Render(), noErr);     // 1024
    ASSERT_EQ(Render(), noErr);     // 1536
    ASSERT_EQ(mUnit->StartNote(0, 11, nullptr, 0, NoteParams(61)), noErr);
    mUnit->Note(7).mRenderResult = -77; // the voice the note above took
    EXPECT_EQ(Render(), -77);           // 2048, stopping in element 1

    struct Case {
        MusicDeviceGroupID group;
        UInt64 start;
    };
    const Case cases[] = {
        {10, 2048 + 3}, // passed before the failing note
        {11, 2048 + 3}, // the failing group itself
        {12, 1536 + 3}, // never reached by the failing render
        {13, 1536 + 3}, // a group given its channel only now
    };
    for (const Case& c : cases) {
        mUnit->mLog.clear();
        ASSERT_EQ(mUnit->StartNote(0, c.group, nullptr, 3, NoteParams(62)), noErr);
        ASSERT_EQ(mUnit->mLog.size(), 1u) << c.group;
        EXPECT_EQ(mUnit->mLog[0].frame, c.start) << c.group;
    }
}

// A failed render keeps no hold on the caller's buffers: a later render of the unit's own never
// writes into them.
TEST_F(InstrumentTest, AFailedRenderLeavesTheCallersBuffersAlone)
{
    BecomeRenderThread();
    ASSERT_EQ(mUnit->StartNote(0, 0, nullptr, 0, NoteParams(60)), noErr);
    TestNote& note = mUnit->Note(7);
    note.mRenderResult = -77;
    ASSERT_EQ(Render(), -77);
    EXPECT_EQ(note.mMemorySeen, mBuffers.Samples(0))
        << "the note rendered into the caller's buffer";
    std::fill(mBuffers.Samples(0), mBuffers.Samples(0) + kFrames, 5.0f);
    note.mRenderResult = noErr;
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(mUnit->Render(flags, test_support::SampleTime(mSampleTime += kFrames), kFrames),
              noErr);
    EXPECT_NE(note.mMemorySeen, mBuffers.Samples(0));
    EXPECT_EQ(std::count(mBuffers.Samples(0), mBuffers.Samples(0) + kFrames, 5.0f), kFrames);
}

// Buffers with memory that the caller lends take the silence and the notes in place; a caller
// asking for the unit's buffers, or lending some without memory, gets the unit's own as before.
// A bus that may not allocate renders only into the caller's memory.
TEST(InstrumentBuffers, TheCallersMemoryTakesTheRenderInPlace)
{
    struct Case {
        const char* name;
        bool mayAllocate;
        bool withMemory[2];
        OSStatus status;
        bool inPlace;
    };
    const Case cases[] = {
        {"caller's", true, {true, true}, noErr, true},
        {"unit's", true, {false, false}, noErr, false},
        {"caller's first only", true, {true, false}, noErr, false},
        {"caller's, no allocation", false, {true, true}, noErr, true},
        {"unit's, no allocation", false, {false, false}, kAudioUnitErr_InvalidPropertyValue, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto unit = std::make_unique<TestInstrument>(1, 1);
        unit->PostConstructor();
        unit->GetOutput(0)->SetWillAllocateBuffer(c.mayAllocate);
        ASSERT_EQ(unit->DoInitialize(), noErr);
        // Queued, as no render has run yet, and so started by the render below.
        ASSERT_EQ(unit->StartNote(0, 0, nullptr, 0, NoteParams(60)), noErr);
        test_support::TestBuffers caller(kFrames);
        AudioBufferList& list = caller.List();
        for (UInt32 b = 0; b < 2; ++b) {
            std::fill(caller.Samples(b), caller.Samples(b) + kFrames, 1.0f);
            if (!c.withMemory[b])
                list.mBuffers[b].mData = nullptr;
        }
        AudioUnitRenderActionFlags flags = 0;
        OSStatus status = noErr;
        Lines(
            [&] { status = unit->DoRender(flags, test_support::SampleTime(0), 0, kFrames, list); });
        ASSERT_EQ(status, c.status);
        if (status != noErr)
            continue;
        EXPECT_EQ(unit->Note(0).mMemorySeen == caller.Samples(0), c.inPlace);
        EXPECT_EQ(list.mBuffers[0].mData == caller.Samples(0), c.withMemory[0]);
        for (UInt32 b = 0; b < 2; ++b) {
            const auto* samples = static_cast<const Float32*>(list.mBuffers[b].mData);
            const UInt32 frames = list.mBuffers[b].mDataByteSize / sizeof(Float32);
            EXPECT_EQ(std::count(samples, samples + frames, 0.0f), samples ? kFrames : 0) << b;
        }
    }
}

// Shaped like the MIDI output unit: 16 groups, no notes; it renders silence, queues, resets.
TEST(InstrumentWithoutNotes, RendersSilenceQueuesAndResetsWritingNoLine)
{
    auto unit = MakeInitialized(std::make_unique<EmptyInstrument>());
    test_support::TestBuffers buffers(kFrames);
    std::fill(buffers.Samples(1), buffers.Samples(1) + kFrames, 1.0f);
    AudioUnitRenderActionFlags flags = 0;
    std::vector<OSStatus> statuses;
    const std::string lines = Lines([&] {
        for (UInt32 channel = 0; channel < 16; ++channel) {
            statuses.push_back(OnOtherThread(
                [&] { return unit->StartNote(0, channel, nullptr, 0, NoteParams(60)); }));
            statuses.push_back(OnOtherThread([&] { return unit->StopNote(channel, 60, 0); }));
        }
        statuses.push_back(
            unit->DoRender(flags, test_support::SampleTime(0), 0, kFrames, buffers.List()));
        statuses.push_back(unit->Reset(kAudioUnitScope_Global, 0));
    });
    EXPECT_EQ(statuses, std::vector<OSStatus>(34, noErr));
    EXPECT_EQ(lines, "") << "an empty pool moves no note";
    EXPECT_EQ(std::count(buffers.Samples(1), buffers.Samples(1) + kFrames, 0.0f), kFrames);
    EXPECT_EQ(unit->DroppedEventCount(), 0u);
    EXPECT_EQ(unit->FrameCounter(), 0u);
    EXPECT_THROW(unit->GetNote(0), std::runtime_error);
}

TEST(InstrumentElements, GroupsPartsFormatsAndThePartGroupProperty)
{
    class Unit : public AUMultitimbralInstrumentBase {
    public:
        Unit() : AUMultitimbralInstrumentBase(nullptr, 0, 1, 4, 2) {}
    } unit;
    unit.PostConstructor();
    EXPECT_NE(dynamic_cast<SynthPartElement*>(unit.GetElement(kAudioUnitScope_Part, 1)), nullptr);
    EXPECT_EQ(unit.GetPartElement(2), nullptr);
    auto* group = dynamic_cast<SynthGroupElement*>(unit.GetElement(kAudioUnitScope_Group, 3));
    ASSERT_NE(group, nullptr);
    EXPECT_NE(dynamic_cast<MidiControls*>(group->GetMIDIControlHandler()), nullptr);
    for (UInt32 channels : {1u, 2u}) {
        CAStreamBasicDescription format;
        format.SetAUCanonical(channels, false);
        EXPECT_EQ(unit.ValidFormat(kAudioUnitScope_Output, 0, format), channels == 2);
    }

    struct Case {
        AudioUnitScope scope;
        OSStatus info, getAndSet;
    };
    for (const Case& c :
         {Case{kAudioUnitScope_Part, noErr, kAudioUnitErr_InvalidScope},
          Case{kAudioUnitScope_Group, kAudioUnitErr_InvalidScope, -1},
          Case{kAudioUnitScope_Global, kAudioUnitErr_InvalidScope, kAudioUnitErr_InvalidScope}}) {
        SCOPED_TRACE(c.scope);
        UInt32 size = 0, value = 3;
        Boolean writable = false;
        EXPECT_EQ(unit.GetPropertyInfo(kMusicDeviceProperty_PartGroup, c.scope, 0, size, writable),
                  c.info);
        EXPECT_EQ(size == 4 && writable, c.info == noErr);
        EXPECT_EQ(unit.GetProperty(kMusicDeviceProperty_PartGroup, c.scope, 0, &value),
                  c.getAndSet);
        EXPECT_EQ(unit.SetProperty(kMusicDeviceProperty_PartGroup, c.scope, 0, &value, 4),
                  c.getAndSet);
    }
}

} // namespace
