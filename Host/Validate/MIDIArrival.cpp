#include "MIDIArrival.h"

// The stand-in's splitting of packets into messages, shared with its JACK ports.
#include "MIDIMessageSplitter.h"

#include <algorithm>
#include <cstdio>

bool StampIsExact(const StampClock& clock, UInt64 position, MIDITimeStamp stamp)
{
    // position x ticks / rate as whole ticks and a remainder, without rounding.
    const UInt64 scaled = position * clock.mTicksPerSecond;
    const MIDITimeStamp floor = clock.mAnchor + scaled / clock.mSampleRate;
    const UInt64 remainder = scaled % clock.mSampleRate;
    const UInt64 nearness = clock.mSampleRate / 1000; // a thousandth of a tick
    if (stamp == floor)
        return true;
    if (stamp + 1 == floor)
        return remainder <= nearness;
    if (stamp == floor + 1)
        return clock.mSampleRate - remainder <= nearness;
    return false;
}

std::vector<ArrivedMessage> SplitPacket(const MIDIPacket& packet)
{
    std::vector<ArrivedMessage> messages;
    MIDIMessageSplitter splitter(packet.data, packet.length);
    const Byte* message = nullptr;
    UInt16 length = 0;
    while (splitter.Next(message, length))
        messages.push_back({std::vector<Byte>(message, message + length), packet.timeStamp});
    return messages;
}

std::string HexText(const std::vector<Byte>& bytes)
{
    std::string text;
    char byte[4];
    for (const Byte b : bytes) {
        std::snprintf(byte, sizeof byte, "%02X", b);
        text += (text.empty() ? "" : " ") + std::string(byte);
    }
    return text;
}

std::vector<std::string> CompareArrivals(const std::vector<SentMessage>& sent,
                                         const std::vector<ArrivedMessage>& arrived,
                                         const StampClock& clock, size_t most)
{
    std::vector<std::string> problems;
    size_t unreported = 0;
    auto report = [&](std::string text) {
        if (problems.size() < most)
            problems.push_back(std::move(text));
        else
            ++unreported;
    };
    if (arrived.size() != sent.size())
        report(std::to_string(sent.size()) + " messages sent, " + std::to_string(arrived.size()) +
               " arrived");
    const size_t common = std::min(sent.size(), arrived.size());
    for (size_t i = 0; i < common; ++i) {
        const std::string which = "message " + std::to_string(i + 1) + " (" +
                                  HexText(sent[i].mBytes) + " at sample " +
                                  std::to_string(sent[i].mPosition) + ")";
        if (arrived[i].mBytes != sent[i].mBytes) {
            // Once the order is lost, every later comparison says the same.
            report(which + " arrived as " + HexText(arrived[i].mBytes));
            break;
        }
        if (!StampIsExact(clock, sent[i].mPosition, arrived[i].mStamp)) {
            const long double due =
                (long double)clock.mAnchor + (long double)sent[i].mPosition *
                                                 (long double)clock.mTicksPerSecond /
                                                 (long double)clock.mSampleRate;
            char text[160];
            std::snprintf(text, sizeof text, ": stamp %llu, due at %.3Lf (%+lld ticks)",
                          (unsigned long long)arrived[i].mStamp, due,
                          (long long)(arrived[i].mStamp - (MIDITimeStamp)due));
            report(which + text);
        }
    }
    if (unreported > 0)
        problems.back() += "; and " + std::to_string(unreported) + " more";
    return problems;
}
