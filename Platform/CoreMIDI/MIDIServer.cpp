#include "MIDIServer.h"

#include "MIDIMessageSplitter.h"
#include "VirtualDestinationBackend.h"

#include "CFStringText.h"

#include <CoreAudio/CoreAudioTypes.h>
#include <CoreFoundation/CFString.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace {

bool IsProperty(CFStringRef property, CFStringRef known)
{
    return property == known || CFEqual(property, known);
}

// The read-only counts of a destination, by property: packets late and dropped, and what became
// of its messages; null for any other property.
const std::atomic<UInt32>* MessageCount(const MIDIObjectRecord& record, CFStringRef property)
{
    const std::pair<CFStringRef, const std::atomic<UInt32>*> counts[] = {
        {kMIDIPropertyLatePacketCount, &record.mLatePackets},
        {kMIDIPropertyDroppedPacketCount, &record.mDroppedPackets},
        {kMIDIPropertyDeliveredMessageCount, &record.mDeliveredMessages},
        {kMIDIPropertyRefusedMessageCount, &record.mRefusedMessages},
        {kMIDIPropertyOfflineMessageCount, &record.mOfflineMessages},
        {kMIDIPropertyDroppedMessageCount, &record.mDroppedMessages},
    };
    for (const auto& [name, count] : counts)
        if (IsProperty(property, name))
            return count;
    return nullptr;
}

// Calls use(record) for a live object under the table's lock, and gives its status;
// kMIDIObjectNotFound for any other object.
template <typename Use>
OSStatus WithLiveObject(MIDIObjectTable& table, MIDIObjectRef object, Use use)
{
    std::lock_guard<std::mutex> lock(table.Mutex());
    MIDIObjectRecord* record = table.Find(object);
    return record != nullptr ? use(*record) : OSStatus(kMIDIObjectNotFound);
}

// The messages of a list, of its well-formed packets up to the first that is not (whose length
// says nothing of where the next begins), which counts as one.
UInt32 CountListMessages(const MIDIPacketList& list)
{
    UInt32 count = 0;
    const MIDIPacket* packet = &list.packet[0];
    for (UInt32 n = 0; n < list.numPackets; ++n, packet = MIDIPacketNext(packet)) {
        if (packet->length > sizeof(MIDIPacket::data))
            return count + 1;
        count += CountMessages(packet->data, packet->length);
    }
    return count;
}

OSStatus StatusForMissing(MIDIObjectKind kind)
{
    switch (kind) {
    case MIDIObjectKind::Client:
        return kMIDIInvalidClient;
    case MIDIObjectKind::Port:
        return kMIDIInvalidPort;
    case MIDIObjectKind::Endpoint:
        return kMIDIUnknownEndpoint;
    }
    return kMIDIObjectNotFound;
}

} // namespace

MIDIServer* MIDIServer::Shared()
{
    static const std::unique_ptr<MIDIServer> sServer = []() -> std::unique_ptr<MIDIServer> {
        try {
            return std::unique_ptr<MIDIServer>(new MIDIServer);
        } catch (...) {
            return nullptr;
        }
    }();
    return sServer.get();
}

MIDIServer::MIDIServer()
{
    std::vector<std::unique_ptr<MIDIBackend>> backends = MakeSystemBackends(mGrower);
    backends.insert(backends.begin(), std::make_unique<VirtualDestinationBackend>());
    mLanes.reserve(backends.size());
    for (std::unique_ptr<MIDIBackend>& backend : backends) {
        std::unique_ptr<MIDIScheduler> scheduler;
        if (backend->DirectSink() == nullptr)
            scheduler = std::make_unique<MIDIScheduler>(mTable, *backend, mGrower);
        mLanes.push_back({std::move(backend), std::move(scheduler)});
    }
    for (Lane& lane : mLanes)
        lane.mBackend->Start(*this);
}

MIDIServer::~MIDIServer()
{
    // The system backends stop following their services while everything they call still
    // stands; then each scheduler ends before its backend goes.
    for (Lane& lane : mLanes)
        lane.mBackend->Stop();
    while (!mLanes.empty()) {
        mLanes.back().mScheduler.reset();
        mLanes.pop_back();
    }
    // The grower, a member, ends after them.
}

MIDIPacketSink& MIDIServer::SinkOf(MIDIBackend& backend)
{
    if (MIDIPacketSink* direct = backend.DirectSink())
        return *direct;
    for (Lane& lane : mLanes)
        if (lane.mBackend.get() == &backend && lane.mScheduler != nullptr)
            return *lane.mScheduler;
    return Notifier();
}

template <typename Fill>
OSStatus MIDIServer::Create(MIDIObjectKind kind, MIDIClientRef owner, CFStringRef name, Fill fill,
                            MIDIObjectRef* outObject)
{
    if (outObject == nullptr)
        return kAudio_ParamError;
    *outObject = 0;
    std::optional<std::string> text = CFStringText(name);
    if (!text)
        return kAudio_ParamError;
    std::lock_guard<std::mutex> lock(mTable.Mutex());
    if (kind != MIDIObjectKind::Client && mTable.Find(owner, MIDIObjectKind::Client) == nullptr)
        return kMIDIInvalidClient;
    if (kind == MIDIObjectKind::Endpoint)
        mDestinations.Reserve(); // may throw: before the object exists
    const MIDIObjectRef object = mTable.Add(kind, [&](MIDIObjectRecord& record) {
        record.mName = std::move(*text);
        record.mOwner = owner;
        fill(record);
    });
    if (object == 0)
        return kMIDIUnknownError;
    *outObject = object;
    if (kind == MIDIObjectKind::Endpoint) {
        mDestinations.Append(object);
        Notifier().AnnounceSetupChange();
    }
    return noErr;
}

OSStatus MIDIServer::CreateClient(CFStringRef name, MIDINotifyProc notifyProc, void* notifyRefCon,
                                  MIDIClientRef* outClient)
{
    return Create(
        MIDIObjectKind::Client, 0, name,
        [&](MIDIObjectRecord& record) {
            record.mNotifyProc = notifyProc;
            record.mNotifyRefCon = notifyRefCon;
        },
        outClient);
}

OSStatus MIDIServer::CreateOutputPort(MIDIClientRef client, CFStringRef name, MIDIPortRef* outPort)
{
    return Create(
        MIDIObjectKind::Port, client, name, [](MIDIObjectRecord&) {}, outPort);
}

OSStatus MIDIServer::CreateDestination(MIDIClientRef client, CFStringRef name,
                                       MIDIReadProc readProc, void* refCon,
                                       MIDIEndpointRef* outDestination)
{
    return Create(
        MIDIObjectKind::Endpoint, client, name,
        [&](MIDIObjectRecord& record) {
            record.mBackend = mLanes.front().mBackend.get();
            record.mSink.store(&Notifier());
            record.mReadProc = readProc;
            record.mReadRefCon = refCon;
        },
        outDestination);
}

OSStatus MIDIServer::Dispose(MIDIObjectRef object, MIDIObjectKind kind)
{
    std::vector<RetiredObject> retired;
    {
        std::lock_guard<std::mutex> lock(mTable.Mutex());
        const MIDIObjectRecord* record = mTable.Find(object, kind);
        if (record == nullptr) {
            const bool otherObject = mTable.Find(object) != nullptr;
            return kind == MIDIObjectKind::Endpoint && otherObject ? kMIDIWrongEndpointType
                                                                   : StatusForMissing(kind);
        }
        if (kind == MIDIObjectKind::Endpoint && record->mOwner == 0)
            return kMIDINotPermitted; // a system destination goes only when the system says so
        retired.reserve(kind == MIDIObjectKind::Client ? MIDIObjectTable::kCapacity : 1);
        if (kind == MIDIObjectKind::Client) {
            for (UInt32 index = 0; index < MIDIObjectTable::kCapacity; ++index) {
                MIDIObjectRecord& owned = mTable.At(index);
                const MIDIObjectRef ref = owned.mRef.load();
                if (ref != 0 && owned.mOwner == object)
                    Retire(ref, retired);
            }
        }
        Retire(object, retired);
    }
    FinishDisposal(retired);
    return noErr;
}

void MIDIServer::Retire(MIDIObjectRef object, std::vector<RetiredObject>& retired)
{
    retired.push_back({object, mTable.Find(object)->mBackend});
    mTable.Retire(object);
    mDestinations.Remove(object);
}

void MIDIServer::FinishDisposal(const std::vector<RetiredObject>& retired)
{
    // Waiting happens without the lock, so that a read procedure in progress may still call the
    // services; the slots are given back only when no call can reach them any more.
    for (const RetiredObject& object : retired) {
        for (Lane& lane : mLanes)
            if (lane.mScheduler != nullptr)
                lane.mScheduler->WaitForCallsToEnd(object.mRef);
        if (object.mBackend != nullptr)
            object.mBackend->WaitForDeliveriesToEnd(object.mRef);
    }
    const bool destinationsWent =
        std::any_of(retired.begin(), retired.end(), [](const RetiredObject& object) {
            return MIDIObjectTable::KindOf(object.mRef) == MIDIObjectKind::Endpoint;
        });
    if (destinationsWent) {
        for (Lane& lane : mLanes)
            if (lane.mScheduler != nullptr)
                lane.mScheduler->DropPacketsOfDisposedEndpoints();
        Notifier().AnnounceSetupChange();
    }
    std::lock_guard<std::mutex> lock(mTable.Mutex());
    for (const RetiredObject& object : retired)
        mTable.Release(object.mRef);
}

MIDIEndpointRef MIDIServer::AddDestination(MIDIBackend& backend, UInt32 slot,
                                           const std::string& key, const std::string& name,
                                           const std::string& displayName)
{
    std::lock_guard<std::mutex> lock(mTable.Mutex());
    mDestinations.Reserve();
    MIDIPacketSink& sink = SinkOf(backend);
    const MIDIEndpointRef destination =
        mTable.Add(MIDIObjectKind::Endpoint, [&](MIDIObjectRecord& record) {
            record.mName = name;
            record.mDisplayName = displayName;
            record.mUniqueID = mTable.StableUniqueID(key);
            record.mBackend = &backend;
            record.mBackendSlot = slot;
            record.mSink.store(&sink);
        });
    if (destination != 0) {
        mDestinations.Append(destination);
        Notifier().AnnounceSetupChange();
    }
    return destination;
}

void MIDIServer::RenameDestination(MIDIEndpointRef destination, const std::string& name,
                                   const std::string& displayName)
{
    std::lock_guard<std::mutex> lock(mTable.Mutex());
    if (MIDIObjectRecord* record = mTable.Find(destination, MIDIObjectKind::Endpoint)) {
        record->mName = name;
        record->mDisplayName = displayName;
        Notifier().AnnounceSetupChange();
    }
}

void MIDIServer::SetOffline(MIDIObjectRecord& record, MIDIEndpointRef destination, bool offline)
{
    if ((record.mPresence.load() % 2 != 0) == offline)
        return;
    record.mPresence.fetch_add(1);
    if (offline)
        mDestinations.Remove(destination);
    else
        mDestinations.Append(destination);
    Notifier().AnnounceSetupChange();
}

void MIDIServer::TakeOffline(MIDIEndpointRef destination)
{
    std::lock_guard<std::mutex> lock(mTable.Mutex());
    if (MIDIObjectRecord* record = mTable.Find(destination, MIDIObjectKind::Endpoint))
        SetOffline(*record, destination, true);
}

void MIDIServer::BringBackOnline(MIDIEndpointRef destination)
{
    std::lock_guard<std::mutex> lock(mTable.Mutex());
    mDestinations.Reserve(); // may throw: before anything changes
    if (MIDIObjectRecord* record = mTable.Find(destination, MIDIObjectKind::Endpoint))
        SetOffline(*record, destination, false);
}

void MIDIServer::RemoveDestination(MIDIEndpointRef destination)
{
    std::vector<RetiredObject> retired;
    {
        std::lock_guard<std::mutex> lock(mTable.Mutex());
        if (mTable.Find(destination, MIDIObjectKind::Endpoint) == nullptr)
            return;
        Retire(destination, retired);
    }
    FinishDisposal(retired);
}

MIDIObjectRecord* MIDIServer::FindDestination(MIDIEndpointRef destination)
{
    return mTable.Find(destination, MIDIObjectKind::Endpoint);
}

ItemCount MIDIServer::NumberOfDestinations()
{
    return mDestinations.Size();
}

MIDIEndpointRef MIDIServer::Destination(ItemCount index)
{
    return mDestinations.At(index);
}

OSStatus MIDIServer::GetStringProperty(MIDIObjectRef object, CFStringRef property,
                                       CFStringRef* outValue)
{
    if (property == nullptr || outValue == nullptr)
        return kAudio_ParamError;
    *outValue = nullptr;
    return WithLiveObject(mTable, object, [&](const MIDIObjectRecord& record) -> OSStatus {
        const std::string* text = nullptr;
        if (IsProperty(property, kMIDIPropertyName))
            text = &record.mName;
        else if (IsProperty(property, kMIDIPropertyDisplayName))
            // What belongs to no device, like a virtual destination, is shown by its name.
            text = record.mDisplayName.empty() ? &record.mName : &record.mDisplayName;
        else
            return kMIDIUnknownProperty;
        *outValue = CFStringCreateWithCString(nullptr, text->c_str(), kCFStringEncodingUTF8);
        return *outValue != nullptr ? OSStatus(noErr) : OSStatus(kMIDIUnknownError);
    });
}

OSStatus MIDIServer::GetIntegerProperty(MIDIObjectRef object, CFStringRef property,
                                        SInt32* outValue)
{
    if (property == nullptr || outValue == nullptr)
        return kAudio_ParamError;
    return WithLiveObject(mTable, object, [&](const MIDIObjectRecord& record) -> OSStatus {
        if (IsProperty(property, kMIDIPropertyUniqueID)) {
            *outValue = record.mUniqueID;
            return noErr;
        }
        if (MIDIObjectTable::KindOf(object) != MIDIObjectKind::Endpoint)
            return kMIDIUnknownProperty;
        if (IsProperty(property, kMIDIPropertyIsEmbeddedEntity))
            *outValue = 0;
        else if (IsProperty(property, kMIDIPropertyAdvanceScheduleTimeMuSec))
            *outValue = record.mAdvanceMicros.load();
        else if (IsProperty(property, kMIDIPropertyLatencyOffsetMuSec))
            *outValue = record.mLatencyOffsetMicros.load();
        else if (IsProperty(property, kMIDIPropertyDeliveryDelayMuSec))
            *outValue = SInt32(record.mBackend->DelayMicros());
        else if (const std::atomic<UInt32>* count = MessageCount(record, property))
            *outValue = SInt32(count->load());
        else if (IsProperty(property, kMIDIPropertyOffline))
            *outValue = SInt32(record.mPresence.load() % 2);
        else
            return kMIDIUnknownProperty;
        return noErr;
    });
}

OSStatus MIDIServer::SetIntegerProperty(MIDIObjectRef object, CFStringRef property, SInt32 value)
{
    if (property == nullptr)
        return kAudio_ParamError;
    return WithLiveObject(mTable, object, [&](MIDIObjectRecord& record) -> OSStatus {
        const bool isEndpoint = MIDIObjectTable::KindOf(object) == MIDIObjectKind::Endpoint;
        if (IsProperty(property, kMIDIPropertyUniqueID)) {
            if (isEndpoint && record.mOwner == 0)
                return kMIDINotPermitted; // a system destination's id is derived from the system's
                                          // name
            if (value == 0)
                return kAudio_ParamError;
            if (value != record.mUniqueID && mTable.UniqueIDInUse(value))
                return kMIDIIDNotUnique;
            record.mUniqueID = value;
            return noErr;
        }
        if (isEndpoint && IsProperty(property, kMIDIPropertyAdvanceScheduleTimeMuSec)) {
            if (value < 0)
                return kAudio_ParamError;
            record.mAdvanceMicros.store(value);
            return noErr;
        }
        if (isEndpoint && IsProperty(property, kMIDIPropertyLatencyOffsetMuSec)) {
            record.mLatencyOffsetMicros.store(value);
            return noErr;
        }
        if (isEndpoint && IsProperty(property, kMIDIPropertyOffline)) {
            if (record.mOwner == 0)
                return kMIDINotPermitted; // a system destination is offline while its port is gone
            if (value != 0 && value != 1)
                return kAudio_ParamError;
            if (value == 0)
                mDestinations.Reserve(); // may throw: before the change
            SetOffline(record, object, value == 1);
            return noErr;
        }
        if (isEndpoint && (IsProperty(property, kMIDIPropertyDeliveryDelayMuSec) ||
                           MessageCount(record, property) != nullptr))
            return kMIDINotPermitted;
        if (IsProperty(property, kMIDIPropertyName) ||
            IsProperty(property, kMIDIPropertyDisplayName) ||
            IsProperty(property, kMIDIPropertyIsEmbeddedEntity))
            return kMIDIWrongPropertyType;
        return kMIDIUnknownProperty;
    });
}

OSStatus MIDIServer::AudioServerCycle(MIDIAudioServerCycle& outCycle) const
{
    for (const Lane& lane : mLanes)
        if (lane.mBackend->AudioServerCycle(outCycle))
            return noErr;
    return kMIDINoConnection;
}

OSStatus MIDIServer::Send(MIDIPortRef port, MIDIEndpointRef destination, const MIDIPacketList* list)
{
    if (mTable.Find(port, MIDIObjectKind::Port) == nullptr)
        return kMIDIInvalidPort;
    MIDIObjectRecord* record = mTable.Find(destination, MIDIObjectKind::Endpoint);
    if (record == nullptr)
        return mTable.Find(destination) ? kMIDIWrongEndpointType : kMIDIUnknownEndpoint;
    if (list == nullptr)
        return kAudio_ParamError;
    // Read once: a packet goes with the presence seen before its destination's check, so that one
    // sent as the destination goes is counted offline rather than delivered after its return.
    const UInt32 presence = record->mPresence.load(std::memory_order_seq_cst);
    if (presence % 2 != 0) {
        record->mOfflineMessages.fetch_add(CountListMessages(*list), std::memory_order_relaxed);
        return kMIDINoConnection;
    }
    MIDIPacketSink* sink = record->mSink.load(std::memory_order_acquire);
    switch (sink->Submit(destination, *record, presence, *list)) {
    case MIDISubmitResult::Taken:
        return noErr;
    case MIDISubmitResult::NoRoom:
        record->mRefusedMessages.fetch_add(CountListMessages(*list), std::memory_order_relaxed);
        return kMIDIMessageSendErr;
    case MIDISubmitResult::Malformed:
        break;
    }
    record->mDroppedMessages.fetch_add(CountListMessages(*list), std::memory_order_relaxed);
    return kMIDIMessageSendErr;
}
