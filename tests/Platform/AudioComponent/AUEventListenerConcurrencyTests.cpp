#include "Watchdog.h"

#include <AudioToolbox/AudioToolbox.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace {

AudioUnitEvent PropertyChange(AudioUnitPropertyID id)
{
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_PropertyChange;
    event.mArgument.mProperty = {nullptr, id, 0, 0};
    return event;
}

// A listener that stays inside its delivery until it is released.
struct Gate {
    std::atomic<bool> entered{false};
    std::promise<void> release;
};

void WaitAtGate(void* refCon, void*, const AudioUnitEvent*, UInt64, AudioUnitParameterValue)
{
    auto* gate = static_cast<Gate*>(refCon);
    gate->entered = true;
    gate->release.get_future().wait();
}

void Count(void* refCon, void*, const AudioUnitEvent*, UInt64, AudioUnitParameterValue)
{
    ++*static_cast<std::atomic<int>*>(refCon);
}

TEST(AUEventListenerConcurrency, NotifyAndChangesNeverWaitForADeliveryOnAnotherThread)
{
    Watchdog watchdog(60, "notify beside a blocked delivery");
    const AudioUnitEvent slow = PropertyChange(0x51000001);
    const AudioUnitEvent quick = PropertyChange(0x51000002);
    Gate gate;
    std::atomic<int> quickCalls{0};
    AUEventListenerRef blocking = nullptr;
    AUEventListenerRef counting = nullptr;
    ASSERT_EQ(AUEventListenerCreate(WaitAtGate, &gate, &blocking), noErr);
    ASSERT_EQ(AUEventListenerCreate(Count, &quickCalls, &counting), noErr);
    ASSERT_EQ(AUEventListenerAddEventType(blocking, nullptr, &slow), noErr);
    ASSERT_EQ(AUEventListenerAddEventType(counting, nullptr, &quick), noErr);

    std::thread slowDelivery([&] { AUEventListenerNotify(nullptr, nullptr, &slow); });
    while (!gate.entered) {
        std::this_thread::yield();
    }
    auto quickDelivery = std::async(std::launch::async, [&] {
        AUEventListenerNotify(nullptr, nullptr, &quick);
        return AUEventListenerAddEventType(counting, nullptr, &slow);
    });

    const bool finished =
        quickDelivery.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    gate.release.set_value();
    slowDelivery.join();
    EXPECT_TRUE(finished) << "a delivery waited for another thread's listener";
    EXPECT_EQ(quickDelivery.get(), noErr);
    EXPECT_EQ(quickCalls.load(), 1);
    EXPECT_EQ(AUListenerDispose(blocking), noErr);
    EXPECT_EQ(AUListenerDispose(counting), noErr);
}

// What a listener's reference constant points to; dead once its removal has returned.
struct Target {
    std::atomic<bool> dead{false};
    std::atomic<int> calls{0};
    std::atomic<int>* callsAfterRemoval;
};

void CheckAlive(void* refCon, void*, const AudioUnitEvent*, UInt64, AudioUnitParameterValue)
{
    auto* target = static_cast<Target*>(refCon);
    ++target->calls;
    std::this_thread::sleep_for(std::chrono::microseconds(20)); // a removal arrives meanwhile
    if (target->dead) {
        ++*target->callsAfterRemoval;
    }
}

TEST(AUEventListenerConcurrency, NoListenerIsCalledAfterItsRemovalReturns)
{
    Watchdog watchdog(120, "removals beside notifying threads");
    const AudioUnitEvent event = PropertyChange(0x52000001);
    std::atomic<bool> stop{false};
    std::atomic<int> callsAfterRemoval{0};
    std::vector<std::thread> notifiers;
    for (int t = 0; t < 2; ++t) {
        notifiers.emplace_back([&] {
            while (!stop) {
                AUEventListenerNotify(nullptr, nullptr, &event);
                std::this_thread::yield();
            }
        });
    }

    constexpr int kRounds = 1000;
    std::vector<std::unique_ptr<Target>> targets;
    for (int round = 0; round < kRounds; ++round) {
        targets.push_back(std::make_unique<Target>());
        Target& target = *targets.back();
        target.callsAfterRemoval = &callsAfterRemoval;
        AUEventListenerRef listener = nullptr;
        ASSERT_EQ(AUEventListenerCreate(CheckAlive, &target, &listener), noErr);
        ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &event), noErr);
        while (target.calls == 0) { // removed while the notifiers are busy calling it
            std::this_thread::yield();
        }
        if (round % 2 == 0) {
            ASSERT_EQ(AUEventListenerRemoveEventType(listener, nullptr, &event), noErr);
            target.dead = true;
            ASSERT_EQ(AUListenerDispose(listener), noErr);
        } else {
            ASSERT_EQ(AUListenerDispose(listener), noErr);
            target.dead = true;
        }
    }
    stop = true;
    for (std::thread& notifier : notifiers) {
        notifier.join();
    }

    EXPECT_EQ(callsAfterRemoval.load(), 0);
}

} // namespace
