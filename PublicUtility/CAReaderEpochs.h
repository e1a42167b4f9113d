// Lets a real-time thread read objects that other threads replace, without a lock: a reader marks
// the span in which it may hold a published object, and a thread that has taken an object out of
// sight waits until every reader that could still hold it has left, before freeing it. Readers
// touch only two atomics and never wait; the waiting is all on the replacing side.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

class CAReaderEpochs {
public:
    CAReaderEpochs() = default;
    CAReaderEpochs(const CAReaderEpochs&) = delete;
    CAReaderEpochs& operator=(const CAReaderEpochs&) = delete;

    // The span in which the calling thread may use what it loads from the shared pointers. The
    // pointers must be loaded after it begins, with sequentially consistent loads. May nest.
    // [any-thread]
    class ReadSection {
    public:
        explicit ReadSection(CAReaderEpochs& epochs) : mEpochs(epochs), mSide(epochs.Enter()) {}
        ~ReadSection() { mEpochs.Leave(mSide); }
        ReadSection(const ReadSection&) = delete;
        ReadSection& operator=(const ReadSection&) = delete;

    private:
        CAReaderEpochs& mEpochs;
        const unsigned mSide;
    };

    // Waits until every read section that began before this call has ended, so that what was
    // unpublished before the call can be freed. Returns false at once, without waiting, on a
    // thread that is itself inside a read section (of any instance), which would wait for
    // itself: such a caller keeps its garbage for a later call. [host-thread]
    bool WaitForReaders();

    // Whether the calling thread is inside a read section. [any-thread]
    static bool InReadSection() { return tDepth > 0; }

private:
    unsigned Enter()
    {
        const unsigned side = mSide.load(std::memory_order_seq_cst);
        mReaders[side].fetch_add(1, std::memory_order_seq_cst);
        ++tDepth;
        return side;
    }
    void Leave(unsigned side)
    {
        --tDepth;
        mReaders[side].fetch_sub(1, std::memory_order_release);
    }

    // New readers count themselves on this side; a waiter turns them to the other one, so the
    // side it waits for can only empty.
    std::atomic<unsigned> mSide{0};
    std::atomic<uint32_t> mReaders[2]{};
    // Waiters take turns at turning the sides.
    std::mutex mWaitMutex;
    // In the static block every thread gets at its start: the lazily made block of a library
    // opened later would be allocated on a thread's first read, on the real-time path.
    static inline thread_local int tDepth __attribute__((tls_model("initial-exec"))) = 0;
};
