#include "JackConnection.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <unistd.h>

namespace {

// The client is named after the program, as JACK's tools show clients by name.
std::string ClientName()
{
    std::string name = program_invocation_short_name;
    if (name.empty())
        name = "MIDI services";
    name.resize(std::min(name.size(), size_t(jack_client_name_size() - 1)));
    return name;
}

} // namespace

bool JackConnection::Open()
{
    const bool opened = OpenClient();
    mNextAttempt = std::chrono::steady_clock::now() + kReconnectInterval;
    return opened;
}

bool JackConnection::OpenClient()
{
    jack_status_t status{};
    jack_client_t* client = jack_client_open(ClientName().c_str(), JackNoStartServer, &status);
    if (client == nullptr)
        return false;
    mEvents.Opened(client);
    mServerGone.store(false);
    mClient = client;
    mGate = std::make_shared<JackCallbackGate<JackConnection>>(*this);
    SetCallbacks();
    for (std::atomic<pid_t>& id : mLibraryThreadIds)
        id.store(0);
    mLibraryThreadCount.store(0);
    if (jack_activate(client) != 0) {
        Release(0);
        return false;
    }
    return true;
}

void JackConnection::SetCallbacks()
{
    void* const gate = mGate.get();
    jack_set_process_callback(mClient, &OnProcess, gate);
    jack_set_buffer_size_callback(mClient, &OnBufferSize, gate);
    jack_set_sample_rate_callback(mClient, &OnSampleRate, gate);
    jack_set_port_registration_callback(mClient, &OnPortRegistration, gate);
    // A client that quits has its ports listed until after their unregistration is announced;
    // its own departure comes once they are gone.
    jack_set_client_registration_callback(mClient, &OnClientRegistration, gate);
    jack_set_graph_order_callback(mClient, &OnGraphOrder, gate);
    jack_set_port_rename_callback(mClient, &OnPortRename, gate);
    jack_on_info_shutdown(mClient, &OnShutdown, gate);
    // libjack runs the thread-init callback on its threads: its message thread at once, the
    // client's process and notification threads during the activation.
    jack_set_thread_init_callback(mClient, &OnThreadInit, gate);
}

bool JackConnection::OpenWhenDue()
{
    // An open waits until the previous client is closed: libjack's open closes any client of a
    // server that went away that is still open, and a close in progress holds the library.
    if (std::chrono::steady_clock::now() < mNextAttempt ||
        !mCloser.WaitUntilIdle(std::chrono::milliseconds(0)))
        return false;
    return Open();
}

void JackConnection::Close()
{
    Release(mServerGone.load() ? NotificationThread() : 0);
    mNextAttempt = std::chrono::steady_clock::now() + kReconnectInterval;
}

void JackConnection::Release(pid_t notificationThread)
{
    // A callback that is still running ends before the close begins (the close cancels libjack's
    // threads wherever they are); any later one finds the gate shut. The gate outlives the
    // connection when the close does.
    mGate->Shut();
    mCloser.Close(mClient, notificationThread, std::move(mGate));
    mClient = nullptr;
}

pid_t JackConnection::NotificationThread() const
{
    // Of the threads that ran the thread-init callback during the activation, the one that is not
    // the process thread delivers the notifications.
    const pthread_t process = jack_client_thread_id(mClient);
    const UInt32 count = std::min(mLibraryThreadCount.load(), kMaxLibraryThreads);
    for (UInt32 n = 0; n < count; ++n) {
        const pid_t id = mLibraryThreadIds[n].load();
        if (id != 0 && !pthread_equal(mLibraryThreads[n].load(), process))
            return id;
    }
    return 0;
}

// ---- libjack's threads, each through the gate ----------------------------------------------

int JackConnection::OnProcess(jack_nframes_t frames, void* gate)
{
    Through(gate, [frames](JackConnection& connection) { connection.mEvents.Process(frames); });
    return 0;
}

int JackConnection::OnBufferSize(jack_nframes_t frames, void* gate)
{
    Through(gate,
            [frames](JackConnection& connection) { connection.mEvents.PeriodChanged(frames); });
    return 0;
}

int JackConnection::OnSampleRate(jack_nframes_t rate, void* gate)
{
    Through(gate,
            [rate](JackConnection& connection) { connection.mEvents.SampleRateChanged(rate); });
    return 0;
}

void JackConnection::OnPortRegistration(jack_port_id_t, int, void* gate)
{
    Through(gate, [](JackConnection& connection) { connection.mEvents.PortsChanged(); });
}

void JackConnection::OnClientRegistration(const char*, int, void* gate)
{
    OnPortRegistration(0, 0, gate);
}

int JackConnection::OnGraphOrder(void* gate)
{
    Through(gate, [](JackConnection& connection) { connection.mEvents.GraphChanged(); });
    return 0;
}

void JackConnection::OnPortRename(jack_port_id_t, const char* oldName, const char* newName,
                                  void* gate)
{
    Through(gate, [oldName, newName](JackConnection& connection) {
        connection.mEvents.PortRenamed(oldName, newName);
    });
}

void JackConnection::OnThreadInit(void* gate)
{
    Through(gate, [](JackConnection& connection) {
        const UInt32 n = connection.mLibraryThreadCount.fetch_add(1);
        if (n >= kMaxLibraryThreads)
            return;
        connection.mLibraryThreads[n].store(pthread_self());
        connection.mLibraryThreadIds[n].store(gettid()); // last: an entry with an id is whole
    });
}

void JackConnection::OnShutdown(jack_status_t, const char*, void* gate)
{
    Through(gate, [](JackConnection& connection) {
        connection.mServerGone.store(true);
        connection.mEvents.ServerShutDown();
    });
}
