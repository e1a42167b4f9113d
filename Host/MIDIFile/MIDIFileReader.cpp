#include "MIDIFile/MIDIFileReader.h"

#include "MIDIFile/FileBytes.h"
#include "MIDIFile/MIDIFileError.h"
#include "MIDIFile/TempoMap.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr size_t kChunkHeaderSize = 8;
constexpr size_t kHeaderDataSize = 6;
// The smallest track chunk: its header and an end-of-track event with a delta time of 0.
constexpr size_t kSmallestTrackSize = kChunkHeaderSize + 4;
constexpr unsigned kMaxVariableLengthBytes = 4;
constexpr UInt32 kTempoDataLength = 3;

std::string Hex(Byte byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

UInt32 BigEndian(const Byte* bytes, size_t count)
{
    UInt32 value = 0;
    for (size_t i = 0; i < count; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

bool IsChunkType(const Byte* bytes, const char* type)
{
    return std::memcmp(bytes, type, 4) == 0;
}

// Reads the events of one track chunk into the sequence: channel messages with running status
// (kept across SysEx and meta events, as files in the wild need), SysEx in both forms and meta
// events, up to the end-of-track event.
class TrackReader {
public:
    TrackReader(const std::vector<Byte>& file, size_t begin, size_t end, UInt16 track,
                UInt64 startTick, MIDISequence& sequence)
        : mFile(file), mPosition(begin), mEnd(end), mTrack(track), mTick(startTick),
          mSequence(sequence)
    {
    }

    // Reads up to the end-of-track event and returns its tick; bytes after it are ignored.
    UInt64 Read()
    {
        Byte runningStatus = 0;
        for (;;) {
            if (mPosition == mEnd) {
                Fail("no end-of-track event");
            }
            mEventStart = mPosition;
            mTick += VariableLength();
            Byte status = Peek();
            if (status < 0x80) {
                if (runningStatus == 0) {
                    Fail("data byte " + Hex(status) + " without a status at byte " +
                         std::to_string(mPosition));
                }
                status = runningStatus;
            } else {
                ++mPosition;
            }
            if (status < 0xF0) {
                runningStatus = status;
                ReadChannelMessage(status);
            } else if (status == kSysExStatus || status == kSysExEscapeStatus) {
                ReadSysEx(status);
            } else if (status == kMetaStatus) {
                if (ReadMeta()) {
                    return mTick;
                }
            } else {
                Fail("status byte " + Hex(status) + " at byte " + std::to_string(mPosition - 1) +
                     " is not allowed in a MIDI file");
            }
        }
    }

private:
    [[noreturn]] void Fail(const std::string& what) const
    {
        throw MIDIFileError("track " + std::to_string(mTrack + 1) + ": " + what);
    }

    [[noreturn]] void FailPastEnd() const
    {
        Fail("event at byte " + std::to_string(mEventStart) + " runs past the end of its chunk");
    }

    Byte Peek() const
    {
        if (mPosition == mEnd) {
            FailPastEnd();
        }
        return mFile[mPosition];
    }

    Byte Next()
    {
        const Byte byte = Peek();
        ++mPosition;
        return byte;
    }

    UInt32 VariableLength()
    {
        const size_t start = mPosition;
        UInt32 value = 0;
        for (unsigned count = 0; count < kMaxVariableLengthBytes; ++count) {
            const Byte byte = Next();
            value = (value << 7) | (byte & 0x7F);
            if ((byte & 0x80) == 0) {
                return value;
            }
        }
        Fail("variable-length number longer than 4 bytes at byte " + std::to_string(start));
    }

    Byte DataByte()
    {
        const Byte byte = Next();
        if (byte >= 0x80) {
            Fail("status byte " + Hex(byte) + " at byte " + std::to_string(mPosition - 1) +
                 " where a data byte belongs");
        }
        return byte;
    }

    // The next length bytes of the chunk.
    const Byte* Take(UInt32 length)
    {
        if (length > mEnd - mPosition) {
            FailPastEnd();
        }
        const Byte* bytes = mFile.data() + mPosition;
        mPosition += length;
        return bytes;
    }

    void ReadChannelMessage(Byte status)
    {
        MIDIFileEvent event = NewEvent(status);
        event.mData1 = DataByte();
        if (ChannelDataLength(status) == 2) {
            event.mData2 = DataByte();
        }
        Append(event);
    }

    void ReadSysEx(Byte status)
    {
        const UInt32 length = VariableLength();
        const Byte* data = Take(length);
        MIDIFileEvent event = NewEvent(status);
        event.mPayloadOffset = static_cast<UInt32>(mSequence.mPayloads.size());
        // The F0 form leaves out the F0 that starts the message as sent.
        if (status == kSysExStatus) {
            mSequence.mPayloads.push_back(kSysExStatus);
        }
        mSequence.mPayloads.insert(mSequence.mPayloads.end(), data, data + length);
        event.mPayloadLength =
            static_cast<UInt32>(mSequence.mPayloads.size()) - event.mPayloadOffset;
        Append(event);
    }

    // True at the end of the track.
    bool ReadMeta()
    {
        const Byte type = Next();
        const UInt32 length = VariableLength();
        const Byte* data = Take(length);
        if (type == kMetaEndOfTrack) {
            return true;
        }
        if (type == kMetaTempo) {
            if (length != kTempoDataLength) {
                Fail("tempo event of " + std::to_string(length) + " bytes at byte " +
                     std::to_string(mEventStart) + " (3 expected)");
            }
            if (BigEndian(data, kTempoDataLength) == 0) {
                Fail("tempo of 0 microseconds per quarter note at byte " +
                     std::to_string(mEventStart));
            }
        }
        MIDIFileEvent event = NewEvent(kMetaStatus);
        event.mMetaType = type;
        event.mPayloadOffset = static_cast<UInt32>(mSequence.mPayloads.size());
        event.mPayloadLength = length;
        mSequence.mPayloads.insert(mSequence.mPayloads.end(), data, data + length);
        Append(event);
        return false;
    }

    MIDIFileEvent NewEvent(Byte status) const
    {
        MIDIFileEvent event;
        event.mTick = mTick;
        event.mTrack = mTrack;
        event.mStatus = status;
        return event;
    }

    void Append(const MIDIFileEvent& event)
    {
        if (mSequence.mEvents.size() == MIDIFileReader::kMaxEvents) {
            throw MIDIFileError("more than " + std::to_string(MIDIFileReader::kMaxEvents) +
                                " events");
        }
        mSequence.mEvents.push_back(event);
    }

    const std::vector<Byte>& mFile;
    size_t mPosition;
    const size_t mEnd;
    const UInt16 mTrack;
    UInt64 mTick;
    size_t mEventStart = 0;
    MIDISequence& mSequence;
};

// Reads the header chunk into the sequence and returns where the chunk after it starts.
size_t ReadHeader(const std::vector<Byte>& bytes, MIDISequence& sequence)
{
    if (bytes.empty()) {
        throw MIDIFileError("empty file, not a MIDI file");
    }
    if (bytes.size() < 4 || !IsChunkType(bytes.data(), "MThd")) {
        throw MIDIFileError("not a MIDI file (it does not start with MThd)");
    }
    if (bytes.size() < kChunkHeaderSize + kHeaderDataSize) {
        throw MIDIFileError("truncated header chunk (" + std::to_string(bytes.size()) +
                            " of 14 bytes)");
    }
    const UInt32 length = BigEndian(&bytes[4], 4);
    if (length < kHeaderDataSize) {
        throw MIDIFileError("bad header length " + std::to_string(length) + " (at least 6)");
    }
    const size_t left = bytes.size() - kChunkHeaderSize;
    if (length > left) {
        throw MIDIFileError("header chunk length " + std::to_string(length) +
                            " runs past the end of the file (" + std::to_string(left) +
                            " bytes left)");
    }
    sequence.mFormat = static_cast<UInt16>(BigEndian(&bytes[8], 2));
    sequence.mTrackCount = static_cast<UInt16>(BigEndian(&bytes[10], 2));
    sequence.mDivision = static_cast<UInt16>(BigEndian(&bytes[12], 2));
    if (sequence.mFormat > 2) {
        throw MIDIFileError("unknown format " + std::to_string(sequence.mFormat) +
                            " (0, 1 or 2 expected)");
    }
    if (sequence.mTrackCount == 0) {
        throw MIDIFileError("no tracks (the header's track count is 0)");
    }
    if (sequence.mFormat == 0 && sequence.mTrackCount != 1) {
        throw MIDIFileError("format 0 with " + std::to_string(sequence.mTrackCount) +
                            " tracks (exactly 1 expected)");
    }
    const size_t tracksStart = kChunkHeaderSize + length;
    const size_t room = (bytes.size() - tracksStart) / kSmallestTrackSize;
    if (sequence.mTrackCount > room) {
        throw MIDIFileError("absurd track count " + std::to_string(sequence.mTrackCount) +
                            ": the rest of the file has room for at most " + std::to_string(room));
    }
    return tracksStart;
}

// Reads the track chunks, skipping chunks of other types, and returns the tick where the last
// track ends. Format 2 tracks are independent patterns: each starts where the one before ends.
UInt64 ReadTracks(const std::vector<Byte>& bytes, size_t position, MIDISequence& sequence)
{
    UInt64 length = 0;
    for (UInt16 track = 0; track < sequence.mTrackCount;) {
        const size_t left = bytes.size() - position;
        if (left == 0) {
            throw MIDIFileError("the file ends after " + std::to_string(track) + " of " +
                                std::to_string(sequence.mTrackCount) + " tracks");
        }
        if (left < kChunkHeaderSize) {
            throw MIDIFileError("truncated chunk header at byte " + std::to_string(position) +
                                " (" + std::to_string(left) + " of 8 bytes)");
        }
        const bool isTrack = IsChunkType(&bytes[position], "MTrk");
        const UInt32 chunkLength = BigEndian(&bytes[position + 4], 4);
        if (chunkLength > left - kChunkHeaderSize) {
            const std::string chunk = isTrack ? "track " + std::to_string(track + 1) + ": chunk"
                                              : "chunk at byte " + std::to_string(position) + ":";
            throw MIDIFileError(chunk + " length " + std::to_string(chunkLength) +
                                " runs past the end of the file (" +
                                std::to_string(left - kChunkHeaderSize) + " bytes left)");
        }
        const size_t begin = position + kChunkHeaderSize;
        position = begin + chunkLength;
        if (isTrack) {
            const UInt64 start = sequence.mFormat == 2 ? length : 0;
            length = std::max(length,
                              TrackReader(bytes, begin, position, track, start, sequence).Read());
            ++track;
        }
    }
    return length;
}

} // namespace

MIDISequence MIDIFileReader::Read(const std::vector<Byte>& bytes, UInt32 sampleRate)
{
    if (bytes.size() > kMaxFileSize) {
        throw MIDIFileError("larger than " + std::to_string(kMaxFileSize >> 20) + " MiB");
    }
    MIDISequence sequence;
    sequence.mSampleRate = sampleRate;
    const size_t tracksStart = ReadHeader(bytes, sequence);
    TempoMap tempo(sequence.mDivision);
    if (!tempo.Problem().empty()) {
        throw MIDIFileError(tempo.Problem());
    }
    sequence.mLengthTicks = ReadTracks(bytes, tracksStart, sequence);

    // Events were read track by track, each in file order: a stable sort by tick alone gives
    // track order, then file order, at equal ticks.
    std::stable_sort(
        sequence.mEvents.begin(), sequence.mEvents.end(),
        [](const MIDIFileEvent& a, const MIDIFileEvent& b) { return a.mTick < b.mTick; });
    for (const MIDIFileEvent& event : sequence.mEvents) {
        if (event.IsMeta() && event.mMetaType == kMetaTempo) {
            tempo.AddTempoChange(event.mTick, BigEndian(sequence.Payload(event), kTempoDataLength));
        }
    }
    if (tempo.PositionAt(sequence.mLengthTicks, 1) > kMaxSeconds) {
        throw MIDIFileError("plays for more than " + std::to_string(kMaxSeconds / 3600) + " hours");
    }
    for (MIDIFileEvent& event : sequence.mEvents) {
        event.mSample = tempo.PositionAt(event.mTick, sampleRate);
    }
    sequence.mLengthSamples = tempo.PositionAt(sequence.mLengthTicks, sampleRate);
    return sequence;
}

MIDISequence MIDIFileReader::ReadFile(const std::string& path, UInt32 sampleRate)
{
    try {
        return Read(ReadFileBytes(path, kMaxFileSize), sampleRate);
    } catch (const std::runtime_error& error) {
        throw MIDIFileError(path + ": " + error.what());
    }
}
