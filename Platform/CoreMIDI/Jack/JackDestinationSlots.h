// The state of each destination the JACK backend lists, one slot each: how far its output port has
// come (listed, wanted at a first send, ready, failed, offline), the port itself, and which slot a
// new port may take when all are in use.
#pragma once

#include <CoreMIDI/MIDIServices.h>

#include <jack/jack.h>

#include <atomic>
#include <string>

enum JackSlotState : UInt32 {
    kJackSlotFree,
    kJackSlotListed,
    kJackSlotWanted,
    kJackSlotReady,
    kJackSlotFailed,
    kJackSlotOffline
};

// One destination. The state and output port are shared with the process callback and the
// senders; the rest belongs to the backend's thread.
struct JackDestinationSlot {
    std::atomic<UInt32> mState{kJackSlotFree};
    std::atomic<jack_port_t*> mOutput{nullptr};
    MIDIEndpointRef mEndpoint = 0;       // 0 while the slot is unused
    jack_port_t* mUnconnected = nullptr; // our port for it, made but not yet connected
    std::string mPortName;               // the destination port's full name
    bool mSeen = false;                  // found in the server's latest port list
    UInt64 mOfflineOrder = 0;            // while offline: when it went, in the order slots went

    bool InUse() const { return mEndpoint != 0; }
    bool Offline() const { return mState.load() == kJackSlotOffline; }
};

class JackDestinationSlots {
public:
    static constexpr UInt32 kCapacity = 256;
    // Destinations kept offline for ports that may come back; the one gone longest goes for good.
    static constexpr UInt32 kMaxOffline = 64;

    JackDestinationSlot& operator[](UInt32 index) { return mSlots[index]; }
    UInt32 IndexOf(const JackDestinationSlot& slot) const { return UInt32(&slot - mSlots); }
    JackDestinationSlot* begin() { return mSlots; }
    JackDestinationSlot* end() { return mSlots + kCapacity; }

    // The slot in use for the port of that full name, or null. [backend-thread]
    JackDestinationSlot* Find(const std::string& portName);
    // A slot never used or freed since, or null. [backend-thread]
    JackDestinationSlot* Unused();
    // Of the slots offline, the one gone longest, or null. [backend-thread]
    JackDestinationSlot* OldestOffline();
    // How many slots are offline. [backend-thread]
    UInt32 OfflineCount();
    // Marks the slot offline, the latest to go. [backend-thread]
    void MarkOffline(JackDestinationSlot& slot);
    // Marks an offline slot listed again, its port to be made at its next use. [backend-thread]
    void MarkBack(JackDestinationSlot& slot);
    // A first send wants the slot's port: true when it was only listed so far, and the port is
    // now to be made. [render-thread]
    bool Want(UInt32 index);

private:
    JackDestinationSlot mSlots[kCapacity];
    UInt64 mOfflineCount = 0; // slots that went offline so far [backend-thread]
};
