// The MIDI-to-parameter maps of one unit: the host inserts, removes, replaces, lists and learns
// them through properties, and every incoming message of the unit is matched against them on the
// MIDI thread, which then sets the mapped parameters.
//
// Property threads change the store while the MIDI thread matches against it, so the store is an
// immutable sorted snapshot behind one atomic pointer. A change builds a new snapshot aside
// (allocating and sorting there), publishes it with one compare-and-swap, and frees the old one
// only once no matching pass can still read it (CAReaderEpochs): a pass sees one whole snapshot,
// never a half-changed one, and never waits. Changes are serialised among themselves by a mutex
// that only property threads take, so two of them at once lose nothing.
//
// A learn capture runs on the MIDI thread, where it may neither allocate nor wait: arming makes
// the completed template and a spare snapshot with room for one more map, and the capture builds
// its snapshot in the spare and publishes it with a compare-and-swap against the one it copied.
// A property change that gets in first makes the capture build again from the new snapshot; one
// that keeps getting in leaves learning armed for the next message.
#pragma once

#include "CAAUMIDIMap.h"
#include "CAReaderEpochs.h"
#include "TAtomicStack.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CAAUMIDIMapManager {
public:
    CAAUMIDIMapManager();
    ~CAAUMIDIMapManager();
    CAAUMIDIMapManager(const CAAUMIDIMapManager&) = delete;
    CAAUMIDIMapManager& operator=(const CAAUMIDIMapManager&) = delete;

    // Each record replaces the map of its parameter (scope, element, id), if any; of two records
    // for one parameter the later stays. Always 0; allocation failure throws. [host-thread]
    OSStatus SortedInsertToParamaterMaps(const AUParameterMIDIMapping* maps, UInt32 count,
                                         CAMIDIMapTarget& unit);
    // Cancels learning, then removes the map of each record's parameter; only the parameter
    // identity of a record counts. [host-thread]
    void SortedRemoveFromParameterMaps(const AUParameterMIDIMapping* maps, UInt32 count,
                                       bool& outMapDidChange);
    // The store becomes exactly these maps, duplicates included. Learning is untouched.
    // [host-thread]
    OSStatus ReplaceAllMaps(const AUParameterMIDIMapping* maps, UInt32 count,
                            CAMIDIMapTarget& unit);

    // The first records in store order, as many as the caller has room for; how many it wrote.
    // The store may have changed since NumMaps() was asked. [host-thread]
    UInt32 GetMaps(AUParameterMIDIMapping* outMaps, UInt32 capacity) const;
    UInt32 NumMaps() const;
    // The position of the map of the record's parameter, or -1. [any-thread]
    int FindParameterIndex(const AUParameterMIDIMapping& map) const;

    // Arms learning with a template: the next channel message completes its status and data
    // byte and inserts it. The parameter's range and curve are read now, while allocation is
    // still allowed. [host-thread]
    void SetHotMapping(const AUParameterMIDIMapping& map, CAMIDIMapTarget& unit);
    // The latest template, or after a capture the map it made; all zero before the first arming.
    // [host-thread]
    void GetHotParameterMap(AUParameterMIDIMapping& outMap) const;
    // Completes an armed learn with this message; true if it did. Allocates nothing and takes no
    // lock. [render-thread]
    bool HandleHotMapping(UInt8 inStatus, UInt8 inChannel, UInt8 inData1, CAMIDIMapTarget& unit);

    // Sets every parameter whose map matches the message and tells the parameter listeners;
    // true if any matched. Allocates nothing and takes no lock. [render-thread]
    bool FindParameterMapEventMatch(UInt8 inStatus, UInt8 inChannel, UInt8 inData1, UInt8 inData2,
                                    UInt32 inBufferOffset, CAMIDIMapTarget& unit);

    // One line per map on standard output. [any-thread]
    void Print() const;

private:
    class MapSet;
    struct Learn;
    // Added to the armed Learn's address while the MIDI thread completes it.
    static constexpr uintptr_t kCapturing = 1;

    // Publishes the snapshot `build` makes from the current one (null: no change), building
    // again when a learn capture got in between. [host-thread, holding mWriterMutex]
    template <class Build> void Publish(Build build);
    // Takes the armed template out of the MIDI thread's reach, waiting for a capture under way;
    // null when not armed. [host-thread, holding mWriterMutex]
    Learn* TakeLearn();
    // Gives an armed template a spare with room for a store of `count` maps plus the capture.
    // [host-thread, holding mWriterMutex]
    void EnsureSpareFits(UInt32 count);
    // Frees what no reader can hold any more; left for a later call on a thread that reads.
    // [host-thread, not holding mWriterMutex]
    void CollectGarbage();

    mutable CAReaderEpochs mReaders;
    // The published snapshot; never null.
    std::atomic<MapSet*> mMaps;
    // The armed Learn, with kCapturing added while the MIDI thread completes it; 0 when idle.
    std::atomic<uintptr_t> mLearnState{0};
    // What GetHotParameterMap reads: a zero record, a template, or a captured map.
    std::atomic<const AUParameterMIDIMapping*> mHotMap;
    // Snapshots taken out of sight, freed once no reader can hold them (pushed by captures too).
    TAtomicStack<MapSet> mRetiredSets;

    // Serialises the property threads' changes; never taken on the MIDI thread.
    std::mutex mWriterMutex;
    // The latest template, kept while mHotMap may point into it. [mWriterMutex]
    Learn* mLearn = nullptr;
    // Earlier templates, freed with the snapshots. [mWriterMutex]
    std::vector<Learn*> mRetiredLearns;
};
