#include "AUBaseTestUnit.h"
#include "Watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using aubase_test::SampleTime;
using aubase_test::TestBuffers;
using aubase_test::TestUnit;

constexpr int kSlices = 100000;
constexpr UInt32 kSliceFrames = 64;
constexpr int kEntriesPerHostThread = 4;

// One registrable entry. Only the render thread calls it, so its fields need no atomics.
struct Entry {
    long lastPrePass = -1;
    long lastPostPass = -1;
    long calls = 0;
    long duplicates = 0;
};

long sPass = 0; // the render thread's current pass, read only by notifications it calls

OSStatus CountPass(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*, UInt32,
                   UInt32, AudioBufferList*)
{
    auto* entry = static_cast<Entry*>(refCon);
    long& last =
        (*flags & kAudioUnitRenderAction_PreRender) ? entry->lastPrePass : entry->lastPostPass;
    if (last == sPass)
        ++entry->duplicates;
    last = sPass;
    ++entry->calls;
    return noErr;
}

TEST(RenderNotificationConcurrency, HostThreadsChangeTheListWhileARenderThreadWalksIt)
{
    Watchdog watchdog(120, "RenderNotificationConcurrency");
    auto unit = std::make_unique<TestUnit>();
    unit->PostConstructor();
    ASSERT_EQ(unit->DoInitialize(), noErr);

    std::vector<Entry> entries(2 * kEntriesPerHostThread);
    // What each host thread last asked for its own entries: true = added.
    std::vector<char> wanted(entries.size(), false);
    std::atomic<bool> renderDone{false};

    auto host = [&](int first, unsigned seed) {
        std::mt19937 random(seed);
        while (!renderDone.load(std::memory_order_acquire)) {
            const int index = first + int(random() % kEntriesPerHostThread);
            if (random() % 2 == 0) {
                EXPECT_EQ(unit->SetRenderNotification(CountPass, &entries[index]), noErr);
                wanted[index] = true;
            } else {
                EXPECT_EQ(unit->RemoveRenderNotification(CountPass, &entries[index]), noErr);
                wanted[index] = false;
            }
        }
    };

    OSStatus renderStatus = noErr;
    std::thread render([&] {
        TestBuffers buffers(kSliceFrames);
        AudioUnitRenderActionFlags flags = 0;
        for (int slice = 0; slice < kSlices && renderStatus == noErr; ++slice) {
            sPass = slice;
            renderStatus = unit->DoRender(flags, SampleTime(Float64(slice) * kSliceFrames), 0,
                                          kSliceFrames, buffers.List());
        }
        renderDone.store(true, std::memory_order_release);
    });
    std::thread hostA(host, 0, 1u);
    std::thread hostB(host, kEntriesPerHostThread, 2u);
    render.join();
    hostA.join();
    hostB.join();
    ASSERT_EQ(renderStatus, noErr);

    // One more pass applies what the host threads queued last.
    sPass = kSlices;
    TestBuffers buffers(kSliceFrames);
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(unit->DoRender(flags, SampleTime(Float64(kSlices) * kSliceFrames), 0, kSliceFrames,
                             buffers.List()),
              noErr);

    std::set<void*> active;
    for (auto it = unit->RenderCallbackList().begin(); it != unit->RenderCallbackList().end(); ++it)
        EXPECT_TRUE(active.insert((*it).mRenderNotifyRefCon).second) << "an entry is active twice";
    long calls = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(active.count(&entries[i]) == 1, bool(wanted[i])) << "entry " << i;
        EXPECT_EQ(entries[i].duplicates, 0) << "entry " << i << " was called twice in a pass";
        calls += entries[i].calls;
    }
    EXPECT_GT(calls, 0) << "the render thread saw the host threads' entries";

    const auto& list = unit->RenderCallbackList();
    EXPECT_EQ(list.HeldNodeCount(), list.AllocatedNodeCount()) << "a node was lost";
}

OSStatus Ignore(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                AudioBufferList*)
{
    return noErr;
}

void CountListenerCall(void* refCon, AudioUnit, AudioUnitPropertyID, AudioUnitScope,
                       AudioUnitElement)
{
    ++*static_cast<long*>(refCon); // called on the render thread only
}

// The host reads the last render error (and so resets it) while the render thread records new
// ones: every error recorded, and so notified, is read exactly once or still waits at the end.
TEST(RenderNotificationConcurrency, LastRenderErrorIsTakenByTheHostWhileTheRenderThreadRecords)
{
    Watchdog watchdog(120, "LastRenderError");
    auto unit = std::make_unique<TestUnit>();
    unit->PostConstructor();
    ASSERT_EQ(unit->DoInitialize(), noErr);
    ASSERT_EQ(unit->SetRenderNotification(Ignore, nullptr), noErr); // errors are now recorded
    long notified = 0;
    unit->AddPropertyListener(kAudioUnitProperty_LastRenderError, CountListenerCall, &notified);
    unit->mRenderResult = -33;

    std::atomic<bool> renderDone{false};
    std::thread render([&] {
        TestBuffers buffers(kSliceFrames);
        AudioUnitRenderActionFlags flags = 0;
        for (int slice = 0; slice < kSlices / 4; ++slice)
            unit->DoRender(flags, SampleTime(Float64(slice) * kSliceFrames), 0, kSliceFrames,
                           buffers.List());
        renderDone.store(true, std::memory_order_release);
    });
    long taken = 0;
    while (!renderDone.load(std::memory_order_acquire))
        if (unit->TakeLastRenderError() == -33)
            ++taken;
    render.join();
    if (unit->TakeLastRenderError() == -33)
        ++taken;
    EXPECT_EQ(taken, notified);
    EXPECT_GT(notified, 0);
}

TEST(RenderNotificationConcurrency, LoggingStringAskedByTwoThreadsAtOnceIsBuiltOnce)
{
    Watchdog watchdog(60, "LoggingString");
    for (int round = 0; round < 50; ++round) {
        auto unit = std::make_unique<TestUnit>();
        std::atomic<int> ready{0};
        std::string seen[2];
        auto ask = [&](int slot) {
            ready.fetch_add(1);
            while (ready.load() < 2) {
            }
            seen[slot] = unit->GetLoggingString();
        };
        std::thread first(ask, 0), second(ask, 1);
        first.join();
        second.join();
        // Each thread copied the text as soon as it had it: a half-built string would show.
        ASSERT_EQ(seen[0], unit->GetLoggingString());
        ASSERT_EQ(seen[1], unit->GetLoggingString());
        ASSERT_EQ(seen[0].rfind("AU (", 0), 0u);
    }
}

} // namespace
