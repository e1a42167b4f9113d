#include "InstrumentFixture.h"
#include "SynthNoteList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace instrument_test;

std::string Line(const char* format, const void* note, unsigned long state = 0)
{
    char line[96];
    snprintf(line, sizeof line, format, note, state);
    return line;
}

// Five notes started at frames 100, 200, ... with ids 0 to 4, and lists filled from them.
class NoteListTest : public ::testing::Test {
protected:
    NoteListTest()
    {
        for (size_t i = 0; i < 5; ++i) {
            mNotes[i].NoteStart(nullptr, nullptr, NoteInstanceID(i), 100 * (i + 1), 0,
                                NoteParams(60));
            mNotes[i].mLog = &mLog;
        }
    }
    // Adds the notes in the order given (the list then runs the other way); returns its lines.
    std::string Fill(SynthNoteList& list, SynthNoteState state, const std::vector<size_t>& notes)
    {
        list.SetState(state);
        return Lines([&] {
            for (size_t i : notes)
                list.AddNote(&mNotes[i]);
        });
    }
    std::vector<const SynthNote*> Order(const SynthNoteList& list)
    {
        std::vector<const SynthNote*> order;
        for (const SynthNote* note = list.First(); note != nullptr; note = note->ListNext())
            order.push_back(note);
        return order;
    }
    std::vector<const SynthNote*> Notes(const std::vector<size_t>& indices)
    {
        std::vector<const SynthNote*> notes;
        for (size_t i : indices)
            notes.push_back(&mNotes[i]);
        return notes;
    }

    TestNote mNotes[5];
    NoteCallLog mLog;
};

TEST_F(NoteListTest, AddAndRemoveWriteTheirLinesAndKeepTheStateOnRemoval)
{
    SynthNoteList list;
    EXPECT_EQ(Fill(list, kSynthNoteState_ReleasedInSustain, {0, 1}),
              Line("AddNote(inNote=%p) to state: %lu\n", &mNotes[0], 3) +
                  Line("AddNote(inNote=%p) to state: %lu\n", &mNotes[1], 3));
    EXPECT_EQ(Lines([&] { list.RemoveNote(&mNotes[0]); }),
              Line("RemoveNote(inNote=%p) from state: %lu\n", &mNotes[0], 3));
    EXPECT_EQ(mNotes[0].GetState(), kSynthNoteState_ReleasedInSustain);
    EXPECT_EQ(Order(list), Notes({1}));
}

TEST_F(NoteListTest, TransferSplicesTheSourceInFrontAndReleasesOnlyIntoTheReleasedState)
{
    struct Case {
        SynthNoteState from, into;
        std::vector<size_t> source, destination; // in order of adding
        std::vector<size_t> order;               // the destination afterwards
    };
    const Case cases[] = {
        {kSynthNoteState_ReleasedInSustain, kSynthNoteState_Released, {0, 1}, {2}, {1, 0, 2}},
        {kSynthNoteState_SostenutoHeld, kSynthNoteState_Held, {0, 1}, {2, 3}, {1, 0, 3, 2}},
        {kSynthNoteState_ReleasedInSostenuto, kSynthNoteState_Released, {}, {2}, {2}},
        {kSynthNoteState_Held, kSynthNoteState_SostenutoHeld, {0, 1, 2}, {}, {2, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " into " << c.into);
        SynthNoteList source, destination, last;
        Fill(source, c.from, c.source);
        Fill(destination, c.into, c.destination);
        mLog.clear();
        const std::string lines = Lines([&] { destination.TransferAllFrom(&source, 17); });

        std::string expected = "TransferAllFrom: from state " + std::to_string(c.from) +
                               " into state " + std::to_string(c.into) + "\n";
        NoteCallLog releases;
        for (auto it = c.source.rbegin();
             c.into == kSynthNoteState_Released && it != c.source.rend(); ++it) {
            expected += Line("TransferAllFrom: releasing note %p\n", &mNotes[*it]);
            releases.push_back({NoteCallKind::Release, &mNotes[*it], NoteInstanceID(*it), 17, 0});
        }
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(mLog, releases);
        EXPECT_FALSE(source.NotEmpty());
        EXPECT_EQ(Order(destination), Notes(c.order));
        for (size_t i : c.order)
            EXPECT_EQ(mNotes[i].GetState(), c.into);
        // The destination's tail is right: a list spliced in front of another reaches it.
        Fill(last, c.into, {4});
        Lines([&] { last.TransferAllFrom(&destination, 0); });
        EXPECT_EQ(Order(last).back(), &mNotes[4]);
    }
}

TEST_F(NoteListTest, MostQuietNoteIsTheQuietestAndAmongEqualsTheEarliest)
{
    struct Case {
        const char* name;
        std::vector<Float32> amplitudes; // of notes 0, 1, ... (started at 100, 200, ...)
        int expected;                    // the note found, or -1 for none
    };
    const Case cases[] = {
        {"empty list", {}, -1},
        {"quietest wins", {0.5f, 0.1f, 0.3f}, 1},
        {"a tie goes to the earliest start", {0.2f, 0.2f, 0.2f}, 0},
        {"a tie below a louder earlier note", {0.9f, 0.2f, 0.2f}, 1},
        {"all louder than the ceiling", {2e9f, 3e9f}, -1},
        {"not a number is passed over", {std::nanf(""), 0.7f}, 1},
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
        SynthNote* found = nullptr;
        const std::string lines = Lines([&] { found = list.FindMostQuietNote(); });
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
        EXPECT_EQ(lines, expected);
    }
}

} // namespace
