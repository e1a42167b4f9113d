// A writer changes the list while readers read it without the mutex: the entry that never moves
// is read as it is every time, the others are read as entries of the list or as the end.
#include "MirroredList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(MirroredListConcurrency, ReadersSeeWholeEntriesWhileTheWriterChangesTheList)
{
    constexpr unsigned kFirst = 100, kComing = 7, kGoing = 8;
    constexpr int kChanges = 20000;
    std::mutex mutex;
    MirroredList<unsigned, 4> list(mutex);
    const auto change = [&](bool append, unsigned entry) {
        std::lock_guard<std::mutex> lock(mutex);
        if (append) {
            list.Reserve();
            list.Append(entry);
        } else {
            list.Remove(entry);
        }
    };
    change(true, kFirst);
    change(true, kGoing);
    std::atomic<bool> done{false};
    std::atomic<long> wrong{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r)
        readers.emplace_back([&] {
            while (!done) {
                if (list.At(0) != kFirst)
                    ++wrong;
                for (size_t i = 1; i < 3; ++i) {
                    const unsigned entry = list.At(i);
                    if (entry != 0 && entry != kComing && entry != kGoing)
                        ++wrong;
                }
                if (list.Size() < 1 || list.Size() > 3)
                    ++wrong;
            }
        });
    for (int i = 0; i < kChanges; ++i) {
        change(true, kComing);
        change(false, kGoing);
        change(true, kGoing);
        change(false, kComing);
    }
    done = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(wrong.load(), 0);
}
