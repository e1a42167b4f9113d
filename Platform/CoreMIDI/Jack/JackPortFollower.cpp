#include "JackPortFollower.h"

#include "JackMIDIWriter.h"
#include "MIDIBackend.h"

#include <cerrno>

namespace {

// "client:port" gives the name "port" and the display name "client: port".
std::pair<std::string, std::string> DestinationNames(const std::string& fullName)
{
    const size_t colon = fullName.find(':');
    if (colon == std::string::npos)
        return {fullName, fullName};
    return {fullName.substr(colon + 1),
            fullName.substr(0, colon) + ": " + fullName.substr(colon + 1)};
}

} // namespace

void JackPortFollower::NoteRename(const char* oldName, const char* newName)
{
    std::lock_guard<std::mutex> lock(mRenamesMutex);
    mRenames.emplace_back(oldName, newName);
}

void JackPortFollower::Follow()
{
    ApplyRenames();
    for (JackDestinationSlot& slot : mSlots)
        slot.mSeen = false;
    // Our own ports are outputs, so every MIDI input port belongs to another client; JACK lists
    // them in the order they were registered, which keeps the list's order stable.
    if (const char** names = jack_get_ports(mConnection.Client(), nullptr, JACK_DEFAULT_MIDI_TYPE,
                                            JackPortIsInput)) {
        for (const char** name = names; *name != nullptr; ++name)
            ListPort(*name);
        jack_free(names);
    }
    for (JackDestinationSlot& slot : mSlots)
        if (slot.InUse() && !slot.mSeen && !slot.Offline())
            GoOffline(slot);
}

void JackPortFollower::ApplyRenames()
{
    std::vector<std::pair<std::string, std::string>> renames;
    {
        std::lock_guard<std::mutex> lock(mRenamesMutex);
        renames.swap(mRenames);
    }
    for (const auto& [oldName, newName] : renames)
        for (JackDestinationSlot& slot : mSlots)
            if (slot.InUse() && slot.mPortName == oldName) {
                slot.mPortName = newName;
                const auto [name, displayName] = DestinationNames(newName);
                mRegistry->RenameDestination(slot.mEndpoint, name, displayName);
            }
}

void JackPortFollower::ListPort(const std::string& fullName)
{
    if (JackDestinationSlot* known = mSlots.Find(fullName)) {
        known->mSeen = true;
        if (known->Offline()) {
            // The same port again: its destination is back, its port to be made at its next use.
            mSlots.MarkBack(*known);
            mRegistry->BringBackOnline(known->mEndpoint);
        }
        return;
    }
    JackDestinationSlot* free = FreeSlot();
    if (free == nullptr)
        return; // more ports than the backend lists
    const auto [name, displayName] = DestinationNames(fullName);
    // The slot is ready before the destination is published, since a send may follow at once.
    free->mState.store(kJackSlotListed);
    free->mEndpoint =
        mRegistry->AddDestination(mBackend, mSlots.IndexOf(*free), fullName, name, displayName);
    if (!free->InUse()) {
        free->mState.store(kJackSlotFree);
        return;
    }
    free->mPortName = fullName;
    free->mSeen = true;
}

JackDestinationSlot* JackPortFollower::FreeSlot()
{
    if (JackDestinationSlot* unused = mSlots.Unused())
        return unused;
    // A port that is here now goes before one that may never come back.
    JackDestinationSlot* oldestOffline = mSlots.OldestOffline();
    if (oldestOffline != nullptr)
        RemoveSlot(*oldestOffline);
    return oldestOffline;
}

void JackPortFollower::GoOffline(JackDestinationSlot& slot)
{
    // From now on sends are refused, and what waits for the destination is counted, not written.
    mRegistry->TakeOffline(slot.mEndpoint);
    mWriter.DiscardForGoneDestinations();
    UnregisterPorts(slot);
    mSlots.MarkOffline(slot);
    if (mSlots.OfflineCount() > JackDestinationSlots::kMaxOffline)
        RemoveSlot(*mSlots.OldestOffline());
}

void JackPortFollower::RemoveSlot(JackDestinationSlot& slot)
{
    // After this, nothing is handed over for the destination nor written for it.
    mRegistry->RemoveDestination(slot.mEndpoint);
    mWriter.DiscardForGoneDestinations();
    UnregisterPorts(slot);
    slot.mEndpoint = 0;
    slot.mPortName.clear();
    slot.mOfflineOrder = 0;
    slot.mState.store(kJackSlotFree);
}

void JackPortFollower::UnregisterPorts(JackDestinationSlot& slot)
{
    if (jack_port_t* output = slot.mOutput.exchange(nullptr)) {
        mWriter.WaitForCycleToEnd(); // the callback may still hold the port's buffer
        jack_port_unregister(mConnection.Client(), output);
    }
    if (slot.mUnconnected != nullptr)
        jack_port_unregister(mConnection.Client(), slot.mUnconnected);
    slot.mUnconnected = nullptr;
}

void JackPortFollower::LoseServer()
{
    for (JackDestinationSlot& slot : mSlots)
        if (slot.InUse() && !slot.Offline()) {
            // The server is gone, and our ports with it.
            slot.mOutput.store(nullptr);
            slot.mUnconnected = nullptr;
            GoOffline(slot);
        }
}

void JackPortFollower::ForgetRenames()
{
    std::lock_guard<std::mutex> lock(mRenamesMutex);
    mRenames.clear();
}

void JackPortFollower::MakeWantedPorts()
{
    jack_client_t* const client = mConnection.Client();
    for (JackDestinationSlot& slot : mSlots) {
        if (slot.mState.load() != kJackSlotWanted)
            continue;
        // One output port for each destination in use, connected to it.
        if (slot.mUnconnected == nullptr) {
            const std::string portName = "to " + slot.mPortName;
            slot.mUnconnected = jack_port_register(client, portName.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                                   JackPortIsOutput, 0);
            if (slot.mUnconnected == nullptr) {
                slot.mState.store(kJackSlotFailed);
                continue;
            }
        }
        // A client's ports are listed before it is active, and can be connected only once it is:
        // until then this is tried again at each change of the graph and each second.
        const int connected =
            jack_connect(client, jack_port_name(slot.mUnconnected), slot.mPortName.c_str());
        if (connected != 0 && connected != EEXIST)
            continue;
        slot.mOutput.store(slot.mUnconnected);
        slot.mUnconnected = nullptr;
        slot.mState.store(kJackSlotReady);
    }
}
