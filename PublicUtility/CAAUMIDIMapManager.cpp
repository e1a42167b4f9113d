#include "CAAUMIDIMapManager.h"

#include <AudioToolbox/AudioUnitUtilities.h>

#include <algorithm>
#include <cstring>
#include <thread>

namespace {

using ReadSection = CAReaderEpochs::ReadSection;

// How often a capture builds again after property changes got in first, before it gives up
// and leaves learning armed.
constexpr int kCaptureAttempts = 4;

// A host's record, wherever its bytes lie: the property value need not be aligned.
AUParameterMIDIMapping RecordAt(const AUParameterMIDIMapping* records, size_t index)
{
    AUParameterMIDIMapping record;
    std::memcpy(&record, reinterpret_cast<const Byte*>(records) + index * sizeof(record),
                sizeof(record));
    return record;
}

bool SameParameter(const AUParameterMIDIMapping& a, const AUParameterMIDIMapping& b)
{
    return a.mParameterID == b.mParameterID && a.mScope == b.mScope && a.mElement == b.mElement;
}

// The records as maps completed from the unit's parameter descriptions, in the given order.
std::vector<CAAUMIDIMap> CompletedMaps(const AUParameterMIDIMapping* records, UInt32 count,
                                       CAMIDIMapTarget& unit)
{
    std::vector<CAAUMIDIMap> maps;
    maps.reserve(count);
    for (UInt32 i = 0; i < count; ++i) {
        maps.emplace_back(RecordAt(records, i));
        FillInMap(maps.back(), unit);
    }
    return maps;
}

const AUParameterMIDIMapping kNoHotMap{};

} // namespace

// One snapshot of the store: sorted maps in a block of fixed capacity. Changed only before it is
// published (by the one thread that built it), read-only afterwards.
class CAAUMIDIMapManager::MapSet {
public:
    explicit MapSet(size_t capacity) : mCapacity(capacity), mMaps(new CAAUMIDIMap[capacity]) {}

    UInt32 Count() const { return UInt32(mCount); }
    const CAAUMIDIMap* begin() const { return mMaps.get(); }
    const CAAUMIDIMap* end() const { return mMaps.get() + mCount; }

    int FindParameterIndex(const AUParameterMIDIMapping& map) const
    {
        for (size_t i = 0; i < mCount; ++i)
            if (SameParameter(mMaps[i], map))
                return int(i);
        return -1;
    }

    // The following need room for what they add; none allocates.
    void Assign(const MapSet& from)
    {
        std::copy(from.begin(), from.end(), mMaps.get());
        mCount = from.mCount;
    }
    void Append(const CAAUMIDIMap& map) { mMaps[mCount++] = map; }
    void EraseAt(size_t index)
    {
        std::copy(mMaps.get() + index + 1, mMaps.get() + mCount, mMaps.get() + index);
        --mCount;
    }
    // The map takes the place of its parameter's map (the first found), in the sorted place
    // after the maps of an equal key: as appending and a stable sort would put it.
    void ReplaceParameterMap(const CAAUMIDIMap& map)
    {
        const int found = FindParameterIndex(map);
        if (found >= 0)
            EraseAt(size_t(found));
        CAAUMIDIMap* place =
            std::upper_bound(mMaps.get(), mMaps.get() + mCount, map, CompareMIDIMap());
        std::copy_backward(place, mMaps.get() + mCount, mMaps.get() + mCount + 1);
        *place = map;
        ++mCount;
    }
    // This set becomes `from` with `map` put in; false, unchanged, without the room for it.
    bool AssignWithMap(const MapSet& from, const CAAUMIDIMap& map)
    {
        if (from.mCount >= mCapacity)
            return false;
        Assign(from);
        ReplaceParameterMap(map);
        return true;
    }

    // The link of the list of retired snapshots.
    MapSet* Next() const { return mNext; }
    void SetNext(MapSet* next) { mNext = next; }

private:
    size_t mCount = 0;
    const size_t mCapacity;
    std::unique_ptr<CAAUMIDIMap[]> mMaps;
    MapSet* mNext = nullptr;
};

// An armed learn: the host's template, the map it completes to, and the spare snapshot the
// capture builds in. Once captured, it keeps the captured record for GetHotParameterMap.
struct CAAUMIDIMapManager::Learn {
    explicit Learn(const AUParameterMIDIMapping& record) : mTemplate(record), mMap(record)
    {
        static_assert(alignof(Learn) > kCapturing, "the capture mark needs a free address bit");
    }

    const AUParameterMIDIMapping mTemplate;
    CAAUMIDIMap mMap;
    AUParameterMIDIMapping mCaptured{};
    // Owned until the capture publishes it. Touched only by whoever holds the Learn: the
    // capture while kCapturing is set, a property thread after TakeLearn.
    std::unique_ptr<MapSet> mSpare;
    // Room of the spare; written and read by property threads only.
    UInt32 mSpareRoom = 0;
};

namespace {

// Room for a spare: the store, the capture and some growth, so that most changes made while
// learning is armed leave the spare as it is.
UInt32 SpareRoom(UInt32 count)
{
    return 2 * count + 16;
}

} // namespace

CAAUMIDIMapManager::CAAUMIDIMapManager() : mMaps(new MapSet(0)), mHotMap(&kNoHotMap) {}

CAAUMIDIMapManager::~CAAUMIDIMapManager()
{
    delete mMaps.load();
    while (MapSet* set = mRetiredSets.pop_atomic())
        delete set;
    delete mLearn;
    for (Learn* learn : mRetiredLearns)
        delete learn;
}

// ---- Changes (property threads) ----

template <class Build> void CAAUMIDIMapManager::Publish(Build build)
{
    for (;;) {
        // The section spans build and swap: the snapshot compared against cannot be freed and
        // its address taken by another one in between.
        ReadSection section(mReaders);
        MapSet* current = mMaps.load(std::memory_order_seq_cst);
        std::unique_ptr<MapSet> next = build(*current);
        if (next == nullptr)
            return;
        EnsureSpareFits(next->Count());
        // Only a capture can have changed the store since the load: build again on its result.
        if (mMaps.compare_exchange_strong(current, next.get(), std::memory_order_seq_cst)) {
            mRetiredSets.push_atomic(current);
            next.release();
            return;
        }
    }
}

CAAUMIDIMapManager::Learn* CAAUMIDIMapManager::TakeLearn()
{
    for (;;) {
        uintptr_t state = mLearnState.load(std::memory_order_acquire);
        if ((state & kCapturing) != 0) {
            std::this_thread::yield();
            continue;
        }
        if (mLearnState.compare_exchange_weak(state, 0, std::memory_order_acq_rel))
            return reinterpret_cast<Learn*>(state);
    }
}

void CAAUMIDIMapManager::EnsureSpareFits(UInt32 count)
{
    if (mLearn == nullptr || mLearn->mSpareRoom > count ||
        mLearnState.load(std::memory_order_acquire) == 0)
        return;
    auto spare = std::make_unique<MapSet>(SpareRoom(count));
    if (Learn* learn = TakeLearn()) {
        learn->mSpare = std::move(spare);
        learn->mSpareRoom = SpareRoom(count);
        mLearnState.store(reinterpret_cast<uintptr_t>(learn), std::memory_order_release);
    }
}

void CAAUMIDIMapManager::CollectGarbage()
{
    if (CAReaderEpochs::InReadSection())
        return;
    MapSet* sets = mRetiredSets.pop_all();
    std::vector<Learn*> learns;
    {
        std::lock_guard<std::mutex> lock(mWriterMutex);
        learns.swap(mRetiredLearns);
    }
    if (sets == nullptr && learns.empty())
        return;
    // Everything taken here was out of sight before it was taken.
    mReaders.WaitForReaders();
    while (sets != nullptr) {
        MapSet* next = sets->Next();
        delete sets;
        sets = next;
    }
    for (Learn* learn : learns)
        delete learn;
}

OSStatus CAAUMIDIMapManager::SortedInsertToParamaterMaps(const AUParameterMIDIMapping* maps,
                                                         UInt32 count, CAMIDIMapTarget& unit)
{
    const std::vector<CAAUMIDIMap> added = CompletedMaps(maps, count, unit);
    {
        std::lock_guard<std::mutex> lock(mWriterMutex);
        Publish([&added](const MapSet& current) {
            auto next = std::make_unique<MapSet>(size_t(current.Count()) + added.size());
            next->Assign(current);
            for (const CAAUMIDIMap& map : added)
                next->ReplaceParameterMap(map);
            return next;
        });
    }
    CollectGarbage();
    return noErr;
}

void CAAUMIDIMapManager::SortedRemoveFromParameterMaps(const AUParameterMIDIMapping* maps,
                                                       UInt32 count, bool& outMapDidChange)
{
    outMapDidChange = false;
    {
        std::lock_guard<std::mutex> lock(mWriterMutex);
        // Disarmed for good; the Learn stays as mLearn for its record.
        if (Learn* learn = TakeLearn())
            learn->mSpare.reset();
        Publish([&](const MapSet& current) -> std::unique_ptr<MapSet> {
            auto next = std::make_unique<MapSet>(current.Count());
            next->Assign(current);
            outMapDidChange = false;
            for (UInt32 i = 0; i < count; ++i) {
                const int found = next->FindParameterIndex(RecordAt(maps, i));
                if (found >= 0) {
                    next->EraseAt(size_t(found));
                    outMapDidChange = true;
                }
            }
            return outMapDidChange ? std::move(next) : nullptr;
        });
    }
    CollectGarbage();
}

OSStatus CAAUMIDIMapManager::ReplaceAllMaps(const AUParameterMIDIMapping* maps, UInt32 count,
                                            CAMIDIMapTarget& unit)
{
    std::vector<CAAUMIDIMap> replacement = CompletedMaps(maps, count, unit);
    std::stable_sort(replacement.begin(), replacement.end(), CompareMIDIMap());
    {
        std::lock_guard<std::mutex> lock(mWriterMutex);
        Publish([&replacement](const MapSet&) {
            auto next = std::make_unique<MapSet>(replacement.size());
            for (const CAAUMIDIMap& map : replacement)
                next->Append(map);
            return next;
        });
    }
    CollectGarbage();
    return noErr;
}

void CAAUMIDIMapManager::SetHotMapping(const AUParameterMIDIMapping& map, CAMIDIMapTarget& unit)
{
    auto learn = std::make_unique<Learn>(map);
    FillInMap(learn->mMap, unit);
    {
        std::lock_guard<std::mutex> lock(mWriterMutex);
        // Everything that can fail comes before the old template is taken, so that a failure
        // leaves learning as it was. Only a capture can add to the count meanwhile, and the
        // room has space for it.
        learn->mSpareRoom = SpareRoom(NumMaps());
        learn->mSpare = std::make_unique<MapSet>(learn->mSpareRoom);
        mRetiredLearns.reserve(mRetiredLearns.size() + 1);
        TakeLearn();
        if (mLearn != nullptr)
            mRetiredLearns.push_back(mLearn);
        mLearn = learn.release();
        mHotMap.store(&mLearn->mTemplate, std::memory_order_seq_cst);
        mLearnState.store(reinterpret_cast<uintptr_t>(mLearn), std::memory_order_release);
    }
    CollectGarbage();
}

// ---- Reading ----

UInt32 CAAUMIDIMapManager::GetMaps(AUParameterMIDIMapping* outMaps, UInt32 capacity) const
{
    ReadSection section(mReaders);
    const MapSet& maps = *mMaps.load(std::memory_order_seq_cst);
    auto* out = reinterpret_cast<Byte*>(outMaps);
    UInt32 written = 0;
    for (const CAAUMIDIMap& map : maps) {
        if (written == capacity)
            break;
        std::memcpy(out, static_cast<const AUParameterMIDIMapping*>(&map),
                    sizeof(AUParameterMIDIMapping));
        out += sizeof(AUParameterMIDIMapping);
        ++written;
    }
    return written;
}

UInt32 CAAUMIDIMapManager::NumMaps() const
{
    ReadSection section(mReaders);
    return mMaps.load(std::memory_order_seq_cst)->Count();
}

int CAAUMIDIMapManager::FindParameterIndex(const AUParameterMIDIMapping& map) const
{
    ReadSection section(mReaders);
    return mMaps.load(std::memory_order_seq_cst)->FindParameterIndex(map);
}

void CAAUMIDIMapManager::GetHotParameterMap(AUParameterMIDIMapping& outMap) const
{
    ReadSection section(mReaders);
    std::memcpy(&outMap, mHotMap.load(std::memory_order_seq_cst), sizeof(outMap));
}

void CAAUMIDIMapManager::Print() const
{
    ReadSection section(mReaders);
    for (const CAAUMIDIMap& map : *mMaps.load(std::memory_order_seq_cst))
        map.Print();
}

// ---- The MIDI thread ----

bool CAAUMIDIMapManager::HandleHotMapping(UInt8 inStatus, UInt8 inChannel, UInt8 inData1,
                                          CAMIDIMapTarget& /*unit*/)
{
    // Only channel messages complete a template; a system message, or a data byte given as a
    // status, leaves learning armed.
    if (inStatus < 0x80 || inStatus >= 0xF0)
        return false;
    // Most messages find learning idle: they leave without counting themselves as readers. The
    // state is read again inside the section, where the Learn it names cannot be freed.
    if (mLearnState.load(std::memory_order_relaxed) == 0)
        return false;
    ReadSection section(mReaders);
    uintptr_t state = mLearnState.load(std::memory_order_acquire);
    if (state == 0 || (state & kCapturing) != 0 ||
        !mLearnState.compare_exchange_strong(state, state | kCapturing, std::memory_order_acq_rel))
        return false;
    Learn& learn = *reinterpret_cast<Learn*>(state);
    CAAUMIDIMap map = learn.mMap;
    map.mStatus = UInt8(inStatus | inChannel);
    map.mData1 = inData1;
    MapSet& spare = *learn.mSpare;
    for (int attempt = 0; attempt < kCaptureAttempts; ++attempt) {
        MapSet* current = mMaps.load(std::memory_order_seq_cst);
        if (!spare.AssignWithMap(*current, map))
            break;
        if (mMaps.compare_exchange_strong(current, &spare, std::memory_order_seq_cst)) {
            learn.mSpare.release();
            mRetiredSets.push_atomic(current);
            learn.mCaptured = map;
            mHotMap.store(&learn.mCaptured, std::memory_order_seq_cst);
            mLearnState.store(0, std::memory_order_release);
            return true;
        }
    }
    mLearnState.store(state, std::memory_order_release);
    return false;
}

bool CAAUMIDIMapManager::FindParameterMapEventMatch(UInt8 inStatus, UInt8 inChannel, UInt8 inData1,
                                                    UInt8 inData2, UInt32 inBufferOffset,
                                                    CAMIDIMapTarget& unit)
{
    // A note-on of velocity 0 is a note-off.
    if (inStatus == 0x90 && inData2 == 0)
        inStatus = 0x80;
    CAAUMIDIMap probe;
    probe.mStatus = UInt8(inStatus | inChannel);
    probe.mData1 = inData1;
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_ParameterValueChange;
    event.mArgument.mParameter.mAudioUnit = unit.MappedInstance();

    ReadSection section(mReaders);
    const MapSet& maps = *mMaps.load(std::memory_order_seq_cst);
    const CompareMIDIMap order;
    bool matched = false;
    for (const CAAUMIDIMap* map = std::lower_bound(maps.begin(), maps.end(), probe, order);
         map != maps.end() && !order.Finish(*map, probe); ++map) {
        Float32 linear = 0;
        if (!map->MIDI_Matches(inChannel, inData1, inData2, linear))
            continue;
        // A parameter the unit refuses, by status or by throwing, leaves the others of the run
        // to be set all the same.
        try {
            unit.SetParameter(map->mParameterID, map->mScope, map->mElement,
                              map->ParamValueFromMIDILinear(linear), inBufferOffset);
        } catch (...) {
        }
        event.mArgument.mParameter.mParameterID = map->mParameterID;
        event.mArgument.mParameter.mScope = map->mScope;
        event.mArgument.mParameter.mElement = map->mElement;
        AUEventListenerNotify(nullptr, nullptr, &event);
        matched = true;
    }
    return matched;
}
