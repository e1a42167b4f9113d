#include "CAReaderEpochs.h"

#include <chrono>
#include <thread>

bool CAReaderEpochs::WaitForReaders()
{
    if (InReadSection())
        return false;
    std::lock_guard<std::mutex> lock(mWaitMutex);
    // A reader counts itself before it loads a pointer and the replacer unpublishes before it
    // reads the counts (all sequentially consistent), so a reader that loaded the old pointer is
    // seen on one of the two sides. Each side is emptied once while new readers go to the
    // other; a reader that read the side just before the turn adds itself at most once more.
    for (int pass = 0; pass < 2; ++pass) {
        const unsigned side = mSide.load(std::memory_order_relaxed);
        mSide.store(side ^ 1u, std::memory_order_seq_cst);
        for (int spins = 0; mReaders[side].load(std::memory_order_seq_cst) != 0; ++spins) {
            if (spins < 64)
                std::this_thread::yield();
            else
                std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    }
    return true;
}
