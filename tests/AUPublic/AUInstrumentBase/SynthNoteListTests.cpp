#include "NoteListLines.h"
#include "OutputCapture.h"
#include "SynthNoteList.h"
#include "TestNote.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace instrument_test;

std::vector<const SynthNote*> Order(const SynthNoteList& list)
{
    std::vector<const SynthNote*> order;
    for (const SynthNote* note = list.First(); note != nullptr; note = note->ListNext())
        order.push_back(note);
    return order;
}

// Notes started at frames 100, 200, ... so that their start frames tell them apart.
class NoteListTest : public ::testing::Test {
protected:
    NoteListTest()
    {
        const MusicDeviceNoteParams params{2, 60, 100, {}};
        for (size_t i = 0; i < kNotes; ++i) {
            mNotes[i].NoteStart(nullptr, nullptr, NoteInstanceID(i), 100 * (i + 1), 0, params);
            mNotes[i].mLog = &mLog;
        }
    }
    // Adds the notes in the order given (the list then runs the other way).
    void Fill(SynthNoteList& list, SynthNoteState state, std::vector<size_t> notes)
    {
        list.SetState(state);
        for (size_t i : notes)
            list.AddNote(&mNotes[i]);
    }

    static constexpr size_t kNotes = 5;
    TestNote mNotes[kNotes];
    NoteCallLog mLog;
    OutputCapture mOut{OutputCapture::kStdout};
};

TEST_F(NoteListTest, AddRunsNewestFirstAndRemoveRejoinsTheNeighbours)
{
    struct Case {
        size_t removed;
        std::vector<size_t> rest; // newest first
    };
    for (const Case& c : {Case{2, {1, 0}}, Case{1, {2, 0}}, Case{0, {2, 1}}}) {
        SCOPED_TRACE(c.removed);
        SynthNoteList list, other;
        Fill(list, kSynthNoteState_ReleasedInSustain, {0, 1, 2});
        EXPECT_EQ(mOut.Take(),
                  AddLine(&mNotes[0], 3) + AddLine(&mNotes[1], 3) + AddLine(&mNotes[2], 3));
        EXPECT_EQ(mNotes[1].GetState(), kSynthNoteState_ReleasedInSustain);

        list.RemoveNote(&mNotes[c.removed]);
        EXPECT_EQ(mOut.Take(), RemoveLine(&mNotes[c.removed], 3));
        EXPECT_EQ(mNotes[c.removed].ListNext(), nullptr);
        EXPECT_EQ(mNotes[c.removed].GetState(), kSynthNoteState_ReleasedInSustain);
        // Splicing in front of another list goes through the tail: a stale one would lose note 4.
        Fill(other, kSynthNoteState_Held, {4});
        other.TransferAllFrom(&list, 0);
        EXPECT_EQ(Order(other), (std::vector<const SynthNote*>{&mNotes[c.rest[0]],
                                                               &mNotes[c.rest[1]], &mNotes[4]}));
        mOut.Take();
    }
    SynthNoteList single;
    Fill(single, kSynthNoteState_Held, {3});
    single.RemoveNote(&mNotes[3]);
    EXPECT_FALSE(single.NotEmpty());
}

TEST_F(NoteListTest, TransferSplicesTheSourceInFrontAndReleasesOnlyIntoTheReleasedState)
{
    struct Case {
        SynthNoteState from, into;
        std::vector<size_t> source, destination; // in order of adding
        std::vector<size_t> order;               // the destination afterwards, from its head
        bool releases;
    };
    const Case cases[] = {
        {kSynthNoteState_ReleasedInSustain, kSynthNoteState_Released, {0, 1}, {2}, {1, 0, 2}, true},
        {kSynthNoteState_SostenutoHeld, kSynthNoteState_Held, {0, 1}, {2, 3}, {1, 0, 3, 2}, false},
        {kSynthNoteState_ReleasedInSostenuto, kSynthNoteState_Released, {}, {2}, {2}, false},
        {kSynthNoteState_Held, kSynthNoteState_SostenutoHeld, {0, 1, 2}, {}, {2, 1, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " into " << c.into);
        SynthNoteList source, destination;
        Fill(source, c.from, c.source);
        Fill(destination, c.into, c.destination);
        mOut.Take();
        mLog.clear();

        destination.TransferAllFrom(&source, 17);
        std::string expected = TransferLine(c.from, c.into);
        NoteCallLog expectedCalls;
        for (auto it = c.source.rbegin(); c.releases && it != c.source.rend(); ++it) {
            expected += ReleasingLine(&mNotes[*it]);
            expectedCalls.push_back(
                {NoteCallKind::Release, &mNotes[*it], NoteInstanceID(*it), 17, 0});
        }
        EXPECT_EQ(mOut.Take(), expected);
        EXPECT_EQ(mLog, expectedCalls);
        EXPECT_FALSE(source.NotEmpty());
        std::vector<const SynthNote*> order;
        for (size_t i : c.order) {
            order.push_back(&mNotes[i]);
            EXPECT_EQ(mNotes[i].GetState(), c.into);
        }
        EXPECT_EQ(Order(destination), order);
        // The destination's tail is right: a note moved behind it stays reachable.
        SynthNoteList last;
        Fill(last, c.into, {4});
        last.TransferAllFrom(&destination, 0);
        EXPECT_EQ(Order(last).back(), &mNotes[4]);
        mOut.Take();
    }
}

TEST_F(NoteListTest, MostQuietNoteIsTheQuietestAndAmongEqualsTheEarliest)
{
    const Float32 nan = std::nanf("");
    struct Case {
        const char* name;
        std::vector<Float32> amplitudes; // of notes 0, 1, ... (started at 100, 200, ...)
        int expected;                    // the note found, or -1 for none
    };
    const Case cases[] = {
        {"empty list", {}, -1},
        {"quietest wins", {0.5f, 0.1f, 0.3f}, 1},
        {"tie goes to the earliest start", {0.2f, 0.2f, 0.2f}, 0},
        {"tie below a louder earlier note", {0.9f, 0.2f, 0.2f}, 1},
        {"all louder than the ceiling", {2e9f, 3e9f}, -1},
        {"not a number is passed over", {nan, 0.7f}, 1},
        {"the ceiling itself is taken", {1e9f}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SynthNoteList list;
        std::vector<size_t> notes;
        for (size_t i = 0; i < c.amplitudes.size(); ++i) {
            mNotes[i].mAmplitude = c.amplitudes[i];
            notes.push_back(i);
        }
        Fill(list, kSynthNoteState_Released, notes);
        mOut.Take();

        SynthNote* found = list.FindMostQuietNote();
        EXPECT_EQ(found, c.expected < 0 ? nullptr : &mNotes[c.expected]);
        // One line per note from the head (the newest), with the minimum before that note.
        std::string expected = "FindMostQuietNote\n";
        Float32 minimum = 1e9f;
        for (auto it = notes.rbegin(); it != notes.rend(); ++it) {
            char line[80];
            snprintf(line, sizeof line, "   amp %g   minAmplitude %g\n", double(c.amplitudes[*it]),
                     double(minimum));
            expected += line;
            if (c.amplitudes[*it] < minimum)
                minimum = c.amplitudes[*it];
        }
        EXPECT_EQ(mOut.Take(), expected);
    }
}

} // namespace
