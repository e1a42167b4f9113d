#include "Play/StopSignals.h"

#include <atomic>

namespace {

std::atomic<int> sFirst{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal is noted in a signal handler");

extern "C" void NoteSignal(int signal)
{
    int none = 0;
    sFirst.compare_exchange_strong(none, signal, std::memory_order_relaxed);
}

} // namespace

StopSignals::StopSignals()
{
    sFirst.store(0);
    struct sigaction action {};
    action.sa_handler = NoteSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < 3; ++i) {
        sigaction(kSignals[i], &action, &mPrevious[i]);
    }
}

StopSignals::~StopSignals()
{
    for (size_t i = 0; i < 3; ++i) {
        sigaction(kSignals[i], &mPrevious[i], nullptr);
    }
}

int StopSignals::First()
{
    return sFirst.load(std::memory_order_relaxed);
}

int StopSignals::ExitStatus()
{
    const int signal = First();
    return signal == 0 ? 0 : 128 + signal;
}
