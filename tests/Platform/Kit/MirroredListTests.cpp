// The list the MIDI services keep their destinations in: what readers see after each kind of
// change, within the mirror and beyond it, and that a reader within the mirror does not wait for a
// writer that holds the mutex.
#include "MirroredList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr size_t kMirrored = 3;
using List = MirroredList<unsigned, kMirrored>;

enum class Change { kAppend, kRemove };

struct Step {
    Change change;
    unsigned entry;
};

void Apply(std::mutex& mutex, List& list, const std::vector<Step>& steps)
{
    for (const Step& step : steps) {
        std::lock_guard<std::mutex> lock(mutex);
        if (step.change == Change::kAppend) {
            list.Reserve();
            list.Append(step.entry);
        } else {
            list.Remove(step.entry);
        }
    }
}

std::vector<unsigned> Read(const List& list)
{
    std::vector<unsigned> entries;
    for (size_t i = 0; i < list.Size(); ++i)
        entries.push_back(list.At(i));
    return entries;
}

TEST(MirroredList, ReadersSeeEveryChangeInOrder)
{
    const Change a = Change::kAppend, r = Change::kRemove;
    struct Case {
        const char* what;
        std::vector<Step> steps;
        std::vector<unsigned> expected;
    };
    const Case cases[] = {
        {"nothing yet", {}, {}},
        {"appended in order", {{a, 1}, {a, 2}}, {1, 2}},
        {"the others keep their order when one goes", {{a, 1}, {a, 2}, {a, 3}, {r, 1}}, {2, 3}},
        {"one that comes back comes last", {{a, 1}, {a, 2}, {r, 1}, {a, 1}}, {2, 1}},
        {"removing what is not there changes nothing", {{a, 1}, {r, 9}}, {1}},
        {"beyond the mirror", {{a, 1}, {a, 2}, {a, 3}, {a, 4}, {a, 5}}, {1, 2, 3, 4, 5}},
        {"back into the mirror", {{a, 1}, {a, 2}, {a, 3}, {a, 4}, {r, 2}, {r, 3}}, {1, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::mutex mutex;
        List list(mutex);
        Apply(mutex, list, c.steps);
        EXPECT_EQ(Read(list), c.expected);
        EXPECT_EQ(list.At(c.expected.size()), 0u) << "past the end";
        EXPECT_EQ(list.At(kMirrored + 7), 0u) << "far past the end";
    }
}

TEST(MirroredList, AReaderWithinTheMirrorDoesNotWaitForTheWritersMutex)
{
    std::mutex mutex;
    List list(mutex);
    Apply(mutex, list,
          {{Change::kAppend, 1}, {Change::kAppend, 2}, {Change::kAppend, 3}, {Change::kAppend, 4}});
    std::atomic<bool> mirroredRead{false}, beyondRead{false};
    std::unique_lock<std::mutex> writer(mutex);
    std::thread reader([&] {
        EXPECT_EQ(list.Size(), 4u);
        EXPECT_EQ(list.At(kMirrored - 1), 3u);
        mirroredRead = true;
        EXPECT_EQ(list.At(kMirrored), 4u);
        beyondRead = true;
    });
    // Generous: a reader that waited for the mutex would wait for good.
    for (int i = 0; i < 1000 && !mirroredRead; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool readWhileHeld = mirroredRead;
    const bool beyondWhileHeld = beyondRead;
    writer.unlock();
    reader.join();
    EXPECT_TRUE(readWhileHeld) << "the reader waited for the writer";
    EXPECT_FALSE(beyondWhileHeld) << "an entry beyond the mirror is read under the mutex";
    EXPECT_TRUE(beyondRead);
}

} // namespace
