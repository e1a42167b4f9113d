// A JACK server of a test's own (jackd with the dummy driver, 48 kHz, 256 frames unless the test
// asks for other periods) under a name of its own, so that the test may stop it and start it again
// without disturbing any other server. Clients reach it when JACK_DEFAULT_SERVER names it. It
// leaves nothing in /dev/shm: jackd is ended with SIGTERM and waited for, and the semaphores jackd
// keeps for clients still connected when it stops are removed.
#pragma once

#include "ChildProcess.h"
#include "JackPeer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

class PrivateJackServer {
public:
    // The name is the same in every run of one test program, so that the next start takes over
    // the registry entry of a server that was killed before it could remove it.
    explicit PrivateJackServer(unsigned periodFrames = 256);
    ~PrivateJackServer(); // stops the server if it runs
    PrivateJackServer(const PrivateJackServer&) = delete;
    PrivateJackServer& operator=(const PrivateJackServer&) = delete;

    const std::string& Name() const { return mName; }
    // Starts jackd and waits until it answers, at most 10 s; "" or what went wrong, with what jackd
    // printed.
    std::string Start();
    // Ends jackd with SIGTERM and waits for it; "" or how it did not end cleanly, with what it
    // printed.
    std::string Stop();
    // How often, by its own log, the running server went on without a client that had not
    // finished its cycle in time: each time, that client's MIDI of the cycle is lost, and what it
    // had written the cycle before may be handed on again.
    size_t ClientsNotFinished() const;

private:
    void RemoveClientSemaphores() const;

    std::string mName;
    unsigned mPeriodFrames;
    std::unique_ptr<ChildProcess> mServer;
};

// Runs each test on a server of its own with periods of that many frames, started in SetUp and
// made this process's default, which the programs a test starts inherit: without it the test is
// skipped, or fails in CI.
template <unsigned PeriodFrames> class PrivateJackServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string started = mServer.Start();
        if (!started.empty() && !RunsInCI())
            GTEST_SKIP() << started;
        ASSERT_EQ(started, "");
        setenv("JACK_DEFAULT_SERVER", mServer.Name().c_str(), 1);
    }

    PrivateJackServer mServer{PeriodFrames};
};
