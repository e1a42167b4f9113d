#include "JackMIDIBackend.h"

#include "MIDIObjectTable.h"

#include <cerrno>
#include <ctime>
#include <system_error>

namespace {

// libjack reports a missing server, and much else, on the terminal; the services answer with
// statuses instead.
void Silent(const char*) {}

} // namespace

JackMIDIBackend::JackMIDIBackend(MIDIPoolGrower& grower) : mWriter(mSlots, mTiming, grower)
{
    if (sem_init(&mWake, 0, 0) != 0)
        throw std::system_error(errno, std::generic_category(), "JACK backend semaphore");
}

JackMIDIBackend::~JackMIDIBackend()
{
    Stop();
    sem_destroy(&mWake);
}

void JackMIDIBackend::Start(MIDIDestinationRegistry& registry)
{
    mWriter.Serve(registry);
    mFollower.Serve(registry);
    jack_set_error_function(Silent);
    jack_set_info_function(Silent);
    // The first attempt is made at once, so that the destinations are listed when the services
    // answer their first call.
    if (mConnection.Open())
        Connected();
    mThread = std::thread(&JackMIDIBackend::Run, this);
}

void JackMIDIBackend::Stop()
{
    mStopping.store(true);
    Wake();
    // The backend's thread never waits on a close, and what it asks of a server that went away
    // fails at once.
    if (mThread.joinable())
        mThread.join();
    if (mConnection.Client() != nullptr) {
        mAvailable.store(false);
        if (!mConnection.ServerGone())
            mWriter.FallSilent();
        CloseClient();
    }
    mConnection.WaitForClose(JackConnection::kCloseWait);
}

void JackMIDIBackend::WaitForDeliveriesToEnd(MIDIEndpointRef)
{
    // The destination is retired, and the callback looks each packet's destination up: a cycle
    // that begins now writes nothing for it, so only the one in progress is waited for.
    mWriter.WaitForCycleToEnd();
}

// ---- The backend's thread ------------------------------------------------------------------

void JackMIDIBackend::Run()
{
    BlockBrokenPipeSignal();
    while (!mStopping.load()) {
        if (mConnection.Client() == nullptr) {
            if (mConnection.OpenWhenDue())
                Connected();
        } else if (mConnection.ServerGone()) {
            Disconnect();
        } else {
            if (mPortsChanged.exchange(false))
                mFollower.Follow();
            mFollower.MakeWantedPorts();
        }
        // Sleep until woken, or for a second: the next look for a server, or for a client that
        // became active.
        timespec deadline{};
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += 1;
        while (sem_clockwait(&mWake, CLOCK_MONOTONIC, &deadline) != 0 && errno == EINTR) {
        }
    }
}

void JackMIDIBackend::Connected()
{
    mAvailable.store(true);
    mFollower.Follow();
}

void JackMIDIBackend::Disconnect()
{
    mAvailable.store(false);
    mFollower.LoseServer();
    CloseClient();
    mWriter.DropEverythingHeld();
    mFollower.ForgetRenames();
}

void JackMIDIBackend::CloseClient()
{
    mConnection.Close();
    // The callback is shut out: no cycle is begun until the next client's.
    mTiming.ForgetCycles();
}

// ---- Sending threads -----------------------------------------------------------------------

MIDISubmitResult JackMIDIBackend::Submit(MIDIEndpointRef destination, MIDIObjectRecord& record,
                                         UInt32 presence, const MIDIPacketList& list)
{
    if (mSlots.Want(record.mBackendSlot))
        Wake(); // its port is made at its first use
    return mWriter.Submit(destination, record, presence, list);
}

// ---- libjack's threads ---------------------------------------------------------------------

void JackMIDIBackend::Opened(jack_client_t* client)
{
    mTiming.Follow(jack_get_buffer_size(client), jack_get_sample_rate(client));
}

void JackMIDIBackend::Process(jack_nframes_t frames)
{
    mWriter.Process(mConnection.Client(), frames);
}

void JackMIDIBackend::SampleRateChanged(jack_nframes_t rate)
{
    mTiming.Follow(jack_get_buffer_size(mConnection.Client()), rate);
}

void JackMIDIBackend::PortsChanged()
{
    mPortsChanged.store(true);
    Wake();
}

void JackMIDIBackend::PortRenamed(const char* oldName, const char* newName)
{
    mFollower.NoteRename(oldName, newName);
    PortsChanged();
}

void JackMIDIBackend::ServerShutDown()
{
    mAvailable.store(false);
    Wake();
}
