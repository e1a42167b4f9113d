#include "FixtureBundles.h"

#include "Watchdog.h"

#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CFString.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

AudioComponentPlugInInterface* NoFactory(const AudioComponentDescription*)
{
    return nullptr;
}

TEST(AudioComponentConcurrency, FirstLoadsSearchesRescansAndRegistrationsRaceSafely)
{
    Watchdog watchdog(120, "concurrent component use");
    OutputCapture errors(OutputCapture::kStderr); // each rescan reports the broken fixtures
    setenv("AUDIO_COMPONENT_PATH", FIXTURE_BUNDLES_DIR, 1);
    constexpr int kThreads = 4;
    constexpr int kRounds = 50;
    std::atomic<int> failures{0};
    std::atomic<int> opened{0};

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                if (t == 0) {
                    AudioComponentRescanBundles(); // broken fixtures report themselves again
                }
                const AudioComponentDescription mine{0x61756678, static_cast<OSType>(t), 0x52616365,
                                                     0, 0};
                if (AudioComponentRegister(&mine, CFSTR("Race"), 1, NoFactory) == nullptr) {
                    ++failures;
                }
                AudioComponent tiny = FindFixture(kTinyUnitSubType);
                AudioUnit unit = nullptr;
                if (tiny == nullptr || AudioComponentInstanceNew(tiny, &unit) != noErr ||
                    AudioUnitInitialize(unit) != noErr ||
                    AudioComponentInstanceDispose(unit) != noErr) {
                    ++failures;
                    continue;
                }
                ++opened;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(opened.load(), kThreads * kRounds);
    const AudioComponentDescription raced{0x61756678, 0, 0x52616365, 0, 0};
    EXPECT_EQ(AudioComponentCount(&raced), static_cast<UInt32>(kThreads * kRounds));
    const AudioComponentDescription tiny = FixtureDescription(kTinyUnitSubType);
    EXPECT_EQ(AudioComponentCount(&tiny), 1u);
}

} // namespace
