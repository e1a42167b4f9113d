#include "RealTimeProbe.h"

#include <atomic>

namespace {

std::atomic<bool> sInstalled{false};
// Constant-initialized, so that reading it from inside malloc runs no initializer.
thread_local RealTimeCounts* tCounting = nullptr;

} // namespace

bool RealTimeProbe::Installed()
{
    return sInstalled.load(std::memory_order_relaxed);
}

void RealTimeProbe::MarkInstalled()
{
    sInstalled.store(true, std::memory_order_relaxed);
}

RealTimeCounts* RealTimeProbe::Counting()
{
    return tCounting;
}

void RealTimeProbe::Start()
{
    tCounting = &mCounts;
}

void RealTimeProbe::Stop()
{
    tCounting = nullptr;
}
