// Catches the signals that ask a program to end (SIGINT, SIGTERM, SIGHUP) while it lives, so that
// play ends as it would at the end of the file: with its closing messages, the wait for them and
// the summary. Every later one is caught too, so that a second Ctrl-C (or timeout's second
// signal) cannot cut the stop short; the stop is bounded instead.
#pragma once

#include <csignal>

class StopSignals {
public:
    StopSignals();
    // Puts back what was there before.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The first signal caught, 0 while none was. [any-thread]
    static int First();
    // The exit status that tells the signal, as shells do: 128 + its number (130 for SIGINT, 143
    // for SIGTERM, 129 for SIGHUP); 0 while none was caught. [any-thread]
    static int ExitStatus();

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction mPrevious[3] = {};
};
