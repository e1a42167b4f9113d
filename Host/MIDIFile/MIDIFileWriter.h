// Writes a Standard MIDI File, format 0 or 1. Events are added per track in any order; each
// track is written in tick order (equal ticks in the order added), with running status between
// channel messages and an end-of-track event. Also fixes the time base of recordings.
#pragma once

#include <MacTypes.h>

#include <vector>

class MIDIFileWriter {
public:
    // The time base of a recording: 120 beats per minute at 10000 ticks per quarter note makes
    // a tick 50 microseconds, so each event is written within 25 microseconds of its time.
    static constexpr UInt16 kRecordingDivision = 10000;
    static constexpr UInt32 kRecordingTempo = 500000;
    static constexpr UInt64 kNanosecondsPerRecordingTick = 50000;

    // An empty file of one track (format 0) or trackCount tracks (format 1). Throws
    // std::invalid_argument for another format, no tracks, or format 0 with more than one.
    MIDIFileWriter(UInt16 format, UInt16 division, UInt16 trackCount);

    // A format 0 file at the recording time base, its tempo set at tick 0.
    static MIDIFileWriter ForRecording();
    // The tick of the recording time base nearest to a time in nanoseconds.
    static UInt64 RecordingTick(UInt64 nanoseconds);

    // Adds one complete message as a device receives it: a channel message (status and its
    // data bytes), SysEx from F0 (it may be the first part of one divided over several events),
    // or another system message, which is written in escaped form. False, and nothing added,
    // for bytes that are no such message or a track that does not exist.
    bool AddMessage(UInt16 track, UInt64 tick, const Byte* bytes, size_t length);
    // Adds bytes sent as they are, in escaped (F7) form: the rest of a divided SysEx, or
    // anything else. False for a track that does not exist.
    bool AddEscape(UInt16 track, UInt64 tick, const Byte* bytes, size_t length);
    // Adds a meta event of any type but end of track, which the writer adds itself. False for
    // that type or a track that does not exist.
    bool AddMeta(UInt16 track, UInt64 tick, Byte type, const Byte* data, size_t length);
    bool AddTempo(UInt16 track, UInt64 tick, UInt32 microsecondsPerQuarter);
    // The track ends at its last event, or at endTick if that is later.
    void SetTrackEnd(UInt16 track, UInt64 endTick);

    // The file. Events more than 0x0FFFFFFF ticks apart, which no delta time can say, have empty
    // text events put between them. Throws std::length_error for an event of more data bytes.
    std::vector<Byte> Bytes() const;

private:
    struct Event {
        UInt64 mTick;
        Byte mStatus; // a channel status, kSysExStatus, kSysExEscapeStatus or kMetaStatus
        Byte mMetaType;
        std::vector<Byte> mData; // the data bytes; of SysEx from F0 those after the F0
    };
    struct Track {
        std::vector<Event> mEvents;
        UInt64 mEnd = 0;
    };

    bool Add(UInt16 track, UInt64 tick, Byte status, Byte metaType, const Byte* data,
             size_t length);

    UInt16 mFormat;
    UInt16 mDivision;
    std::vector<Track> mTracks;
};
