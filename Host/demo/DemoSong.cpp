// Writes the demo song the project ships, "Evening Walk", to the file named on its command line:
// eight bars in F major for piano (with sustain pedal), bass, strings and celesta, about 22
// seconds, slowing down over the last two bars. The song is the tables below; the code after
// them only turns bars and eighths into ticks and messages.
#include "MIDIFile/FileBytes.h"
#include "MIDIFile/MIDIFileWriter.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

namespace {

// ---- The song ----

constexpr UInt16 kTicksPerQuarter = 480;
constexpr UInt64 kTicksPerEighth = kTicksPerQuarter / 2;
constexpr UInt64 kTicksPerBar = 4 * kTicksPerQuarter;
constexpr int kBars = 8;

// Channels (from 0) with their General MIDI programs (from 0), pan and reverb send.
struct Instrument {
    const char* mName;
    Byte mChannel;
    Byte mProgram;
    Byte mPan;
    Byte mReverb;
};
constexpr Instrument kPiano = {"Piano", 0, 0, 64, 40};      // Acoustic Grand Piano
constexpr Instrument kBass = {"Bass", 1, 33, 60, 20};       // Electric Bass (finger)
constexpr Instrument kStrings = {"Strings", 2, 48, 40, 64}; // String Ensemble 1
constexpr Instrument kCelesta = {"Celesta", 3, 8, 90, 72};  // Celesta
const Instrument kInstruments[] = {kPiano, kBass, kStrings, kCelesta};

// Tempo changes: bar (from 1) and beats per minute. Bars 7 and 8 slow down to the end.
struct TempoChange {
    int mBar;
    UInt32 mBeatsPerMinute;
};
const TempoChange kTempo[] = {{1, 96}, {7, 84}, {8, 72}};

// A note: bar (from 1), start in eighths into the bar, length in eighths, key, velocity.
struct Note {
    int mBar;
    int mEighth;
    int mEighths;
    const char* mKey;
    Byte mVelocity;
};

// The tune, in the piano's right hand, a bar a row. Harmony: F | C/E | Dm | Bb | F/A | Gm7 |
// C7sus4 C7 | F.
// clang-format off
const Note kMelody[] = {
    {1, 0, 2, "C5", 84}, {1, 2, 1, "A4", 76}, {1, 3, 1, "C5", 78}, {1, 4, 4, "F5", 88},
    {2, 0, 2, "E5", 84}, {2, 2, 1, "D5", 76}, {2, 3, 1, "C5", 76}, {2, 4, 4, "G4", 80},
    {3, 0, 2, "F5", 88}, {3, 2, 1, "E5", 78}, {3, 3, 1, "D5", 78}, {3, 4, 3, "A4", 80},
        {3, 7, 1, "C5", 74},
    {4, 0, 2, "D5", 86}, {4, 2, 1, "C5", 76}, {4, 3, 1, "Bb4", 76}, {4, 4, 4, "F4", 78},
    {5, 0, 2, "C5", 88}, {5, 2, 2, "F5", 94}, {5, 4, 3, "A5", 100}, {5, 7, 1, "G5", 84},
    {6, 0, 2, "F5", 92}, {6, 2, 2, "D5", 86}, {6, 4, 2, "Bb4", 82}, {6, 6, 2, "D5", 84},
    {7, 0, 2, "G5", 88}, {7, 2, 2, "F5", 84}, {7, 4, 2, "E5", 80}, {7, 6, 1, "D5", 74},
        {7, 7, 1, "E5", 76},
    {8, 0, 10, "F5", 82}, {8, 0, 10, "C5", 66}, {8, 0, 10, "A4", 64},
};
// clang-format on

// The piano's left hand: one bar of broken chord in eighths per row, held by the pedal.
constexpr Byte kLeftHandVelocity = 54;
const char* const kLeftHand[kBars][8] = {
    {"F2", "C3", "F3", "A3", "C4", "A3", "F3", "C3"},
    {"E2", "C3", "G3", "C4", "E4", "C4", "G3", "C3"},
    {"D2", "A2", "D3", "F3", "A3", "F3", "D3", "A2"},
    {"Bb1", "F2", "Bb2", "D3", "F3", "D3", "Bb2", "F2"},
    {"A2", "C3", "F3", "A3", "C4", "A3", "F3", "C3"},
    {"G2", "D3", "F3", "Bb3", "D4", "Bb3", "F3", "D3"},
    {"C3", "G3", "Bb3", "F4", "C3", "G3", "Bb3", "E4"},
    {"F2", "C3", "F3", "A3", "C4", "F4", nullptr, nullptr},
};

// The bass: one note per bar, each held an eighth into the next so that they overlap.
const Note kBassLine[] = {
    {1, 0, 9, "F2", 74}, {2, 0, 9, "E2", 72}, {3, 0, 9, "D2", 74}, {4, 0, 9, "Bb1", 72},
    {5, 0, 9, "A1", 74}, {6, 0, 9, "G1", 72}, {7, 0, 9, "C2", 76}, {8, 0, 10, "F1", 72},
};

// The strings come in at bar 3 with sustained chords, a chord a line.
// clang-format off
const Note kStringChords[] = {
    {3, 0, 8, "A3", 50}, {3, 0, 8, "D4", 50}, {3, 0, 8, "F4", 50},
    {4, 0, 8, "Bb3", 52}, {4, 0, 8, "D4", 52}, {4, 0, 8, "F4", 52},
    {5, 0, 8, "A3", 56}, {5, 0, 8, "C4", 56}, {5, 0, 8, "F4", 56},
    {6, 0, 8, "G3", 58}, {6, 0, 8, "Bb3", 58}, {6, 0, 8, "D4", 58}, {6, 0, 8, "F4", 58},
    {7, 0, 4, "Bb3", 56}, {7, 0, 4, "C4", 56}, {7, 0, 4, "F4", 56},
    {7, 4, 4, "Bb3", 54}, {7, 4, 4, "C4", 54}, {7, 4, 4, "E4", 54},
    {8, 0, 10, "A3", 50}, {8, 0, 10, "C4", 50}, {8, 0, 10, "F4", 50},
};
// clang-format on

// The celesta answers the tune where it holds a long note, and echoes its opening at the end.
const Note kCelestaPart[] = {
    {2, 4, 1, "E6", 60}, {2, 5, 1, "D6", 58}, {2, 6, 1, "C6", 58},  {2, 7, 1, "A5", 56},
    {4, 4, 1, "D6", 60}, {4, 5, 1, "C6", 58}, {4, 6, 1, "Bb5", 58}, {4, 7, 1, "A5", 56},
    {8, 2, 2, "C6", 62}, {8, 4, 1, "A5", 58}, {8, 5, 1, "C6", 60},  {8, 6, 4, "F6", 66},
};

// The song ends a quarter note after bar 8, when the last notes and the pedal are released.
constexpr UInt64 kEndTick = kBars * kTicksPerBar + kTicksPerQuarter;

// ---- Turning the tables into messages ----

constexpr Byte kNoteOff = 0x80, kNoteOn = 0x90, kControl = 0xB0, kProgram = 0xC0;
constexpr Byte kSustain = 64, kPan = 10, kReverb = 91;
// The pedal goes down this long after each bar starts, once the new chord has sounded.
constexpr UInt64 kPedalLag = 30;

// The MIDI key of a name such as "C4" (60), "F#3" or "Bb1".
Byte Key(const char* name)
{
    static const int kSteps[] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    int key = kSteps[name[0] - 'A'];
    ++name;
    if (*name == '#' || *name == 'b') {
        key += *name == '#' ? 1 : -1;
        ++name;
    }
    return static_cast<Byte>(key + 12 * (std::stoi(name) + 1));
}

UInt64 Tick(int bar, int eighth)
{
    return static_cast<UInt64>(bar - 1) * kTicksPerBar +
           static_cast<UInt64>(eighth) * kTicksPerEighth;
}

// A track's messages; at one tick note offs go first, then controllers, then note ons, so that
// a key struck again is released before it sounds anew.
class TrackBuilder {
public:
    explicit TrackBuilder(Byte channel) : mChannel(channel) {}

    void Note(const ::Note& note)
    {
        const UInt64 start = Tick(note.mBar, note.mEighth);
        const Byte key = Key(note.mKey);
        Add(start, 2, {Byte(kNoteOn | mChannel), key, note.mVelocity});
        Add(start + static_cast<UInt64>(note.mEighths) * kTicksPerEighth, 0,
            {Byte(kNoteOff | mChannel), key, 64});
    }
    void Control(UInt64 tick, Byte controller, Byte value)
    {
        Add(tick, 1, {Byte(kControl | mChannel), controller, value});
    }
    void Program(UInt64 tick, Byte program) { Add(tick, 1, {Byte(kProgram | mChannel), program}); }

    void WriteTo(MIDIFileWriter& writer, UInt16 track)
    {
        std::stable_sort(mMessages.begin(), mMessages.end(),
                         [](const Message& a, const Message& b) {
                             return a.mTick != b.mTick ? a.mTick < b.mTick : a.mRank < b.mRank;
                         });
        for (const Message& message : mMessages) {
            writer.AddMessage(track, message.mTick, message.mBytes.data(), message.mBytes.size());
        }
    }

private:
    struct Message {
        UInt64 mTick;
        int mRank;
        std::vector<Byte> mBytes;
    };
    void Add(UInt64 tick, int rank, std::vector<Byte> bytes)
    {
        mMessages.push_back(Message{tick, rank, std::move(bytes)});
    }

    Byte mChannel;
    std::vector<Message> mMessages;
};

void AddText(MIDIFileWriter& writer, UInt16 track, Byte type, const std::string& text)
{
    writer.AddMeta(track, 0, type, reinterpret_cast<const Byte*>(text.data()), text.size());
}

MIDIFileWriter Song()
{
    constexpr Byte kTrackName = 0x03, kTimeSignature = 0x58, kKeySignature = 0x59;
    const UInt16 trackCount = 1 + sizeof kInstruments / sizeof kInstruments[0];
    MIDIFileWriter writer(1, kTicksPerQuarter, trackCount);

    // The conductor track: title, metre, key and tempo.
    AddText(writer, 0, kTrackName, "Evening Walk");
    const Byte fourFour[] = {4, 2, 24, 8};
    writer.AddMeta(0, 0, kTimeSignature, fourFour, sizeof fourFour);
    const Byte fMajor[] = {0xFF, 0}; // one flat, major
    writer.AddMeta(0, 0, kKeySignature, fMajor, sizeof fMajor);
    for (const TempoChange& change : kTempo) {
        writer.AddTempo(0, Tick(change.mBar, 0), 60000000 / change.mBeatsPerMinute);
    }

    const std::vector<std::vector<::Note>> parts = {
        {std::begin(kMelody), std::end(kMelody)},
        {std::begin(kBassLine), std::end(kBassLine)},
        {std::begin(kStringChords), std::end(kStringChords)},
        {std::begin(kCelestaPart), std::end(kCelestaPart)},
    };
    for (size_t index = 0; index < parts.size(); ++index) {
        const Instrument& instrument = kInstruments[index];
        const UInt16 track = static_cast<UInt16>(index + 1);
        AddText(writer, track, kTrackName, instrument.mName);
        TrackBuilder builder(instrument.mChannel);
        builder.Program(0, instrument.mProgram);
        builder.Control(0, kPan, instrument.mPan);
        builder.Control(0, kReverb, instrument.mReverb);
        for (const ::Note& note : parts[index]) {
            builder.Note(note);
        }
        if (instrument.mChannel == kPiano.mChannel) {
            for (int bar = 1; bar <= kBars; ++bar) {
                for (int eighth = 0; eighth < 8; ++eighth) {
                    if (kLeftHand[bar - 1][eighth] != nullptr) {
                        builder.Note(
                            {bar, eighth, 1, kLeftHand[bar - 1][eighth], kLeftHandVelocity});
                    }
                }
                // The pedal is changed at every bar: up as the new harmony comes, then down.
                if (bar > 1) {
                    builder.Control(Tick(bar, 0), kSustain, 0);
                }
                builder.Control(Tick(bar, 0) + kPedalLag, kSustain, 127);
            }
            builder.Control(kEndTick, kSustain, 0);
        }
        builder.WriteTo(writer, track);
        writer.SetTrackEnd(track, kEndTick);
    }
    writer.SetTrackEnd(0, kEndTick);
    return writer;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.mid\n", argv[0]);
        return 2;
    }
    try {
        WriteFileBytes(argv[1], Song().Bytes());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.what());
        return 1;
    }
    return 0;
}
