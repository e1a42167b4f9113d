// The unit's diagnostic lines on standard output, written so that they never stall a render call.
// A line from the render thread is copied into a ring allocated up front and written out at the
// end of each render call, only as far as standard output takes it without blocking; a line from
// any other thread first writes out what the ring holds, then itself, so lines keep their order.
// Lines that find the ring full are counted, and the count is reported in one line as soon as
// output flows again. A unit whose log is off writes nothing.
#pragma once

#include <MacTypes.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>

class UnitLog {
public:
    static constexpr size_t kRingBytes = size_t(1) << 16;
    // Longest text of one call; longer texts are cut.
    static constexpr size_t kMaxText = 512;

    // "off" in PLENKO_LOG turns the log off, read when a unit is made. A unit built to live
    // inside another kind of plug-in (PLENKO_LOG_OFF_BY_DEFAULT), whose host's standard output is
    // the user's terminal or log, writes only when PLENKO_LOG says "on". [host-thread]
    static bool EnabledByEnvironment();

    explicit UnitLog(bool enabled);
    // Writes out what the ring still holds, blocking if it must. [host-thread]
    ~UnitLog();
    UnitLog(const UnitLog&) = delete;
    UnitLog& operator=(const UnitLog&) = delete;

    bool Enabled() const { return mEnabled; }

    // Formats a text (printf style) and logs it: into the ring on the render thread, which never
    // waits; straight to standard output elsewhere, after what the ring holds. [any-thread]
    void Print(bool onRenderThread, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // Writes out what the ring holds as far as standard output takes it at once, and the count
    // of dropped lines once the ring is empty. Returns at once if another thread is writing.
    // [render-thread]
    void FlushWithoutBlocking()
    {
        // Called after every render: the usual case, nothing to write, costs no call.
        if (mEnabled &&
            (mQueued.load(std::memory_order_acquire) != mWritten.load(std::memory_order_relaxed) ||
             mDropped.load(std::memory_order_relaxed) != 0))
            WriteWithoutBlocking();
    }

private:
    // What FlushWithoutBlocking does once there is something to write.
    void WriteWithoutBlocking();
    void Queue(const char* text, size_t length);
    // Both with mWriter held.
    bool WriteRing(bool mayBlock);
    bool ReportDropped(bool mayBlock);

    const bool mEnabled;
    std::unique_ptr<char[]> mRing;
    // Total bytes ever queued and ever written; their difference is what the ring holds.
    std::atomic<size_t> mQueued{0};
    std::atomic<size_t> mWritten{0};
    // Keeps two queueing threads (the render thread and one that has just stopped being it)
    // apart for the length of one copy.
    std::atomic_flag mQueueing = ATOMIC_FLAG_INIT;
    std::atomic<UInt32> mDropped{0};
    // Held by whoever writes to standard output; the render thread only ever tries it.
    std::mutex mWriter;
};
