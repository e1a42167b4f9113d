// The live MIDI objects (clients, ports, endpoints) in a fixed table. A reference carries the
// object's kind, its slot and the slot's generation, so looking one up is a single atomic load
// that never takes a lock, and a stale reference to a reused slot is recognised as stale.
#pragma once

#include <CoreMIDI/MIDIServices.h>

#include <atomic>
#include <mutex>
#include <string>

class MIDIBackend;
class MIDIPacketSink;

enum class MIDIObjectKind : UInt32 { Client = 1, Port = 2, Endpoint = 3 };

struct MIDIObjectRecord {
    // The reference of the object living here, 0 while the slot holds none.
    std::atomic<MIDIObjectRef> mRef{0};
    std::atomic<SInt32> mAdvanceMicros{0};
    std::atomic<SInt32> mLatencyOffsetMicros{0};
    std::atomic<UInt32> mLatePackets{0};    // delivered after their due time
    std::atomic<UInt32> mDroppedPackets{0}; // never delivered: the backend could not take them
    // Even while a destination is online, odd while it is offline; one more at every change, so
    // that a packet sent before a change is told from one sent after it.
    std::atomic<UInt32> mPresence{0};
    // What became of the messages sent to a destination (see kMIDIPropertyDeliveredMessageCount).
    std::atomic<UInt32> mDeliveredMessages{0};
    std::atomic<UInt32> mRefusedMessages{0};
    std::atomic<UInt32> mOfflineMessages{0};
    std::atomic<UInt32> mDroppedMessages{0};

    // Written before mRef is published, constant while the object lives. A destination without
    // an owner belongs to a system backend.
    MIDIObjectRef mOwner = 0;
    MIDIBackend* mBackend = nullptr;
    UInt32 mBackendSlot = 0;
    // Where sends to a destination go: mBackend itself or the scheduler that serves it. Never
    // cleared, so that a sender racing a disposal always finds one, which then drops the packet
    // of the stale reference.
    std::atomic<MIDIPacketSink*> mSink{nullptr};
    MIDIReadProc mReadProc = nullptr;
    void* mReadRefCon = nullptr;
    MIDINotifyProc mNotifyProc = nullptr;
    void* mNotifyRefCon = nullptr;

    // Under the table's mutex.
    std::string mName;
    std::string mDisplayName; // empty: the name
    MIDIUniqueID mUniqueID = 0;
    UInt32 mGeneration = 0;
    bool mReserved = false; // live, or disposed but possibly still being delivered to
};

class MIDIObjectTable {
public:
    static constexpr UInt32 kCapacity = 1024;

    static MIDIObjectKind KindOf(MIDIObjectRef ref);

    // The record of a live object of the given kind, or null. Sequentially consistent, so that
    // a disposal and a delivery in progress always see each other. [any-thread]
    MIDIObjectRecord* Find(MIDIObjectRef ref, MIDIObjectKind kind);
    MIDIObjectRecord* Find(MIDIObjectRef ref);

    // The operations below are called with Mutex() held.
    std::mutex& Mutex() { return mMutex; }
    // Reserves a slot, lets fill() set its fields, then publishes the object; 0 when full.
    template <typename Fill> MIDIObjectRef Add(MIDIObjectKind kind, Fill fill);
    // Makes the reference stale at once; the slot stays reserved until Release.
    void Retire(MIDIObjectRef ref);
    // Gives the slot of a retired object back, once nothing can reach the object any more.
    void Release(MIDIObjectRef ref);
    MIDIObjectRecord& At(UInt32 index) { return mRecords[index]; }
    bool UniqueIDInUse(MIDIUniqueID id) const;
    MIDIUniqueID NewUniqueID();
    // The same id for the same key in every run, unless a live object holds it already.
    MIDIUniqueID StableUniqueID(const std::string& key) const;

private:
    static UInt32 IndexOf(MIDIObjectRef ref);
    MIDIObjectRef Publish(UInt32 index, MIDIObjectKind kind);
    bool ReserveFreeSlot(UInt32& index);

    std::mutex mMutex;
    MIDIObjectRecord mRecords[kCapacity];
    UInt32 mUniqueIDSeed = 0;
    UInt32 mNextSlot = 0;
};

template <typename Fill> MIDIObjectRef MIDIObjectTable::Add(MIDIObjectKind kind, Fill fill)
{
    UInt32 index = 0;
    if (!ReserveFreeSlot(index))
        return 0;
    MIDIObjectRecord& record = mRecords[index];
    record.mUniqueID = NewUniqueID();
    fill(record);
    return Publish(index, kind);
}
