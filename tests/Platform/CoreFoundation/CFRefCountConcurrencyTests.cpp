#include "CFLeakCheck.h"
#include "CFTestObjects.h"
#include "Watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {
constexpr int kThreads = 4;

// Starts all threads together so that their work really overlaps.
template <class Work> void RunTogether(Work work)
{
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load()) {
                std::this_thread::yield();
            }
            work(t);
        });
    }
    go = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
}
} // namespace

TEST(CFRefCountConcurrency, RetainsAndReleasesFromManyThreadsBalance)
{
    Watchdog watchdog(60, "CFRefCountConcurrency.RetainsAndReleasesFromManyThreadsBalance");
    CFOwned<CFStringRef> shared(MakeString("shared"));
    constexpr int kRounds = 100000;
    // Each thread keeps t extra references at the end, so lost updates in either direction show.
    RunTogether([&](int t) {
        for (int i = 0; i < kRounds; ++i) {
            CFRetain(shared);
            CFRetain(shared);
            CFRelease(shared);
            if (i >= t) {
                CFRelease(shared);
            }
        }
    });
    EXPECT_EQ(CFGetRetainCount(shared), 1 + 0 + 1 + 2 + 3);
    RunTogether([&](int t) {
        for (int i = 0; i < t; ++i) {
            CFRelease(shared);
        }
    });
    EXPECT_EQ(CFGetRetainCount(shared), 1);
}

TEST(CFRefCountConcurrency, ObjectsMadeAndFreedOnDifferentThreadsAreCountedOnce)
{
    Watchdog watchdog(60,
                      "CFRefCountConcurrency.ObjectsMadeAndFreedOnDifferentThreadsAreCountedOnce");
    const CFIndex liveBefore = CFLiveObjectCount();
    {
        CFOwned<CFStringRef> element(MakeString("element"));
        constexpr int kObjects = 20000;
        // Every array holds `element`; each thread creates arrays and releases the ones another
        // thread created, so the last release often happens on a thread that did not create it.
        std::vector<std::vector<CFArrayRef>> made(kThreads, std::vector<CFArrayRef>(kObjects));
        RunTogether([&](int t) {
            const void* values[] = {element.get()};
            for (int i = 0; i < kObjects; ++i) {
                made[t][i] = CFArrayCreate(nullptr, values, 1, &kCFTypeArrayCallBacks);
                CFRetain(made[t][i]);
            }
        });
        EXPECT_EQ(CFGetRetainCount(element), 1 + kThreads * kObjects);
        RunTogether([&](int t) {
            for (int i = 0; i < kObjects; ++i) {
                CFRelease(made[t][i]);
                CFRelease(made[(t + 1) % kThreads][i]);
            }
        });
        EXPECT_EQ(CFGetRetainCount(element), 1);
    }
    EXPECT_EQ(CFLiveObjectCount(), liveBefore);
}

TEST(CFRefCountConcurrency, ConstantsInternedFromManyThreadsAreOneObjectEach)
{
    Watchdog watchdog(60, "CFRefCountConcurrency.ConstantsInternedFromManyThreadsAreOneObjectEach");
    constexpr int kNames = 500;
    std::vector<std::vector<CFStringRef>> seen(kThreads, std::vector<CFStringRef>(kNames));
    const CFIndex liveBefore = CFLiveObjectCount();
    RunTogether([&](int t) {
        for (int i = 0; i < kNames; ++i) {
            const std::string name = "concurrent constant " + std::to_string(i);
            seen[t][i] = __CFStringMakeConstantString(name.c_str());
            CFRelease(seen[t][i]); // constants ignore over-release
        }
    });
    for (int i = 0; i < kNames; ++i) {
        for (int t = 1; t < kThreads; ++t) {
            ASSERT_EQ(seen[t][i], seen[0][i]) << "name " << i;
        }
        EXPECT_EQ(TextOf(seen[0][i]), "concurrent constant " + std::to_string(i));
    }
    EXPECT_EQ(CFLiveObjectCount(), liveBefore);
}

TEST(CFRefCountConcurrency, PropertyListsAreReadAndWrittenOnManyThreadsAtOnce)
{
    Watchdog watchdog(60,
                      "CFRefCountConcurrency.PropertyListsAreReadAndWrittenOnManyThreadsAtOnce");
    CFOwned<CFMutableDictionaryRef> manifest(CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFOwned<CFNumberRef> version(MakeSInt64(0x00010000));
    CFDictionarySetValue(manifest, CFSTR("name"), CFSTR("Plenko: PlenkoOut"));
    CFDictionarySetValue(manifest, CFSTR("version"), version);
    CFOwned<CFDataRef> xml(
        CFPropertyListCreateData(nullptr, manifest, kCFPropertyListXMLFormat_v1_0, 0, nullptr));
    ASSERT_NE(xml.get(), nullptr);
    std::atomic<int> mismatches{0};
    RunTogether([&](int) {
        for (int i = 0; i < 300; ++i) {
            CFOwned<CFPropertyListRef> read(
                CFPropertyListCreateWithData(nullptr, xml, 0, nullptr, nullptr));
            CFOwned<CFDataRef> written(
                CFPropertyListCreateData(nullptr, read, kCFPropertyListXMLFormat_v1_0, 0, nullptr));
            if (!CFEqual(read, manifest) || !CFEqual(written, xml)) {
                ++mismatches;
            }
        }
    });
    EXPECT_EQ(mismatches.load(), 0);
}
