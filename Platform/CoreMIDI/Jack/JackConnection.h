// The JACK backend's one client of a server: opened only when a server runs (never starting one),
// again a second after the last attempt while none does; its callbacks passed on to the events
// through a gate; and, once its server went away or the services end, shut out and handed to a
// closer of its own, so that neither the reconnection nor the services' end waits on libjack
// without a bound.
#pragma once

#include "JackCallbackGate.h"
#include "JackClientCloser.h"

#include <MacTypes.h>

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <pthread.h>
#include <sys/types.h>

// What the client's callbacks report. Each is short and never waits for the backend's thread.
class JackClientEvents {
public:
    // A client was opened, before any of its callbacks is set. [backend-thread]
    virtual void Opened(jack_client_t* client) = 0;
    // [jack-process-thread]
    virtual void Process(jack_nframes_t frames) = 0;
    // [jack-callback-thread]
    virtual void PeriodChanged(jack_nframes_t frames) = 0;
    virtual void SampleRateChanged(jack_nframes_t rate) = 0;
    // A port or client came or went, or a port was renamed (with both full names).
    virtual void PortsChanged() = 0;
    virtual void PortRenamed(const char* oldName, const char* newName) = 0;
    // A client became active: what waits for it can be connected.
    virtual void GraphChanged() = 0;
    virtual void ServerShutDown() = 0;

protected:
    ~JackClientEvents() = default;
};

class JackConnection {
public:
    // How long the services' end waits for the client to close; a close still running then is
    // left to its thread.
    static constexpr std::chrono::milliseconds kCloseWait{5000};
    static constexpr std::chrono::seconds kReconnectInterval{1};

    explicit JackConnection(JackClientEvents& events) : mEvents(events) {}
    JackConnection(const JackConnection&) = delete;
    JackConnection& operator=(const JackConnection&) = delete;

    // Set from an open until a close; the callbacks always find the client they serve.
    jack_client_t* Client() const { return mClient; }
    // Whether the server announced its shutdown since the client opened. [any-thread]
    bool ServerGone() const { return mServerGone.load(); }

    // Opens and activates a client; false when no server runs or it refuses. [backend-thread]
    bool Open();
    // Opens a client once an attempt is due and the previous client is closed. [backend-thread]
    bool OpenWhenDue();
    // Shuts the client's callbacks out and hands it to the closer. [backend-thread]
    void Close();
    // Whether no close is in progress, having waited at most timeout. [host-thread]
    bool WaitForClose(std::chrono::milliseconds timeout) { return mCloser.WaitUntilIdle(timeout); }

private:
    bool OpenClient();
    void SetCallbacks();
    // Hands the client to the closer, which first waits for notificationThread (a thread id)
    // unless it is 0.
    void Release(pid_t notificationThread);
    // libjack's notification thread for the client, or 0 when it is not known.
    pid_t NotificationThread() const;

    template <typename Call> static void Through(void* gate, Call&& call)
    {
        static_cast<JackCallbackGate<JackConnection>*>(gate)->Pass(std::forward<Call>(call));
    }
    static int OnProcess(jack_nframes_t frames, void* gate);
    static int OnBufferSize(jack_nframes_t frames, void* gate);
    static int OnSampleRate(jack_nframes_t rate, void* gate);
    static void OnPortRegistration(jack_port_id_t, int, void* gate);
    static void OnClientRegistration(const char*, int, void* gate);
    static int OnGraphOrder(void* gate);
    static void OnPortRename(jack_port_id_t, const char* oldName, const char* newName, void* gate);
    static void OnShutdown(jack_status_t, const char*, void* gate);
    static void OnThreadInit(void* gate);

    JackClientEvents& mEvents;
    // Set before the callbacks are, cleared only once they are shut out.
    jack_client_t* mClient = nullptr;
    // What the client's callbacks are given; the closer keeps it until the close ends.
    std::shared_ptr<JackCallbackGate<JackConnection>> mGate;
    std::atomic<bool> mServerGone{false};
    std::chrono::steady_clock::time_point mNextAttempt{}; // [backend-thread]
    // The threads libjack ran the client's thread-init callback on since it opened: its process
    // thread and its notification thread, as pthread and kernel ids.
    static constexpr UInt32 kMaxLibraryThreads = 4;
    std::atomic<UInt32> mLibraryThreadCount{0};
    std::atomic<pthread_t> mLibraryThreads[kMaxLibraryThreads];
    std::atomic<pid_t> mLibraryThreadIds[kMaxLibraryThreads];
    JackClientCloser mCloser;
};
