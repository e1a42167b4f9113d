#include "MIDIObjectTable.h"

namespace {
// Reference layout: generation (20 bits) | kind (2 bits) | slot index (10 bits). The generation
// is never 0, so no reference is 0.
constexpr UInt32 kIndexBits = 10;
constexpr UInt32 kKindBits = 2;
constexpr UInt32 kGenerationShift = kIndexBits + kKindBits;
constexpr UInt32 kGenerationLimit = 1u << (32 - kGenerationShift);
static_assert(MIDIObjectTable::kCapacity == 1u << kIndexBits, "index field holds every slot");
} // namespace

MIDIObjectKind MIDIObjectTable::KindOf(MIDIObjectRef ref)
{
    return MIDIObjectKind((ref >> kIndexBits) & ((1u << kKindBits) - 1));
}

UInt32 MIDIObjectTable::IndexOf(MIDIObjectRef ref)
{
    return ref & (kCapacity - 1);
}

MIDIObjectRecord* MIDIObjectTable::Find(MIDIObjectRef ref)
{
    if (ref == 0)
        return nullptr;
    MIDIObjectRecord& record = mRecords[IndexOf(ref)];
    return record.mRef.load(std::memory_order_seq_cst) == ref ? &record : nullptr;
}

MIDIObjectRecord* MIDIObjectTable::Find(MIDIObjectRef ref, MIDIObjectKind kind)
{
    return KindOf(ref) == kind ? Find(ref) : nullptr;
}

bool MIDIObjectTable::ReserveFreeSlot(UInt32& index)
{
    // Slots are taken in turn rather than lowest first, so that a slot's generation comes round
    // again only after a thousand times as many creations and a stale reference stays stale.
    for (UInt32 step = 0; step < kCapacity; ++step) {
        const UInt32 candidate = (mNextSlot + step) % kCapacity;
        if (!mRecords[candidate].mReserved) {
            mRecords[candidate].mReserved = true;
            mNextSlot = (candidate + 1) % kCapacity;
            index = candidate;
            return true;
        }
    }
    return false;
}

MIDIObjectRef MIDIObjectTable::Publish(UInt32 index, MIDIObjectKind kind)
{
    MIDIObjectRecord& record = mRecords[index];
    record.mGeneration = record.mGeneration + 1 < kGenerationLimit ? record.mGeneration + 1 : 1;
    const MIDIObjectRef ref =
        (record.mGeneration << kGenerationShift) | (UInt32(kind) << kIndexBits) | index;
    record.mRef.store(ref, std::memory_order_seq_cst);
    return ref;
}

void MIDIObjectTable::Retire(MIDIObjectRef ref)
{
    if (MIDIObjectRecord* record = Find(ref))
        record->mRef.store(0, std::memory_order_seq_cst);
}

void MIDIObjectTable::Release(MIDIObjectRef ref)
{
    MIDIObjectRecord& record = mRecords[IndexOf(ref)];
    if (!record.mReserved || record.mGeneration != ref >> kGenerationShift)
        return;
    record.mName.clear();
    record.mDisplayName.clear();
    record.mAdvanceMicros.store(0, std::memory_order_relaxed);
    record.mLatencyOffsetMicros.store(0, std::memory_order_relaxed);
    record.mLatePackets.store(0, std::memory_order_relaxed);
    record.mDroppedPackets.store(0, std::memory_order_relaxed);
    for (std::atomic<UInt32>* count :
         {&record.mPresence, &record.mDeliveredMessages, &record.mRefusedMessages,
          &record.mOfflineMessages, &record.mDroppedMessages})
        count->store(0, std::memory_order_relaxed);
    record.mOwner = 0;
    record.mBackend = nullptr;
    record.mBackendSlot = 0;
    record.mReadProc = nullptr;
    record.mReadRefCon = nullptr;
    record.mNotifyProc = nullptr;
    record.mNotifyRefCon = nullptr;
    record.mReserved = false;
}

bool MIDIObjectTable::UniqueIDInUse(MIDIUniqueID id) const
{
    for (const MIDIObjectRecord& record : mRecords)
        if (record.mReserved && record.mUniqueID == id)
            return true;
    return false;
}

MIDIUniqueID MIDIObjectTable::NewUniqueID()
{
    // Spread consecutive objects over the whole range, as the platform's ids look random, and
    // skip 0 (no id) and any id a caller has already given to a live object.
    MIDIUniqueID id = 0;
    do {
        mUniqueIDSeed = mUniqueIDSeed * 1664525u + 1013904223u;
        id = MIDIUniqueID(mUniqueIDSeed);
    } while (id == 0 || UniqueIDInUse(id));
    return id;
}

MIDIUniqueID MIDIObjectTable::StableUniqueID(const std::string& key) const
{
    // FNV-1a over the key; a clash with a live object moves on deterministically.
    UInt32 hash = 2166136261u;
    for (unsigned char c : key)
        hash = (hash ^ c) * 16777619u;
    MIDIUniqueID id = MIDIUniqueID(hash);
    while (id == 0 || UniqueIDInUse(id))
        id = MIDIUniqueID(UInt32(id) * 1664525u + 1013904223u);
    return id;
}
