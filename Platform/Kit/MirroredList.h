// A list that writers change under a mutex of their own and that readers read without it: every
// change is copied into a mirror of the first entries under a sequence count, so that a reader on
// a real-time thread never waits for a writer that holds the mutex while it allocates. Only a
// reader that asks beyond the mirror, or meets a copy in progress on every try, takes the mutex.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <mutex>
#include <vector>

template <typename Entry, size_t Mirrored> class MirroredList {
public:
    // `mutex` is the writers' own, held around each change.
    explicit MirroredList(std::mutex& mutex) : mMutex(mutex) {}
    MirroredList(const MirroredList&) = delete;
    MirroredList& operator=(const MirroredList&) = delete;

    // With the mutex held. Room for one more entry: it may throw, so it comes before anything
    // else changes, and the Append after it does not.
    void Reserve() { mEntries.reserve(mEntries.size() + 1); }
    void Append(Entry entry)
    {
        mEntries.push_back(entry);
        Publish();
    }
    void Remove(Entry entry)
    {
        mEntries.erase(std::remove(mEntries.begin(), mEntries.end(), entry), mEntries.end());
        Publish();
    }

    // Without the mutex. [any-thread]
    size_t Size() const { return mSize.load(std::memory_order_acquire); }
    // The entry at `index`, or Entry{} beyond the end. [any-thread]
    Entry At(size_t index) const
    {
        if (index < Mirrored) {
            for (int attempt = 0; attempt < kAttempts; ++attempt) {
                const unsigned before = mSequence.load(std::memory_order_acquire);
                const size_t size = mSize.load(std::memory_order_acquire);
                const Entry entry =
                    index < size ? mMirror[index].load(std::memory_order_acquire) : Entry{};
                if (before % 2 == 0 && mSequence.load(std::memory_order_relaxed) == before)
                    return entry;
            }
        } else if (index >= Size()) {
            return Entry{};
        }
        std::lock_guard<std::mutex> lock(mMutex);
        return index < mEntries.size() ? mEntries[index] : Entry{};
    }

private:
    // A copy takes a few hundred stores at most; a reader that meets one on this many tries is
    // meeting writer after writer, and waits its turn.
    static constexpr int kAttempts = 64;

    // With the mutex held: an odd count while the mirror is being copied. Each entry is stored
    // with release and loaded with acquire, so a reader that sees anything of a newer copy also
    // sees the count that the copy began, and tries again.
    void Publish()
    {
        const unsigned sequence = mSequence.load(std::memory_order_relaxed);
        mSequence.store(sequence + 1, std::memory_order_relaxed);
        const size_t mirrored = std::min(mEntries.size(), Mirrored);
        for (size_t i = 0; i < mirrored; ++i)
            mMirror[i].store(mEntries[i], std::memory_order_release);
        mSize.store(mEntries.size(), std::memory_order_release);
        mSequence.store(sequence + 2, std::memory_order_release);
    }

    std::mutex& mMutex;
    std::vector<Entry> mEntries; // under the mutex
    std::atomic<size_t> mSize{0};
    std::atomic<unsigned> mSequence{0};
    std::array<std::atomic<Entry>, Mirrored> mMirror{};
};
