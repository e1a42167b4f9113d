// The grid every player of the timing benchmark plays: 500 controller messages on steps 10 ms
// apart, every fourth step a chord of three, after a first message that makes the players' ports
// a second earlier. Event n carries its number in its controller (20 to 23) and value.
#pragma once

#include <MacTypes.h>

#include <vector>

namespace TimingGrid {

constexpr int kEvents = 500;
constexpr UInt64 kStepNanos = 10000000;
constexpr UInt64 kLeadInNanos = 1000000000;
constexpr Byte kFirstController = 20;
constexpr Byte kWarmUpController = 24;

// The step of each event.
inline std::vector<int> EventSteps()
{
    std::vector<int> steps;
    for (int step = 0; int(steps.size()) < kEvents; ++step)
        for (int k = 0; k < (step % 4 == 0 ? 3 : 1) && int(steps.size()) < kEvents; ++k)
            steps.push_back(step);
    return steps;
}

// When event n is due after the warm-up message.
inline UInt64 EventNanos(int step)
{
    return kLeadInNanos + UInt64(step) * kStepNanos;
}

inline std::vector<Byte> EventBytes(int n)
{
    return {0xB0, Byte(kFirstController + (n >> 7)), Byte(n & 0x7F)};
}

inline std::vector<Byte> WarmUpBytes()
{
    return {0xB0, kWarmUpController, 0};
}

// The number of a grid event, or -1 for any other message.
inline int NumberOf(const Byte* bytes, size_t length)
{
    if (length != 3 || bytes[0] != 0xB0 || bytes[1] < kFirstController ||
        bytes[1] >= kFirstController + 4)
        return -1;
    const int n = (bytes[1] - kFirstController) << 7 | bytes[2];
    return n < kEvents ? n : -1;
}

} // namespace TimingGrid
