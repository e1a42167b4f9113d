// Grows the MIDI services' packet pools on a thread of its own, so that a sender never allocates:
// a pool asks for room once a quarter of it is in use, long before it is full.
#pragma once

#include "WakeableThread.h"

#include <mutex>
#include <vector>

class MIDIPacketQueue;

class MIDIPoolGrower {
public:
    // Starts the thread; throws std::system_error when it cannot.
    MIDIPoolGrower() = default;
    MIDIPoolGrower(const MIDIPoolGrower&) = delete;
    MIDIPoolGrower& operator=(const MIDIPoolGrower&) = delete;

    // A queue is served from Add until Remove returns (which waits for a growth in progress).
    // [host-thread]
    void Add(MIDIPacketQueue& queue);
    void Remove(MIDIPacketQueue& queue);
    // Wakes the thread to grow the queues that want it. [render-thread]
    void Request() { mThread.Wake(); }

private:
    void Run();

    std::mutex mMutex; // the queue list, held while the thread grows one of them
    std::vector<MIDIPacketQueue*> mQueues;
    WakeableThread mThread{[this] { Run(); }};
};
