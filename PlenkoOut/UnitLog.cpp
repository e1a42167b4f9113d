#include "UnitLog.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

// Writes up to `length` bytes; without `mayBlock` only what standard output takes at once: a pipe
// or terminal that reports room takes PIPE_BUF bytes without blocking. Returns the bytes written,
// or -1 when output is closed or failing.
ssize_t WriteOut(const char* text, size_t length, bool mayBlock)
{
    if (!mayBlock) {
        pollfd ready{STDOUT_FILENO, POLLOUT, 0};
        if (poll(&ready, 1, 0) != 1 || (ready.revents & POLLOUT) == 0)
            return (ready.revents & (POLLERR | POLLNVAL)) != 0 ? -1 : 0;
        length = std::min<size_t>(length, PIPE_BUF);
    }
    for (;;) {
        const ssize_t written = write(STDOUT_FILENO, text, length);
        if (written >= 0 || errno != EINTR)
            return written;
    }
}

// Writes all of it, or as much as goes at once without `mayBlock`; false when something is left.
bool WriteAll(const char* text, size_t length, bool mayBlock)
{
    while (length > 0) {
        const ssize_t written = WriteOut(text, length, mayBlock);
        if (written <= 0)
            return false;
        text += written;
        length -= size_t(written);
    }
    return true;
}

} // namespace

bool UnitLog::EnabledByEnvironment()
{
    const char* setting = std::getenv("PLENKO_LOG");
#ifdef PLENKO_LOG_OFF_BY_DEFAULT
    return setting != nullptr && std::strcmp(setting, "on") == 0;
#else
    return setting == nullptr || std::strcmp(setting, "off") != 0;
#endif
}

UnitLog::UnitLog(bool enabled) : mEnabled(enabled), mRing(enabled ? new char[kRingBytes] : nullptr)
{
}

UnitLog::~UnitLog()
{
    if (!mEnabled)
        return;
    std::lock_guard<std::mutex> lock(mWriter);
    if (WriteRing(true))
        ReportDropped(true);
}

void UnitLog::Print(bool onRenderThread, const char* format, ...)
{
    if (!mEnabled)
        return;
    char text[kMaxText];
    va_list arguments;
    va_start(arguments, format);
    const int formatted = vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (formatted <= 0)
        return;
    const size_t length = std::min(size_t(formatted), sizeof text - 1);
    if (onRenderThread) {
        Queue(text, length);
        return;
    }
    std::lock_guard<std::mutex> lock(mWriter);
    if (WriteRing(true) && ReportDropped(true))
        WriteAll(text, length, true);
}

void UnitLog::Queue(const char* text, size_t length)
{
    if (mQueueing.test_and_set(std::memory_order_acquire)) {
        mDropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    const size_t queued = mQueued.load(std::memory_order_relaxed);
    const size_t written = mWritten.load(std::memory_order_acquire);
    if (kRingBytes - (queued - written) < length) {
        mDropped.fetch_add(1, std::memory_order_relaxed);
    } else {
        const size_t start = queued % kRingBytes;
        const size_t first = std::min(length, kRingBytes - start);
        std::memcpy(&mRing[start], text, first);
        std::memcpy(&mRing[0], text + first, length - first);
        mQueued.store(queued + length, std::memory_order_release);
    }
    mQueueing.clear(std::memory_order_release);
}

void UnitLog::WriteWithoutBlocking()
{
    std::unique_lock<std::mutex> lock(mWriter, std::try_to_lock);
    if (lock.owns_lock() && WriteRing(false))
        ReportDropped(false);
}

bool UnitLog::WriteRing(bool mayBlock)
{
    for (;;) {
        const size_t queued = mQueued.load(std::memory_order_acquire);
        size_t written = mWritten.load(std::memory_order_relaxed);
        if (queued == written)
            return true;
        const size_t start = written % kRingBytes;
        const size_t length = std::min(queued - written, kRingBytes - start);
        const ssize_t taken = WriteOut(&mRing[start], length, mayBlock);
        if (taken <= 0) {
            // Output that is gone for good would otherwise hold the ring forever.
            if (taken < 0 && errno != EAGAIN)
                mWritten.store(queued, std::memory_order_release);
            return false;
        }
        mWritten.store(written + size_t(taken), std::memory_order_release);
    }
}

bool UnitLog::ReportDropped(bool mayBlock)
{
    const UInt32 dropped = mDropped.load(std::memory_order_relaxed);
    if (dropped == 0)
        return true;
    char line[96];
    const int length = snprintf(line, sizeof line,
                                "PlenkoOut: %u log lines dropped while standard output was "
                                "blocked\n",
                                unsigned(dropped));
    if (!WriteAll(line, size_t(length), mayBlock))
        return false;
    mDropped.fetch_sub(dropped, std::memory_order_relaxed);
    return true;
}
