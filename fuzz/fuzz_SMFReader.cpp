// Reads arbitrary bytes as a MIDI file. A refusal must be a MIDIFileError; what is read must keep
// the sequence's promises (time order, positions that never go back, payloads inside their
// store), read the same at another sample rate but for positions, and come back the same when
// the writer writes it out and the reader reads that again.
#include "MIDIFile/MIDIFileError.h"
#include "MIDIFile/MIDIFileReader.h"
#include "MIDIFile/MIDIFileWriter.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Require(bool condition)
{
    if (!condition) {
        abort();
    }
}

void CheckPromises(const MIDISequence& sequence)
{
    const MIDIFileEvent* previous = nullptr;
    for (const MIDIFileEvent& event : sequence.mEvents) {
        Require(event.mTrack < sequence.mTrackCount);
        Require(event.mTick <= sequence.mLengthTicks && event.mSample <= sequence.mLengthSamples);
        Require(size_t(event.mPayloadOffset) + event.mPayloadLength <= sequence.mPayloads.size());
        Require(event.mStatus >= 0x80 && event.mData1 < 0x80 && event.mData2 < 0x80);
        Require(event.mStatus != kSysExStatus || *sequence.Payload(event) == kSysExStatus);
        if (previous != nullptr) {
            Require(previous->mTick < event.mTick ||
                    (previous->mTick == event.mTick && previous->mTrack <= event.mTrack));
            Require(previous->mSample <= event.mSample);
        }
        previous = &event;
    }
}

bool SameEvent(const MIDISequence& a, const MIDIFileEvent& x, const MIDISequence& b,
               const MIDIFileEvent& y)
{
    return x.mTick == y.mTick && x.mTrack == y.mTrack && x.mStatus == y.mStatus &&
           x.mData1 == y.mData1 && x.mData2 == y.mData2 && x.mMetaType == y.mMetaType &&
           x.mPayloadLength == y.mPayloadLength &&
           (x.mPayloadLength == 0 ||
            std::memcmp(a.Payload(x), b.Payload(y), x.mPayloadLength) == 0);
}

// The writer bridges long gaps with empty text events; the file may hold some of its own.
std::vector<const MIDIFileEvent*> WithoutEmptyText(const MIDISequence& sequence)
{
    std::vector<const MIDIFileEvent*> events;
    for (const MIDIFileEvent& event : sequence.mEvents) {
        if (!(event.IsMeta() && event.mMetaType == kMetaText && event.mPayloadLength == 0)) {
            events.push_back(&event);
        }
    }
    return events;
}

// Writes the sequence as a format 1 file and reads it again: the same events at the same ticks
// and samples. Format 2 patterns come back as the format 1 tracks they were laid out as.
void CheckRoundTrip(const MIDISequence& sequence)
{
    MIDIFileWriter writer(1, sequence.mDivision, sequence.mTrackCount);
    for (const MIDIFileEvent& event : sequence.mEvents) {
        const Byte* payload = sequence.Payload(event);
        bool added = false;
        if (event.IsChannelMessage()) {
            const Byte message[] = {event.mStatus, event.mData1, event.mData2};
            added = writer.AddMessage(event.mTrack, event.mTick, message,
                                      1 + ChannelDataLength(event.mStatus));
        } else if (event.mStatus == kSysExStatus) {
            added = writer.AddMessage(event.mTrack, event.mTick, payload, event.mPayloadLength);
        } else if (event.mStatus == kSysExEscapeStatus) {
            added = writer.AddEscape(event.mTrack, event.mTick, payload, event.mPayloadLength);
        } else {
            added = writer.AddMeta(event.mTrack, event.mTick, event.mMetaType, payload,
                                   event.mPayloadLength);
        }
        Require(added);
    }
    for (UInt16 track = 0; track < sequence.mTrackCount; ++track) {
        writer.SetTrackEnd(track, sequence.mLengthTicks);
    }
    const MIDISequence again = MIDIFileReader::Read(writer.Bytes(), sequence.mSampleRate);
    Require(again.mLengthTicks == sequence.mLengthTicks &&
            again.mLengthSamples == sequence.mLengthSamples);
    const auto before = WithoutEmptyText(sequence);
    const auto after = WithoutEmptyText(again);
    Require(before.size() == after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        Require(SameEvent(sequence, *before[i], again, *after[i]) &&
                before[i]->mSample == after[i]->mSample);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<Byte> bytes(data, data + size);
    MIDISequence sequence;
    try {
        sequence = MIDIFileReader::Read(bytes, 44100);
    } catch (const MIDIFileError&) {
        return 0;
    }
    CheckPromises(sequence);

    const MIDISequence other = MIDIFileReader::Read(bytes, 48000);
    Require(other.mEvents.size() == sequence.mEvents.size());
    for (size_t i = 0; i < sequence.mEvents.size(); ++i) {
        Require(SameEvent(sequence, sequence.mEvents[i], other, other.mEvents[i]));
    }
    CheckRoundTrip(sequence);
    return 0;
}
