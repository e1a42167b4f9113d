// The process's MIDI services behind the C interface: the object table, the list of online
// destinations in the order they appeared, the grower of the packet pools, and one lane per
// backend (the backend with its scheduler, unless it takes packets directly), the in-process
// backend's lane first. One instance, made on first use.
#pragma once

#include "MIDIBackend.h"
#include "MIDIObjectTable.h"
#include "MIDIPoolGrower.h"
#include "MIDIScheduler.h"
#include "MirroredList.h"

#include <CoreMIDI/MIDIServices.h>

#include <memory>
#include <vector>

class MIDIServer final : private MIDIDestinationRegistry {
public:
    // The shared instance, or null when its scheduler thread could not start. [any-thread]
    static MIDIServer* Shared();
    ~MIDIServer();
    MIDIServer(const MIDIServer&) = delete;
    MIDIServer& operator=(const MIDIServer&) = delete;

    // The services behind the C entry points of the same names; see MIDIServices.h. [host-thread]
    OSStatus CreateClient(CFStringRef name, MIDINotifyProc notifyProc, void* notifyRefCon,
                          MIDIClientRef* outClient);
    OSStatus CreateOutputPort(MIDIClientRef client, CFStringRef name, MIDIPortRef* outPort);
    OSStatus CreateDestination(MIDIClientRef client, CFStringRef name, MIDIReadProc readProc,
                               void* refCon, MIDIEndpointRef* outDestination);
    OSStatus Dispose(MIDIObjectRef object, MIDIObjectKind kind);

    // Without waiting for a thread that is changing the objects. [any-thread]
    ItemCount NumberOfDestinations();
    MIDIEndpointRef Destination(ItemCount index);

    // [host-thread]
    OSStatus GetStringProperty(MIDIObjectRef object, CFStringRef property, CFStringRef* outValue);
    OSStatus GetIntegerProperty(MIDIObjectRef object, CFStringRef property, SInt32* outValue);
    OSStatus SetIntegerProperty(MIDIObjectRef object, CFStringRef property, SInt32 value);

    // [render-thread]
    OSStatus AudioServerCycle(MIDIAudioServerCycle& outCycle) const;
    OSStatus Send(MIDIPortRef port, MIDIEndpointRef destination, const MIDIPacketList* list);

private:
    // Destinations a render thread can look up without waiting: far more than a studio has.
    static constexpr size_t kMirroredDestinations = 256;

    struct Lane {
        std::unique_ptr<MIDIBackend> mBackend;
        std::unique_ptr<MIDIScheduler> mScheduler; // null for a backend that takes packets itself
    };
    struct RetiredObject {
        MIDIObjectRef mRef;
        MIDIBackend* mBackend;
    };

    MIDIServer();

    template <typename Fill>
    OSStatus Create(MIDIObjectKind kind, MIDIClientRef owner, CFStringRef name, Fill fill,
                    MIDIObjectRef* outObject);
    // Under the table's mutex: makes the object unreachable and takes it off the list.
    void Retire(MIDIObjectRef object, std::vector<RetiredObject>& retired);
    // Without the mutex: waits until nothing calls into the retired objects, then frees them.
    void FinishDisposal(const std::vector<RetiredObject>& retired);
    MIDIPacketSink& SinkOf(MIDIBackend& backend);
    // Under the table's mutex: a destination's change between online and offline.
    void SetOffline(MIDIObjectRecord& record, MIDIEndpointRef destination, bool offline);
    MIDIScheduler& Notifier() { return *mLanes.front().mScheduler; }

    // MIDIDestinationRegistry
    MIDIEndpointRef AddDestination(MIDIBackend& backend, UInt32 slot, const std::string& key,
                                   const std::string& name,
                                   const std::string& displayName) override;
    void RenameDestination(MIDIEndpointRef destination, const std::string& name,
                           const std::string& displayName) override;
    void TakeOffline(MIDIEndpointRef destination) override;
    void BringBackOnline(MIDIEndpointRef destination) override;
    void RemoveDestination(MIDIEndpointRef destination) override;
    MIDIObjectRecord* FindDestination(MIDIEndpointRef destination) override;

    MIDIPoolGrower mGrower; // first made, last ended: every queue it serves ends before it
    MIDIObjectTable mTable;
    // Changed under the table's mutex; a render thread that chooses a destination reads it
    // without waiting for that mutex.
    MirroredList<MIDIEndpointRef, kMirroredDestinations> mDestinations{mTable.Mutex()};
    std::vector<Lane> mLanes; // fixed once constructed
};
