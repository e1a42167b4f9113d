// Closes the JACK backend's client on a thread of its own, so that nobody waits on libjack's close
// without a bound. The close cancels the client's notification thread at whatever instruction it is
// on; if that thread holds libjack's process-wide lock then (while it takes in a client that came
// or went, as a server that stops announces of its own clients), every later open or close in the
// process blocks for good. So the close of a client whose server went away first waits, briefly,
// for that thread to end by itself, which it does once the server has closed its side.
#pragma once

#include <jack/jack.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sys/types.h>

class JackClientCloser {
public:
    // How long a close waits for the notification thread of a client whose server went away.
    static constexpr std::chrono::milliseconds kNotificationThreadWait{1000};

    JackClientCloser() = default;
    JackClientCloser(const JackClientCloser&) = delete;
    JackClientCloser& operator=(const JackClientCloser&) = delete;

    // Begins to close the client. notificationThread is the thread id of libjack's notification
    // thread for it when its server went away, to be waited for first; 0 closes at once.
    // callbackArgument, what the client's callbacks were given, is kept until the close ends, as
    // libjack's threads for the client may call back until then.
    void Close(jack_client_t* client, pid_t notificationThread,
               std::shared_ptr<const void> callbackArgument);
    // Whether no close is in progress, having waited at most timeout for the one that is.
    bool WaitUntilIdle(std::chrono::milliseconds timeout);

private:
    // Shared with the closing thread, which may outlive the closer when libjack never returns.
    struct Job {
        std::mutex mMutex;
        std::condition_variable mDone;
        bool mFinished = false;
    };

    std::shared_ptr<Job> mJob;
};

// Blocks SIGPIPE on the calling thread: a write to the socket of a server that has just gone must
// fail with a status, not end the process. libjack blocks it only on the thread that first opens a
// client.
void BlockBrokenPipeSignal();
