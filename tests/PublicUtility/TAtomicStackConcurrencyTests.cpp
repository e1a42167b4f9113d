#include "TAtomicStack.h"
#include "Watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct SharedNode {
    SharedNode* Next() const { return mNext; }
    void SetNext(SharedNode* next) { mNext = next; }
    SharedNode* mNext = nullptr;
    std::atomic<int> mHolders{0};
    long mTaken = 0; // written only by the thread that holds the node
};

// Threads take nodes from one stack and give them back, as the notification list's host threads
// take and the render thread returns free nodes. A node must never be held by two threads at
// once (what a stale successor read in pop would cause), and none may be lost.
TEST(TAtomicStackConcurrency, NodesTakenAndReturnedByManyThreadsAreNeverSharedNorLost)
{
    Watchdog watchdog(120, "TAtomicStackConcurrency");
    constexpr int kNodes = 8;
    constexpr int kThreads = 3;
    constexpr int kRounds = 100000;
    std::vector<SharedNode> nodes(kNodes);
    TAtomicStack<SharedNode> stack;
    for (SharedNode& node : nodes)
        stack.push_atomic(&node);

    std::atomic<long> shared{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < kRounds; ++round) {
                SharedNode* node = stack.pop_atomic();
                if (node == nullptr)
                    continue;
                if (node->mHolders.fetch_add(1) != 0)
                    shared.fetch_add(1);
                ++node->mTaken;
                node->mHolders.fetch_sub(1);
                stack.push_atomic(node);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    EXPECT_EQ(shared.load(), 0) << "a node was handed to two threads at once";
    EXPECT_EQ(stack.size_NA(), size_t(kNodes)) << "a node was lost or duplicated";
    long taken = 0;
    for (const SharedNode& node : nodes)
        taken += node.mTaken;
    EXPECT_GT(taken, 0);
}

// Producers push numbered nodes while a consumer drains with pop_all: every node arrives once.
TEST(TAtomicStackConcurrency, EveryPushedNodeIsDrainedExactlyOnce)
{
    Watchdog watchdog(120, "TAtomicStackConcurrency");
    constexpr int kPerProducer = 50000;
    std::vector<SharedNode> nodes(2 * kPerProducer);
    TAtomicStack<SharedNode> stack;
    std::atomic<int> producersDone{0};
    std::vector<int> seen(nodes.size(), 0);

    auto produce = [&](int first) {
        for (int i = first; i < first + kPerProducer; ++i)
            stack.push_atomic(&nodes[i]);
        producersDone.fetch_add(1);
    };
    std::thread consumer([&] {
        for (;;) {
            const bool last = producersDone.load() == 2;
            for (SharedNode* node = stack.pop_all(); node != nullptr;) {
                SharedNode* next = node->Next();
                ++seen[node - nodes.data()];
                node = next;
            }
            if (last)
                break;
        }
    });
    std::thread first(produce, 0), second(produce, kPerProducer);
    first.join();
    second.join();
    consumer.join();
    for (size_t i = 0; i < seen.size(); ++i)
        ASSERT_EQ(seen[i], 1) << "node " << i;
}

} // namespace
