// Follows the server's MIDI input ports as the backend's destinations: lists the ports that come,
// renames those renamed, takes those that vanish offline (keeping their destination, within a
// bound) and back when they return, and makes and connects our output port for each destination
// at its first use.
#pragma once

#include "JackConnection.h"
#include "JackDestinationSlots.h"

#include <jack/jack.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

class JackMIDIWriter;
class MIDIBackend;
class MIDIDestinationRegistry;

class JackPortFollower {
public:
    JackPortFollower(MIDIBackend& backend, const JackConnection& connection,
                     JackDestinationSlots& slots, JackMIDIWriter& writer)
        : mBackend(backend), mConnection(connection), mSlots(slots), mWriter(writer)
    {
    }
    JackPortFollower(const JackPortFollower&) = delete;
    JackPortFollower& operator=(const JackPortFollower&) = delete;

    // Where destinations are listed, before the first client opens. [host-thread]
    void Serve(MIDIDestinationRegistry& registry) { mRegistry = &registry; }

    // Takes in the renames announced, then the open client's port list. [backend-thread]
    void Follow();
    // Makes and connects the ports that a first send asked for. [backend-thread]
    void MakeWantedPorts();
    // The server went away, and our ports with it: every destination goes offline.
    // [backend-thread]
    void LoseServer();
    // Forgets the renames of a client that is closed. [backend-thread]
    void ForgetRenames();
    // Notes a rename for the next Follow. [jack-callback-thread]
    void NoteRename(const char* oldName, const char* newName);

private:
    void ApplyRenames();
    void ListPort(const std::string& fullName);
    // A slot for a new port: an unused one, else the one offline longest, removed for it.
    JackDestinationSlot* FreeSlot();
    // The destination's port vanished: it goes offline and keeps its slot, within the bound.
    void GoOffline(JackDestinationSlot& slot);
    void RemoveSlot(JackDestinationSlot& slot);
    void UnregisterPorts(JackDestinationSlot& slot);

    MIDIBackend& mBackend;
    const JackConnection& mConnection;
    JackDestinationSlots& mSlots;
    JackMIDIWriter& mWriter;
    MIDIDestinationRegistry* mRegistry = nullptr;
    std::mutex mRenamesMutex;
    std::vector<std::pair<std::string, std::string>> mRenames; // old and new full names
};
