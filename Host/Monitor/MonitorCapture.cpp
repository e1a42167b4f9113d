#include "Monitor/MonitorCapture.h"

#include "MIDIFile/MIDIFileEvent.h"

#include "MIDIMessageSplitter.h"

#include <CoreAudio/HostTime.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

std::string Channel(const Byte* bytes)
{
    return " channel " + std::to_string((bytes[0] & 0x0F) + 1);
}

std::string Milliseconds(SInt64 nanoseconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", double(nanoseconds) / 1e6);
    return text;
}

} // namespace

MonitorCapture::MonitorCapture() : mIncoming(kRingPackets)
{
    mArrivals.reserve(4096);
    mLateness.reserve(4096);
}

void MonitorCapture::ReadPackets(const MIDIPacketList* list, void* refCon, void*)
{
    static_cast<MonitorCapture*>(refCon)->mIncoming.Take(list, AudioGetCurrentHostTime());
}

void MonitorCapture::Reserve(size_t messages)
{
    mArrivals.reserve(messages);
    if (mMeasuringLateness) {
        mLateness.reserve(messages);
    }
}

size_t MonitorCapture::Drain(std::ostream* out)
{
    const UInt64 before = mReceived.load(std::memory_order_relaxed);
    MIDIPacket packet;
    UInt64 arrival = 0;
    while (mIncoming.Pop(packet, arrival)) {
        Take(packet, arrival, out);
    }
    return size_t(mReceived.load(std::memory_order_relaxed) - before);
}

void MonitorCapture::Take(const MIDIPacket& packet, UInt64 arrival, std::ostream* out)
{
    // A stamp of 0 means "now": its time is its arrival, and it cannot be late.
    const bool stamped = packet.timeStamp != 0;
    const UInt64 stamp = stamped ? packet.timeStamp : arrival;
    const UInt64 time = stamp > mTimeZero ? stamp - mTimeZero : 0;
    const SInt64 lateness = SInt64(arrival - stamp) - mIntendedDelay;
    MIDIMessageSplitter splitter(packet.data, packet.length);
    const Byte* bytes = nullptr;
    UInt16 length = 0;
    while (splitter.Next(bytes, length)) {
        Arrival arrival{time, {}, UInt8(std::min<UInt16>(length, 3))};
        std::copy(bytes, bytes + arrival.mLength, arrival.mBytes);
        mArrivals.push_back(arrival);
        if (stamped && mMeasuringLateness) {
            mLateness.push_back(lateness);
        }
        mReceived.fetch_add(1, std::memory_order_release);
        if (out == nullptr) {
            continue;
        }
        char head[64];
        std::snprintf(head, sizeof head, "monitor %10.6f s ", double(time) / 1e9);
        std::string hex;
        for (UInt16 i = 0; i < length; ++i) {
            char byte[4];
            std::snprintf(byte, sizeof byte, " %02X", bytes[i]);
            hex += byte;
        }
        hex.resize(std::max<size_t>(hex.size(), 9), ' ');
        *out << head << hex << "  " << Describe(bytes, length);
        if (stamped && mMeasuringLateness) {
            *out << "  (late " << Milliseconds(lateness) << ')';
        }
        *out << '\n';
    }
}

std::vector<SInt64> MonitorCapture::SortedLateness() const
{
    std::vector<SInt64> sorted = mLateness;
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

std::vector<Byte> MonitorCapture::Recording() const
{
    MIDIFileWriter writer = MIDIFileWriter::ForRecording();
    for (const Arrival& arrival : mArrivals) {
        writer.AddMessage(0, MIDIFileWriter::RecordingTick(arrival.mTime), arrival.mBytes,
                          arrival.mLength);
    }
    return writer.Bytes();
}

std::string MonitorCapture::Describe(const Byte* bytes, size_t length)
{
    const Byte status = length > 0 ? bytes[0] : 0;
    const size_t needed = status >= 0xF0 ? 1 : status >= 0x80 ? 1 + ChannelDataLength(status) : 0;
    if (length == 0 || length < needed || status < 0x80) {
        return "incomplete message";
    }
    const std::string data1 = length > 1 ? std::to_string(bytes[1]) : "";
    const std::string data2 = length > 2 ? std::to_string(bytes[2]) : "";
    switch (status & 0xF0) {
    case 0x80:
        return "note off " + data1 + " velocity " + data2 + Channel(bytes);
    case 0x90:
        return (bytes[2] == 0 ? "note off " : "note on ") + data1 + " velocity " + data2 +
               Channel(bytes);
    case 0xA0:
        return "key pressure " + data1 + " value " + data2 + Channel(bytes);
    case 0xB0:
        return "controller " + data1 + " value " + data2 + Channel(bytes);
    case 0xC0:
        return "program " + data1 + Channel(bytes);
    case 0xD0:
        return "channel pressure " + data1 + Channel(bytes);
    case 0xE0:
        return "pitch bend " + std::to_string(bytes[1] | bytes[2] << 7) + Channel(bytes);
    default:
        return "system message";
    }
}
