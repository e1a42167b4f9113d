#include "RecordingUnit.h"

#include "Watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Counts how many constructions are under way at once.
class CrowdedUnit : public ComponentBase {
public:
    explicit CrowdedUnit(AudioComponentInstance instance) : ComponentBase(instance)
    {
        const int inside = ++sInside;
        int seen = sMostInside.load();
        while (inside > seen && !sMostInside.compare_exchange_weak(seen, inside)) {
        }
        // Long enough for the other thread to arrive while this construction runs.
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        --sInside;
    }
    static inline std::atomic<int> sInside{0};
    static inline std::atomic<int> sMostInside{0};
};

TEST(ComponentInitLockerConcurrency, TwoOpensOnTwoThreadsNeverConstructAtTheSameTime)
{
    Watchdog watchdog(120, "concurrent opens");
    const AudioComponentDescription description = RecordingDescription(0x43726f77);
    AudioComponent component = AudioComponentRegister(&description, CFSTR("Tests: Crowded"), 1,
                                                      APFactory<NoSelectors, CrowdedUnit>::Factory);
    ASSERT_NE(component, nullptr);
    constexpr int kOpensPerThread = 300;
    std::atomic<int> failures{0};

    auto openAndClose = [&] {
        for (int i = 0; i < kOpensPerThread; ++i) {
            AudioComponentInstance instance = nullptr;
            if (AudioComponentInstanceNew(component, &instance) != noErr ||
                AudioComponentInstanceDispose(instance) != noErr) {
                ++failures;
            }
        }
    };
    std::thread first(openAndClose);
    std::thread second(openAndClose);
    first.join();
    second.join();

    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(CrowdedUnit::sMostInside.load(), 1);
    EXPECT_EQ(ComponentBase::sNewInstanceType, 0);
}

} // namespace
