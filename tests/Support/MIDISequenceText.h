// The events of a MIDI file read by the host's reader, as text for readable expectations and
// for comparison with midicsv's reading (MidicsvReading.h writes bytes the same way).
#pragma once

#include "HexBytes.h"
#include "MIDIFile/MIDISequence.h"

#include <string>
#include <vector>

// A channel message "90 3C 64"; SysEx as sent "F0 7E 7F F7"; an escaped packet "F7 F8"; a meta
// event "FF 51 07 A1 20" (type and data, no length).
inline std::string EventText(const MIDISequence& sequence, const MIDIFileEvent& event)
{
    if (event.IsChannelMessage()) {
        const Byte bytes[] = {event.mStatus, event.mData1, event.mData2};
        return HexText(bytes, 1 + ChannelDataLength(event.mStatus));
    }
    std::string text = event.mStatus == kMetaStatus          ? "FF " + HexText(&event.mMetaType, 1)
                       : event.mStatus == kSysExEscapeStatus ? "F7"
                                                             : "";
    const std::string payload = HexText(sequence.Payload(event), event.mPayloadLength);
    return text.empty() || payload.empty() ? text + payload : text + " " + payload;
}

// Every event as "sample/track bytes": "22050/0 80 3C 40".
inline std::vector<std::string> TimedEventTexts(const MIDISequence& sequence)
{
    std::vector<std::string> texts;
    for (const MIDIFileEvent& event : sequence.mEvents) {
        texts.push_back(std::to_string(event.mSample) + "/" + std::to_string(event.mTrack) + " " +
                        EventText(sequence, event));
    }
    return texts;
}
