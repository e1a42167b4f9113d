// MIDI as a host sends it, into slices at their offsets. A unit that sends MIDI to a destination
// chosen by a parameter (one whose value strings name the destinations) is made to send to the
// validator's own monitor, where every message must arrive once, in order, stamped with the host
// time its sample position names.
#include "CheckBodies.h"
#include "MIDIArrival.h"
#include "Monitor/MonitorEndpoint.h"
#include "UnitUnderTest.h"

#include <AudioUnit/MusicDevice.h>
#include <CoreAudio/HostTime.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

constexpr Float64 kSampleRate = 44100;
constexpr UInt32 kSliceFrames = 512;
constexpr int kMessageSlices = 64;
constexpr int kRandomSlices = 32;
constexpr long kMostPerSlice = 6;
constexpr std::chrono::seconds kArrivalWait{3};

// What reaches the monitor, message by message: its ring takes each packet as the MIDI services
// deliver it, at once, since the monitor asks for everything as early as can be.
class MonitorArrivals {
public:
    MonitorArrivals() : mDestination(Settings()) {}

    // Waits until `done` holds for what arrived, or the wait ends; returns what arrived.
    template <class Done> std::vector<ArrivedMessage> WaitUntil(Done done)
    {
        const auto until = std::chrono::steady_clock::now() + kArrivalWait;
        for (;;) {
            MIDIPacket packet;
            UInt64 arrival = 0;
            while (mDestination.Pop(packet, arrival))
                for (ArrivedMessage& message : SplitPacket(packet))
                    mMessages.push_back(std::move(message));
            if (done(mMessages) || std::chrono::steady_clock::now() >= until)
                return mMessages;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

private:
    static RecordingSettings Settings()
    {
        RecordingSettings settings = MonitorEndpoint::Settings();
        settings.mAskEarly = true;
        settings.mRingPackets = 4096;
        return settings;
    }

    RecordingDestination mDestination;
    std::vector<ArrivedMessage> mMessages;
};

// Sets the parameter whose value strings name the monitor to the monitor's value; false when
// the unit has none.
bool ChooseMonitor(const UnitUnderTest& unit)
{
    for (const ParameterAddress& address : unit.Parameters()) {
        const std::vector<std::string> strings = unit.ValueStrings(address);
        const auto found = std::find(strings.begin(), strings.end(), MonitorEndpoint::kName);
        AudioUnitParameterInfo info;
        if (found == strings.end() || unit.ParameterInfo(address, info) != noErr)
            continue;
        return unit.SetParameter(address, info.minValue + Float32(found - strings.begin())) ==
               noErr;
    }
    return false;
}

// One channel message of a random kind on a random channel.
std::vector<Byte> RandomChannelMessage(ValidationContext& context)
{
    static const Byte kKinds[] = {0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0};
    const Byte status = Byte(kKinds[context.RandomBetween(0, 6)] | context.RandomBetween(0, 15));
    const auto data = [&](long first) { return Byte(context.RandomBetween(first, 127)); };
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
        return {status, data(0)};
    case 0x90:
        return {status, data(0), data(1)}; // a velocity of 0 would be a note off
    case 0xB0:
        return {status, Byte(context.RandomBetween(0, 119)), data(0)}; // no mode messages
    default:
        return {status, data(0), data(0)};
    }
}

OSStatus Send(const UnitUnderTest& unit, const std::vector<Byte>& bytes, UInt32 offset)
{
    return unit.MIDI(bytes[0], bytes.size() > 1 ? bytes[1] : 0, bytes.size() > 2 ? bytes[2] : 0,
                     offset);
}

// Sorted random offsets into a slice, as many as `count`.
std::vector<UInt32> RandomOffsets(ValidationContext& context, long count)
{
    std::vector<UInt32> offsets;
    for (long i = 0; i < count; ++i)
        offsets.push_back(UInt32(context.RandomBetween(0, kSliceFrames - 1)));
    std::sort(offsets.begin(), offsets.end());
    return offsets;
}

bool RenderSlice(ValidationContext& context, UnitUnderTest& unit)
{
    const OSStatus status = unit.Render(kSliceFrames);
    return context.Expect(status == noErr, "a render call at sample " +
                                               std::to_string(long(unit.SampleTime())) +
                                               " returned " + std::to_string(status));
}

} // namespace

void CheckMIDIMessages(ValidationContext& context)
{
    MonitorArrivals arrivals;
    UnitUnderTest unit(context.Component());
    unit.Prepare(kSampleRate, kSliceFrames);
    const bool monitored = ChooseMonitor(unit);

    std::vector<SentMessage> sent;
    // The unit anchors its clock during the first render call: sample 0 is due within it.
    MIDITimeStamp firstCallStart = 0;
    MIDITimeStamp firstCallEnd = 0;
    for (int slice = 0; slice < kMessageSlices; ++slice) {
        std::vector<UInt32> offsets =
            RandomOffsets(context, context.RandomBetween(0, kMostPerSlice));
        if (slice == 0)
            offsets.insert(offsets.begin(), 0); // the first message names the anchor
        for (const UInt32 offset : offsets) {
            const std::vector<Byte> bytes = RandomChannelMessage(context);
            const OSStatus status = Send(unit, bytes, offset);
            if (!context.Expect(status == noErr, HexText(bytes) + " at offset " +
                                                     std::to_string(offset) + " returned " +
                                                     std::to_string(status)))
                return;
            sent.push_back({bytes, UInt64(unit.SampleTime()) + offset});
        }
        if (slice == 0)
            firstCallStart = AudioGetCurrentHostTime();
        if (!RenderSlice(context, unit))
            return;
        if (slice == 0)
            firstCallEnd = AudioGetCurrentHostTime();
    }
    if (!monitored) {
        context.Note(std::to_string(sent.size()) +
                     " messages taken; the unit has no parameter choosing a MIDI destination");
        return;
    }
    const std::vector<ArrivedMessage> arrived =
        arrivals.WaitUntil([&](const std::vector<ArrivedMessage>& messages) {
            return messages.size() >= sent.size();
        });
    if (!context.Expect(!arrived.empty(), std::to_string(sent.size()) +
                                              " messages sent to the monitor, none arrived"))
        return;
    const MIDITimeStamp anchor = arrived.front().mStamp;
    context.Expect(anchor >= firstCallStart && anchor <= firstCallEnd,
                   "the message at sample 0 is stamped " + std::to_string(anchor) +
                       ", outside the first render call (host times " +
                       std::to_string(firstCallStart) + " to " + std::to_string(firstCallEnd) +
                       ")");
    const StampClock clock{anchor, UInt64(AudioGetHostClockFrequency()), UInt64(kSampleRate)};
    for (const std::string& problem : CompareArrivals(sent, arrived, clock))
        context.Fail(problem);
    context.Note(std::to_string(sent.size()) + " messages arrived in order, stamps exact");
}

void CheckMIDIRandomBytes(ValidationContext& context)
{
    MonitorArrivals arrivals;
    UnitUnderTest unit(context.Component());
    unit.Prepare(kSampleRate, kSliceFrames);
    const bool monitored = ChooseMonitor(unit);
    const auto randomByte = [&] { return Byte(context.RandomBetween(0, 255)); };
    for (int slice = 0; slice < kRandomSlices; ++slice) {
        for (const UInt32 offset : RandomOffsets(context, context.RandomBetween(0, 8)))
            unit.MIDI(randomByte(), randomByte(), randomByte(), offset);
        std::vector<UInt8> sysEx(size_t(context.RandomBetween(1, 64)));
        std::generate(sysEx.begin(), sysEx.end(), randomByte);
        MusicDeviceSysEx(unit.Unit(), sysEx.data(), UInt32(sysEx.size()));
        if (!RenderSlice(context, unit))
            return;
    }
    const std::vector<Byte> noteOn = {0x90, 0x3C, 0x64};
    const std::vector<Byte> noteOff = {0x80, 0x3C, 0x40};
    Send(unit, noteOn, 0);
    Send(unit, noteOff, kSliceFrames - 1);
    if (!RenderSlice(context, unit) || !monitored)
        return;
    const std::vector<ArrivedMessage> arrived =
        arrivals.WaitUntil([&](const std::vector<ArrivedMessage>& messages) {
            return !messages.empty() && messages.back().mBytes == noteOff;
        });
    for (const ArrivedMessage& message : arrived) {
        const bool wellFormed = !message.mBytes.empty() && message.mBytes[0] >= 0x80 &&
                                std::all_of(message.mBytes.begin() + 1, message.mBytes.end(),
                                            [](Byte b) { return b < 0x80; });
        if (!context.Expect(wellFormed,
                            "the unit sent a malformed message: " + HexText(message.mBytes)))
            break;
    }
    const size_t count = arrived.size();
    context.Expect(count >= 2 && arrived[count - 2].mBytes == noteOn &&
                       arrived[count - 1].mBytes == noteOff,
                   "a note sent after the random bytes did not arrive whole (" +
                       std::to_string(count) + " messages arrived)");
}
