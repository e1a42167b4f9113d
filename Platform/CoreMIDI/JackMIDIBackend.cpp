#include "JackMIDIBackend.h"

#include "MIDIMessageSplitter.h"
#include "MIDIObjectTable.h"

#include <CoreAudio/HostTime.h>

#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <system_error>
#include <unistd.h>

namespace {

constexpr UInt64 kNanosPerSecond = 1000000000;
constexpr auto kReconnectInterval = std::chrono::seconds(1);

// libjack reports a missing server, and much else, on the terminal; the services answer with
// statuses instead.
void Silent(const char*) {}

// The client is named after the program, as JACK's tools show clients by name.
std::string ClientName()
{
    std::string name = program_invocation_short_name;
    if (name.empty())
        name = "MIDI services";
    name.resize(std::min(name.size(), size_t(jack_client_name_size() - 1)));
    return name;
}

// "client:port" gives the name "port" and the display name "client: port".
std::pair<std::string, std::string> DestinationNames(const std::string& fullName)
{
    const size_t colon = fullName.find(':');
    if (colon == std::string::npos)
        return {fullName, fullName};
    return {fullName.substr(colon + 1),
            fullName.substr(0, colon) + ": " + fullName.substr(colon + 1)};
}

// Both clocks read together: of a few tries, the one least spread out, as a preemption between
// the reads would skew the pair by up to half the time it took.
JackClockReading ReadClocks()
{
    JackClockReading best{};
    UInt64 bestSpread = ~UInt64(0);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const UInt64 before = AudioGetCurrentHostTime();
        const jack_time_t jack = jack_get_time();
        const UInt64 after = AudioGetCurrentHostTime();
        if (after - before < bestSpread) {
            bestSpread = after - before;
            best = {before + (after - before) / 2, jack};
        }
    }
    return best;
}

} // namespace

JackMIDIBackend::JackMIDIBackend(MIDIPoolGrower& grower)
    : mQueue(kInitialPoolSlots, kMaxPoolSlots, &grower)
{
    mHeldBack.reserve(mQueue.MaxCapacity());
    SetPeriod(256, 48000);
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
    mRegistry = &registry;
    jack_set_error_function(Silent);
    jack_set_info_function(Silent);
    // The first attempt is made at once, so that the destinations are listed when the services
    // answer their first call.
    Connect();
    mThread = std::thread(&JackMIDIBackend::Run, this);
}

void JackMIDIBackend::Stop()
{
    mStopping.store(true);
    Wake();
    // The notification thread never waits on a close, and what it asks of a server that went
    // away fails at once.
    if (mThread.joinable())
        mThread.join();
    if (mClient != nullptr) {
        mAvailable.store(false);
        Release(mServerGone.load() ? NotificationThread(mClient) : 0);
    }
    mCloser.WaitUntilIdle(kCloseWait);
}

void JackMIDIBackend::SetPeriod(jack_nframes_t frames, jack_nframes_t rate)
{
    const UInt64 period = UInt64(frames) * kNanosPerSecond / std::max(rate, jack_nframes_t(1));
    mDelayMicros.store(UInt32((period + kHandOffAllowanceNanos) / 1000));
}

// ---- Notification thread -------------------------------------------------------------------

void JackMIDIBackend::Run()
{
    BlockBrokenPipeSignal();
    auto nextAttempt = std::chrono::steady_clock::now() + kReconnectInterval;
    while (!mStopping.load()) {
        if (mClient == nullptr) {
            // An open waits until the previous client is closed: libjack's open closes any client
            // of a server that went away that is still open, and a close in progress holds the
            // library.
            if (std::chrono::steady_clock::now() >= nextAttempt &&
                mCloser.WaitUntilIdle(std::chrono::milliseconds(0))) {
                Connect();
                nextAttempt = std::chrono::steady_clock::now() + kReconnectInterval;
            }
        } else if (mServerGone.exchange(false)) {
            Disconnect();
            nextAttempt = std::chrono::steady_clock::now() + kReconnectInterval;
        } else {
            if (mPortsChanged.exchange(false)) {
                ApplyRenames();
                FollowPorts();
            }
            MakeWantedPorts();
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

bool JackMIDIBackend::Connect()
{
    jack_status_t status{};
    jack_client_t* client = jack_client_open(ClientName().c_str(), JackNoStartServer, &status);
    if (client == nullptr)
        return false;
    SetPeriod(jack_get_buffer_size(client), jack_get_sample_rate(client));
    mSampleRate.store(jack_get_sample_rate(client));
    mServerGone.store(false);
    mClient = client;
    mGate = std::make_shared<JackCallbackGate<JackMIDIBackend>>(*this);
    void* const gate = mGate.get();
    jack_set_process_callback(client, &OnProcess, gate);
    jack_set_buffer_size_callback(client, &OnBufferSize, gate);
    jack_set_sample_rate_callback(client, &OnSampleRate, gate);
    jack_set_port_registration_callback(client, &OnPortRegistration, gate);
    // A client that quits has its ports listed until after their unregistration is announced;
    // its own departure comes once they are gone.
    jack_set_client_registration_callback(client, &OnClientRegistration, gate);
    jack_set_graph_order_callback(client, &OnGraphOrder, gate);
    jack_set_port_rename_callback(client, &OnPortRename, gate);
    jack_on_info_shutdown(client, &OnShutdown, gate);
    // libjack runs the thread-init callback on its threads: its message thread at once, the
    // client's process and notification threads during the activation.
    jack_set_thread_init_callback(client, &OnThreadInit, gate);
    for (std::atomic<pid_t>& id : mLibraryThreadIds)
        id.store(0);
    mLibraryThreadCount.store(0);
    if (jack_activate(client) != 0) {
        Release(0);
        return false;
    }
    mAvailable.store(true);
    FollowPorts();
    return true;
}

void JackMIDIBackend::Disconnect()
{
    mAvailable.store(false);
    for (Slot& slot : mSlots)
        if (slot.mEndpoint != 0 && slot.mState.load() != kOffline) {
            // The server is gone, and our ports with it.
            slot.mOutput.store(nullptr);
            slot.mUnconnected = nullptr;
            GoOffline(slot);
        }
    Release(NotificationThread(mClient));
    DropEverythingHeld();
    std::lock_guard<std::mutex> lock(mRenamesMutex);
    mRenames.clear();
}

void JackMIDIBackend::Release(pid_t notificationThread)
{
    // A callback that is still running ends before the close begins (the close cancels libjack's
    // threads wherever they are); any later one finds the gate shut. The gate outlives the
    // backend when the close does.
    mGate->Shut();
    mCycleRecord.Clear();
    mCloser.Close(mClient, notificationThread, std::move(mGate));
    mClient = nullptr;
}

pid_t JackMIDIBackend::NotificationThread(jack_client_t* client) const
{
    // Of the threads that ran the thread-init callback during the activation, the one that is not
    // the process thread delivers the notifications.
    const pthread_t process = jack_client_thread_id(client);
    const UInt32 count = std::min(mLibraryThreadCount.load(), kMaxLibraryThreads);
    for (UInt32 n = 0; n < count; ++n) {
        const pid_t id = mLibraryThreadIds[n].load();
        if (id != 0 && !pthread_equal(mLibraryThreads[n].load(), process))
            return id;
    }
    return 0;
}

void JackMIDIBackend::ApplyRenames()
{
    std::vector<std::pair<std::string, std::string>> renames;
    {
        std::lock_guard<std::mutex> lock(mRenamesMutex);
        renames.swap(mRenames);
    }
    for (const auto& [oldName, newName] : renames)
        for (Slot& slot : mSlots)
            if (slot.mEndpoint != 0 && slot.mPortName == oldName) {
                slot.mPortName = newName;
                const auto [name, displayName] = DestinationNames(newName);
                mRegistry->RenameDestination(slot.mEndpoint, name, displayName);
            }
}

void JackMIDIBackend::FollowPorts()
{
    for (Slot& slot : mSlots)
        slot.mSeen = false;
    // Our own ports are outputs, so every MIDI input port belongs to another client; JACK lists
    // them in the order they were registered, which keeps the list's order stable.
    if (const char** names =
            jack_get_ports(mClient, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput)) {
        for (const char** name = names; *name != nullptr; ++name)
            ListPort(*name);
        jack_free(names);
    }
    for (Slot& slot : mSlots)
        if (slot.mEndpoint != 0 && !slot.mSeen && slot.mState.load() != kOffline)
            GoOffline(slot);
}

void JackMIDIBackend::ListPort(const std::string& fullName)
{
    for (Slot& slot : mSlots) {
        if (slot.mEndpoint == 0 || slot.mPortName != fullName)
            continue;
        slot.mSeen = true;
        if (slot.mState.load() == kOffline) {
            // The same port again: its destination is back, its port to be made at its next use.
            slot.mOfflineOrder = 0;
            slot.mState.store(kListed);
            mRegistry->BringBackOnline(slot.mEndpoint);
        }
        return;
    }
    Slot* free = FreeSlot();
    if (free == nullptr)
        return; // more ports than the backend lists
    const auto [name, displayName] = DestinationNames(fullName);
    const UInt32 index = UInt32(free - mSlots);
    // The slot is ready before the destination is published, since a send may follow at once.
    free->mState.store(kListed);
    free->mEndpoint = mRegistry->AddDestination(*this, index, fullName, name, displayName);
    if (free->mEndpoint == 0) {
        free->mState.store(kFree);
        return;
    }
    free->mPortName = fullName;
    free->mSeen = true;
}

JackMIDIBackend::Slot* JackMIDIBackend::FreeSlot()
{
    Slot* oldestOffline = nullptr;
    for (Slot& slot : mSlots) {
        if (slot.mEndpoint == 0)
            return &slot;
        if (slot.mState.load() == kOffline &&
            (oldestOffline == nullptr || slot.mOfflineOrder < oldestOffline->mOfflineOrder))
            oldestOffline = &slot;
    }
    // A port that is here now goes before one that may never come back.
    if (oldestOffline != nullptr)
        RemoveSlot(*oldestOffline);
    return oldestOffline;
}

void JackMIDIBackend::GoOffline(Slot& slot)
{
    // From now on sends are refused, and what waits for the destination is counted, not written.
    mRegistry->TakeOffline(slot.mEndpoint);
    mGoneRequested.store(true);
    UnregisterPorts(slot);
    slot.mState.store(kOffline);
    slot.mOfflineOrder = ++mOfflineCount;
    UInt32 offline = 0;
    Slot* oldest = nullptr;
    for (Slot& other : mSlots) {
        if (other.mEndpoint == 0 || other.mState.load() != kOffline)
            continue;
        ++offline;
        if (oldest == nullptr || other.mOfflineOrder < oldest->mOfflineOrder)
            oldest = &other;
    }
    if (offline > kMaxOfflineDestinations)
        RemoveSlot(*oldest);
}

void JackMIDIBackend::RemoveSlot(Slot& slot)
{
    // After this, nothing is handed over for the destination nor written for it.
    mRegistry->RemoveDestination(slot.mEndpoint);
    mGoneRequested.store(true);
    UnregisterPorts(slot);
    slot.mEndpoint = 0;
    slot.mPortName.clear();
    slot.mOfflineOrder = 0;
    slot.mState.store(kFree);
}

void JackMIDIBackend::UnregisterPorts(Slot& slot)
{
    if (jack_port_t* output = slot.mOutput.exchange(nullptr)) {
        WaitForCycleToEnd(); // the callback may still hold the port's buffer
        jack_port_unregister(mClient, output);
    }
    if (slot.mUnconnected != nullptr)
        jack_port_unregister(mClient, slot.mUnconnected);
    slot.mUnconnected = nullptr;
}

void JackMIDIBackend::DropEverythingHeld()
{
    mPending.TakeSubmitted();
    mPending.ReleaseIf([this](UInt32 index) {
        if (!DiscardIfGone(index)) {
            // Nothing of this backend is online while its server is gone; should a destination
            // be, the packet still waits for nothing.
            if (MIDIObjectRecord* destination =
                    mRegistry->FindDestination(mQueue.At(index).mDestination))
                destination->mOfflineMessages.fetch_add(MessagesOf(mQueue.At(index)));
            mQueue.Recycle(index);
        }
        return true;
    });
}

void JackMIDIBackend::MakeWantedPorts()
{
    for (Slot& slot : mSlots) {
        if (slot.mState.load() != kWanted)
            continue;
        // One output port for each destination in use, connected to it.
        if (slot.mUnconnected == nullptr) {
            const std::string portName = "to " + slot.mPortName;
            slot.mUnconnected = jack_port_register(mClient, portName.c_str(),
                                                   JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
            if (slot.mUnconnected == nullptr) {
                slot.mState.store(kFailed);
                continue;
            }
        }
        // A client's ports are listed before it is active, and can be connected only once it is:
        // until then this is tried again at each change of the graph and each second.
        const int connected =
            jack_connect(mClient, jack_port_name(slot.mUnconnected), slot.mPortName.c_str());
        if (connected != 0 && connected != EEXIST)
            continue;
        slot.mOutput.store(slot.mUnconnected);
        slot.mUnconnected = nullptr;
        slot.mState.store(kReady);
    }
}

void JackMIDIBackend::WaitForCycleToEnd() const
{
    const UInt64 cycle = mCycle.load(std::memory_order_seq_cst);
    if (cycle % 2 == 0)
        return;
    while (mCycle.load(std::memory_order_seq_cst) == cycle)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
}

void JackMIDIBackend::WaitForDeliveriesToEnd(MIDIEndpointRef)
{
    // The destination is retired, and the callback looks each packet's destination up: a cycle
    // that begins now writes nothing for it, so only the one in progress is waited for.
    WaitForCycleToEnd();
}

// ---- Sending threads -----------------------------------------------------------------------

MIDISubmitResult JackMIDIBackend::Submit(MIDIEndpointRef destination, MIDIObjectRecord& record,
                                         UInt32 presence, const MIDIPacketList& list)
{
    Slot& slot = mSlots[record.mBackendSlot];
    UInt32 listed = kListed;
    if (slot.mState.compare_exchange_strong(listed, kWanted))
        Wake(); // its port is made at its first use
    MIDISubmission submission;
    const MIDISubmitResult result =
        mQueue.Submit(destination, presence, list, SendTimingOf(record, DelayMicros()), submission);
    if (result == MIDISubmitResult::Taken && submission.mLateAtSend != 0)
        record.mLatePackets.fetch_add(submission.mLateAtSend, std::memory_order_relaxed);
    return result;
}

// ---- JACK's threads ------------------------------------------------------------------------

int JackMIDIBackend::OnProcess(jack_nframes_t frames, void* gate)
{
    Through(gate, [frames](JackMIDIBackend& backend) { backend.Process(frames); });
    return 0;
}

int JackMIDIBackend::OnBufferSize(jack_nframes_t frames, void* gate)
{
    Through(gate, [frames](JackMIDIBackend& backend) {
        backend.SetPeriod(frames, backend.mSampleRate.load());
    });
    return 0;
}

int JackMIDIBackend::OnSampleRate(jack_nframes_t rate, void* gate)
{
    Through(gate, [rate](JackMIDIBackend& backend) {
        backend.mSampleRate.store(rate);
        backend.SetPeriod(jack_get_buffer_size(backend.mClient), rate);
    });
    return 0;
}

void JackMIDIBackend::OnPortRegistration(jack_port_id_t, int, void* gate)
{
    Through(gate, [](JackMIDIBackend& backend) {
        backend.mPortsChanged.store(true);
        backend.Wake();
    });
}

void JackMIDIBackend::OnClientRegistration(const char*, int, void* gate)
{
    OnPortRegistration(0, 0, gate);
}

int JackMIDIBackend::OnGraphOrder(void* gate)
{
    // A client became active: connect what waits for it.
    Through(gate, [](JackMIDIBackend& backend) { backend.Wake(); });
    return 0;
}

void JackMIDIBackend::OnPortRename(jack_port_id_t, const char* oldName, const char* newName,
                                   void* gate)
{
    Through(gate, [oldName, newName](JackMIDIBackend& backend) {
        {
            std::lock_guard<std::mutex> lock(backend.mRenamesMutex);
            backend.mRenames.emplace_back(oldName, newName);
        }
        backend.mPortsChanged.store(true);
        backend.Wake();
    });
}

void JackMIDIBackend::OnThreadInit(void* gate)
{
    Through(gate, [](JackMIDIBackend& backend) {
        const UInt32 n = backend.mLibraryThreadCount.fetch_add(1);
        if (n >= kMaxLibraryThreads)
            return;
        backend.mLibraryThreads[n].store(pthread_self());
        backend.mLibraryThreadIds[n].store(gettid()); // last: an entry with an id is whole
    });
}

void JackMIDIBackend::OnShutdown(jack_status_t, const char*, void* gate)
{
    Through(gate, [](JackMIDIBackend& backend) {
        backend.mAvailable.store(false);
        backend.mServerGone.store(true);
        backend.Wake();
    });
}

// ---- Process callback: no allocation, no lock ----------------------------------------------

void JackMIDIBackend::Process(jack_nframes_t frames)
{
    jack_client_t* const client = mClient;
    mCycle.fetch_add(1, std::memory_order_seq_cst);
    jack_nframes_t firstFrame = 0;
    jack_time_t current = 0, next = 0;
    float periodMicros = 0;
    if (jack_get_cycle_times(client, &firstFrame, &current, &next, &periodMicros) != 0 ||
        next <= current) {
        current = jack_get_time();
        next = current + UInt64(frames) * 1000000 / std::max(mSampleRate.load(), 1u);
    }
    const JackCycle cycle{current * 1000, next * 1000, frames};
    const JackClockReading clocks = ReadClocks();
    mCycleRecord.Store({JackNanosToHostTime(cycle.mStartNanos, clocks),
                        JackNanosToHostTime(cycle.mEndNanos, clocks), clocks.mHostNanos, firstFrame,
                        frames,
                        mSampleRate.load(std::memory_order_relaxed)});

    OpenBuffers(frames);
    mPending.TakeSubmitted();
    if (mGoneRequested.exchange(false))
        mPending.ReleaseIf([this](UInt32 index) { return DiscardIfGone(index); });
    while (!mPending.Empty()) {
        MIDIScheduledPacket& packet = mPending.FirstPacket();
        UInt32 frame = 0;
        const UInt64 due = HostTimeToJackNanos(packet.mDue, clocks);
        const JackPlacement placement = PlaceInCycle(due, cycle, frame);
        if (placement == JackPlacement::Later)
            break;
        const UInt32 index = mPending.Pop();
        if (Write(packet, placement, frame,
                  packet.mTiming.mSent + kPortWaitNanos < clocks.mHostNanos))
            mQueue.Recycle(index);
        else
            mHeldBack.push_back(index);
    }
    for (UInt32 index : mHeldBack)
        mPending.Push(index);
    mHeldBack.clear();
    mCycle.fetch_add(1, std::memory_order_seq_cst);
}

void JackMIDIBackend::OpenBuffers(jack_nframes_t frames)
{
    for (Slot& slot : mSlots) {
        jack_port_t* output = slot.mOutput.load(std::memory_order_acquire);
        slot.mBuffer = output != nullptr ? jack_port_get_buffer(output, frames) : nullptr;
        if (slot.mBuffer != nullptr)
            jack_midi_clear_buffer(slot.mBuffer);
        slot.mLastFrame = 0;
        slot.mWritten = 0;
        slot.mFull = false;
    }
}

bool JackMIDIBackend::DiscardIfGone(UInt32 index)
{
    const MIDIQueuedPacket& packet = mQueue.At(index);
    MIDIObjectRecord* destination = mRegistry->FindDestination(packet.mDestination);
    if (destination != nullptr && destination->mPresence.load() == packet.mPresence)
        return false;
    if (destination != nullptr) // offline since the send: what waited for it is lost
        destination->mOfflineMessages.fetch_add(MessagesOf(packet), std::memory_order_relaxed);
    mQueue.Recycle(index);
    return true;
}

namespace {
void Drop(MIDIObjectRecord& destination, const MIDIScheduledPacket& packet)
{
    destination.mDroppedPackets.fetch_add(1, std::memory_order_relaxed);
    destination.mDroppedMessages.fetch_add(MessagesOf(packet), std::memory_order_relaxed);
}
} // namespace

bool JackMIDIBackend::Write(MIDIScheduledPacket& packet, JackPlacement placement, UInt32 frame,
                            bool stale)
{
    MIDIObjectRecord* destination = mRegistry->FindDestination(packet.mDestination);
    if (destination == nullptr || packet.mLength == 0)
        return true; // disposed: what was sent to it goes with it
    if (destination->mPresence.load() != packet.mPresence) {
        destination->mOfflineMessages.fetch_add(MessagesOf(packet), std::memory_order_relaxed);
        return true;
    }
    Slot& slot = mSlots[destination->mBackendSlot];
    if (slot.mBuffer == nullptr) {
        if (slot.mState.load() != kFailed && !stale)
            return false; // its port is being made and connected
        Drop(*destination, packet);
        return true;
    }
    if (slot.mFull)
        return false; // after a packet that did not fit, to keep the order
    if (placement == JackPlacement::PastDue && !packet.mLateAccounted) {
        packet.mLateAccounted = true;
        destination->mLatePackets.fetch_add(1, std::memory_order_relaxed);
    }
    frame = std::max(frame, slot.mLastFrame);
    // One message per event, all at the packet's frame.
    MIDIMessageSplitter messages(packet.mData, packet.mLength);
    const Byte* message = nullptr;
    UInt16 length = 0;
    UInt16 written = 0;
    bool whole = true;
    while (whole && messages.Next(message, length)) {
        if (jack_midi_event_write(slot.mBuffer, frame, message, length) == 0) {
            slot.mLastFrame = frame;
            ++slot.mWritten;
            ++written;
            continue;
        }
        whole = false;
    }
    destination->mDeliveredMessages.fetch_add(written, std::memory_order_relaxed);
    if (whole)
        return true;
    if (slot.mWritten == 0) {
        // Too long for even an empty buffer: it can never be written.
        Drop(*destination, packet);
        return true;
    }
    // The buffer is full: the rest of the packet, and everything after it for this destination,
    // waits for the next cycle, where it is past due.
    KeepRest(packet, messages.MessageStart(), messages.RunningStatus());
    slot.mFull = true;
    return false;
}

void JackMIDIBackend::KeepRest(MIDIScheduledPacket& packet, UInt16 from, Byte runningStatus)
{
    // A message under running status begins with a data byte; its status goes in front again
    // (there is room: the status byte it follows was in front of it).
    const bool restore = packet.mData[from] < 0x80 && runningStatus != 0;
    const UInt16 rest = UInt16(packet.mLength - from);
    std::memmove(packet.mData + (restore ? 1 : 0), packet.mData + from, rest);
    if (restore)
        packet.mData[0] = runningStatus;
    packet.mLength = UInt16(rest + (restore ? 1 : 0));
}
