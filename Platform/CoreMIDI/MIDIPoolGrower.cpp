#include "MIDIPoolGrower.h"

#include "MIDIPacketQueue.h"

#include <algorithm>
#include <cerrno>
#include <pthread.h>
#include <system_error>

MIDIPoolGrower::MIDIPoolGrower()
{
    if (sem_init(&mWake, 0, 0) != 0)
        throw std::system_error(errno, std::generic_category(), "MIDI pool grower semaphore");
    try {
        mThread = std::thread(&MIDIPoolGrower::Run, this);
    } catch (...) {
        sem_destroy(&mWake);
        throw;
    }
}

MIDIPoolGrower::~MIDIPoolGrower()
{
    mStopping.store(true);
    sem_post(&mWake);
    mThread.join();
    sem_destroy(&mWake);
}

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
    while (!mStopping.load()) {
        while (sem_wait(&mWake) != 0 && errno == EINTR) {
        }
        std::lock_guard<std::mutex> lock(mMutex);
        for (MIDIPacketQueue* queue : mQueues)
            queue->GrowWhileLow();
    }
}
