#include "MIDIMessageQueue.h"

#include <algorithm>

MIDIMessageQueue::MIDIMessageQueue(size_t reserved)
{
    mPending.reserve(reserved);
}

void MIDIMessageQueue::Append(const MIDIMessageInfoStruct& message)
{
    // Declared before the lock, so that the old storage is freed after the lock is let go.
    Batch larger;
    for (;;) {
        size_t wanted;
        {
            std::lock_guard<std::mutex> lock(mLock);
            if (mPending.size() < mPending.capacity()) {
                mPending.push_back({message});
                mWaiting.store(mPending.size(), std::memory_order_release);
                return;
            }
            if (larger.capacity() > mPending.size()) {
                larger.assign(mPending.begin(), mPending.end());
                larger.push_back({message});
                mPending.swap(larger);
                mWaiting.store(mPending.size(), std::memory_order_release);
                break;
            }
            wanted = std::max<size_t>(64, 2 * mPending.capacity());
        }
        larger.reserve(wanted);
    }
}

void MIDIMessageQueue::TakeAll(Batch& batch)
{
    std::lock_guard<std::mutex> lock(mLock);
    mPending.swap(batch);
    mWaiting.store(mPending.size(), std::memory_order_release);
}
