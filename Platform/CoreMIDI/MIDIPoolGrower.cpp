#include "MIDIPoolGrower.h"

#include "MIDIPacketQueue.h"

#include <RealTimeScheduling.h>

#include <algorithm>
#include <pthread.h>

void MIDIPoolGrower::Add(MIDIPacketQueue& queue)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mQueues.push_back(&queue);
}

void MIDIPoolGrower::Remove(MIDIPacketQueue& queue)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mQueues.erase(std::remove(mQueues.begin(), mQueues.end(), &queue), mQueues.end());
}

void MIDIPoolGrower::Run()
{
    pthread_setname_np(pthread_self(), "MIDI pool");
    // Busy threads at normal priority would otherwise hold it back while senders fill the pool;
    // without real-time scheduling it grows later, and bursts are refused sooner.
    RequestRealTimeScheduling(kRealTimePriorityMIDIPool);
    while (!mThread.Stopping()) {
        mThread.Wait();
        std::lock_guard<std::mutex> lock(mMutex);
        for (MIDIPacketQueue* queue : mQueues)
            queue->GrowWhileLow();
    }
}
