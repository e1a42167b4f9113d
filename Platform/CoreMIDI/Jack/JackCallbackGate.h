// Lets libjack's threads reach an object only while the gate is open. libjack may call a client's
// callbacks until the client's close ends, and a close can outlive the object the client served:
// the callbacks are given the gate, which the close keeps alive, rather than the object itself.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

template <typename Target> class JackCallbackGate {
public:
    explicit JackCallbackGate(Target& target) : mTarget(&target) {}
    JackCallbackGate(const JackCallbackGate&) = delete;
    JackCallbackGate& operator=(const JackCallbackGate&) = delete;

    // Calls call(target) unless the gate is shut.
    template <typename Call> void Pass(Call&& call)
    {
        // The count is raised before the target is read, both sequentially consistent: a shut
        // whose store comes before the read makes it find none, and one whose store comes after
        // sees the count and waits for the call.
        mInside.fetch_add(1);
        if (Target* const target = mTarget.load())
            call(*target);
        mInside.fetch_sub(1);
    }

    // Once this returns, no call is in the target and none enters it. Never called from a call
    // through the gate, which it would wait for; the calls are short and never wait themselves.
    void Shut()
    {
        mTarget.store(nullptr);
        while (mInside.load() != 0)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
    }

private:
    std::atomic<Target*> mTarget;
    std::atomic<unsigned> mInside{0};
};
