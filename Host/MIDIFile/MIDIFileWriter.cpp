#include "MIDIFile/MIDIFileWriter.h"

#include "MIDIFile/MIDIFileEvent.h"

#include <algorithm>
#include <stdexcept>

namespace {

// The largest number four bytes of a variable-length number hold.
constexpr UInt64 kMaxVariableLength = 0x0FFFFFFF;

void PutBigEndian(std::vector<Byte>& out, UInt32 value, unsigned count)
{
    while (count-- > 0) {
        out.push_back(static_cast<Byte>(value >> (8 * count)));
    }
}

void PutVariableLength(std::vector<Byte>& out, UInt64 value)
{
    if (value > kMaxVariableLength) {
        throw std::length_error("MIDIFileWriter: data longer than 0x0FFFFFFF bytes");
    }
    Byte groups[4];
    unsigned count = 0;
    do {
        groups[count++] = value & 0x7F;
        value >>= 7;
    } while (value != 0);
    while (count > 1) {
        out.push_back(groups[--count] | 0x80);
    }
    out.push_back(groups[0]);
}

void PutChunk(std::vector<Byte>& out, const char* type, const std::vector<Byte>& data)
{
    out.insert(out.end(), type, type + 4);
    PutBigEndian(out, static_cast<UInt32>(data.size()), 4);
    out.insert(out.end(), data.begin(), data.end());
}

} // namespace

MIDIFileWriter::MIDIFileWriter(UInt16 format, UInt16 division, UInt16 trackCount)
    : mFormat(format), mDivision(division), mTracks(trackCount)
{
    if (format > 1 || trackCount == 0 || (format == 0 && trackCount != 1)) {
        throw std::invalid_argument("MIDIFileWriter: format 0 with one track or format 1");
    }
}

MIDIFileWriter MIDIFileWriter::ForRecording()
{
    MIDIFileWriter writer(0, kRecordingDivision, 1);
    writer.AddTempo(0, 0, kRecordingTempo);
    return writer;
}

UInt64 MIDIFileWriter::RecordingTick(UInt64 nanoseconds)
{
    return nanoseconds / kNanosecondsPerRecordingTick +
           (nanoseconds % kNanosecondsPerRecordingTick >= kNanosecondsPerRecordingTick / 2);
}

bool MIDIFileWriter::AddMessage(UInt16 track, UInt64 tick, const Byte* bytes, size_t length)
{
    if (length == 0 || bytes[0] < 0x80) {
        return false;
    }
    const Byte status = bytes[0];
    if (status < 0xF0) {
        if (length != 1 + ChannelDataLength(status) ||
            std::any_of(bytes + 1, bytes + length, [](Byte b) { return b >= 0x80; })) {
            return false;
        }
        return Add(track, tick, status, 0, bytes + 1, length - 1);
    }
    if (status == kSysExStatus) {
        return Add(track, tick, kSysExStatus, 0, bytes + 1, length - 1);
    }
    return AddEscape(track, tick, bytes, length);
}

bool MIDIFileWriter::AddEscape(UInt16 track, UInt64 tick, const Byte* bytes, size_t length)
{
    return Add(track, tick, kSysExEscapeStatus, 0, bytes, length);
}

bool MIDIFileWriter::AddMeta(UInt16 track, UInt64 tick, Byte type, const Byte* data, size_t length)
{
    if (type == kMetaEndOfTrack) {
        return false;
    }
    return Add(track, tick, kMetaStatus, type, data, length);
}

bool MIDIFileWriter::AddTempo(UInt16 track, UInt64 tick, UInt32 microsecondsPerQuarter)
{
    const Byte data[] = {Byte(microsecondsPerQuarter >> 16), Byte(microsecondsPerQuarter >> 8),
                         Byte(microsecondsPerQuarter)};
    return AddMeta(track, tick, kMetaTempo, data, sizeof data);
}

void MIDIFileWriter::SetTrackEnd(UInt16 track, UInt64 endTick)
{
    if (track < mTracks.size()) {
        mTracks[track].mEnd = std::max(mTracks[track].mEnd, endTick);
    }
}

bool MIDIFileWriter::Add(UInt16 track, UInt64 tick, Byte status, Byte metaType, const Byte* data,
                         size_t length)
{
    if (track >= mTracks.size()) {
        return false;
    }
    mTracks[track].mEvents.push_back(Event{tick, status, metaType, {data, data + length}});
    return true;
}

std::vector<Byte> MIDIFileWriter::Bytes() const
{
    std::vector<Byte> file;
    std::vector<Byte> header;
    PutBigEndian(header, mFormat, 2);
    PutBigEndian(header, static_cast<UInt32>(mTracks.size()), 2);
    PutBigEndian(header, mDivision, 2);
    PutChunk(file, "MThd", header);

    for (const Track& track : mTracks) {
        std::vector<const Event*> events;
        for (const Event& event : track.mEvents) {
            events.push_back(&event);
        }
        std::stable_sort(events.begin(), events.end(),
                         [](const Event* a, const Event* b) { return a->mTick < b->mTick; });
        std::vector<Byte> data;
        UInt64 tick = 0;
        Byte runningStatus = 0;
        auto putDelta = [&](UInt64 eventTick) {
            // No delta time says more than kMaxVariableLength: longer gaps are bridged by empty
            // text events, which readers pass over.
            while (eventTick - tick > kMaxVariableLength) {
                PutVariableLength(data, kMaxVariableLength);
                data.insert(data.end(), {kMetaStatus, kMetaText, 0});
                tick += kMaxVariableLength;
                runningStatus = 0;
            }
            PutVariableLength(data, eventTick - tick);
            tick = eventTick;
        };
        for (const Event* event : events) {
            putDelta(event->mTick);
            if (event->mStatus < 0xF0) {
                if (event->mStatus != runningStatus) {
                    data.push_back(event->mStatus);
                }
                runningStatus = event->mStatus;
            } else {
                // Readers that follow the letter of the format drop running status here.
                runningStatus = 0;
                data.push_back(event->mStatus);
                if (event->mStatus == kMetaStatus) {
                    data.push_back(event->mMetaType);
                }
                PutVariableLength(data, event->mData.size());
            }
            data.insert(data.end(), event->mData.begin(), event->mData.end());
        }
        putDelta(std::max(tick, track.mEnd));
        data.insert(data.end(), {kMetaStatus, kMetaEndOfTrack, 0});
        PutChunk(file, "MTrk", data);
    }
    return file;
}
