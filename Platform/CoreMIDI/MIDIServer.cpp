#include "MIDIServer.h"

#include "CoreFoundation/CFStringText.h"

#include <CoreAudio/CoreAudioTypes.h>
#include <CoreFoundation/CFString.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

namespace {

bool IsProperty(CFStringRef property, CFStringRef known)
{
    return property == known || CFEqual(property, known);
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
        mDestinations.reserve(mDestinations.size() + 1); // may throw: before the object exists
    const MIDIObjectRef object = mTable.Add(kind, [&](MIDIObjectRecord& record) {
        record.mName = std::move(*text);
        record.mOwner = owner;
        fill(record);
    });
    if (object == 0)
        return kMIDIUnknownError;
    *outObject = object;
    if (kind == MIDIObjectKind::Endpoint) {
        mDestinations.push_back(object);
        mScheduler.AnnounceSetupChange();
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
            record.mBackend = &mVirtualDestinations;
            record.mReadProc = readProc;
            record.mReadRefCon = refCon;
        },
        outDestination);
}

OSStatus MIDIServer::Dispose(MIDIObjectRef object, MIDIObjectKind kind)
{
    std::vector<MIDIObjectRef> retired;
    {
        std::lock_guard<std::mutex> lock(mTable.Mutex());
        if (mTable.Find(object, kind) == nullptr) {
            const bool otherObject = mTable.Find(object) != nullptr;
            return kind == MIDIObjectKind::Endpoint && otherObject ? kMIDIWrongEndpointType
                                                                   : StatusForMissing(kind);
        }
        retired.reserve(kind == MIDIObjectKind::Client ? MIDIObjectTable::kCapacity : 1);
        if (kind == MIDIObjectKind::Client) {
            for (UInt32 index = 0; index < MIDIObjectTable::kCapacity; ++index) {
                MIDIObjectRecord& record = mTable.At(index);
                const MIDIObjectRef owned = record.mRef.load();
                if (owned != 0 && record.mOwner == object)
                    retired.push_back(owned);
            }
        }
        retired.push_back(object);
        for (MIDIObjectRef ref : retired) {
            mTable.Retire(ref);
            mDestinations.erase(std::remove(mDestinations.begin(), mDestinations.end(), ref),
                                mDestinations.end());
        }
    }
    // Waiting happens without the lock, so that a read procedure in progress may still call the
    // services; the slots are given back only when no call can reach them any more.
    for (MIDIObjectRef ref : retired)
        mScheduler.WaitForCallsToEnd(ref);
    const bool destinationsWent =
        std::any_of(retired.begin(), retired.end(), [](MIDIObjectRef ref) {
            return MIDIObjectTable::KindOf(ref) == MIDIObjectKind::Endpoint;
        });
    if (destinationsWent) {
        mScheduler.DropPacketsOfDisposedEndpoints();
        mScheduler.AnnounceSetupChange();
    }
    std::lock_guard<std::mutex> lock(mTable.Mutex());
    for (MIDIObjectRef ref : retired)
        mTable.Release(ref);
    return noErr;
}

ItemCount MIDIServer::NumberOfDestinations()
{
    std::lock_guard<std::mutex> lock(mTable.Mutex());
    return mDestinations.size();
}

MIDIEndpointRef MIDIServer::Destination(ItemCount index)
{
    std::lock_guard<std::mutex> lock(mTable.Mutex());
    return index < mDestinations.size() ? mDestinations[index] : 0;
}

OSStatus MIDIServer::GetStringProperty(MIDIObjectRef object, CFStringRef property,
                                       CFStringRef* outValue)
{
    if (property == nullptr || outValue == nullptr)
        return kAudio_ParamError;
    *outValue = nullptr;
    std::lock_guard<std::mutex> lock(mTable.Mutex());
    const MIDIObjectRecord* record = mTable.Find(object);
    if (record == nullptr)
        return kMIDIObjectNotFound;
    // A virtual destination belongs to no device, so its display name is its name.
    if (!IsProperty(property, kMIDIPropertyName) && !IsProperty(property, kMIDIPropertyDisplayName))
        return kMIDIUnknownProperty;
    *outValue = CFStringCreateWithCString(nullptr, record->mName.c_str(), kCFStringEncodingUTF8);
    return *outValue != nullptr ? OSStatus(noErr) : OSStatus(kMIDIUnknownError);
}

OSStatus MIDIServer::GetIntegerProperty(MIDIObjectRef object, CFStringRef property,
                                        SInt32* outValue)
{
    if (property == nullptr || outValue == nullptr)
        return kAudio_ParamError;
    std::lock_guard<std::mutex> lock(mTable.Mutex());
    const MIDIObjectRecord* record = mTable.Find(object);
    if (record == nullptr)
        return kMIDIObjectNotFound;
    const bool isEndpoint = MIDIObjectTable::KindOf(object) == MIDIObjectKind::Endpoint;
    if (IsProperty(property, kMIDIPropertyUniqueID))
        *outValue = record->mUniqueID;
    else if (isEndpoint && IsProperty(property, kMIDIPropertyIsEmbeddedEntity))
        *outValue = 0;
    else if (isEndpoint && IsProperty(property, kMIDIPropertyAdvanceScheduleTimeMuSec))
        *outValue = record->mAdvanceMicros.load();
    else
        return kMIDIUnknownProperty;
    return noErr;
}

OSStatus MIDIServer::SetIntegerProperty(MIDIObjectRef object, CFStringRef property, SInt32 value)
{
    if (property == nullptr)
        return kAudio_ParamError;
    std::lock_guard<std::mutex> lock(mTable.Mutex());
    MIDIObjectRecord* record = mTable.Find(object);
    if (record == nullptr)
        return kMIDIObjectNotFound;
    if (IsProperty(property, kMIDIPropertyUniqueID)) {
        if (value == 0)
            return kAudio_ParamError;
        if (value != record->mUniqueID && mTable.UniqueIDInUse(value))
            return kMIDIIDNotUnique;
        record->mUniqueID = value;
        return noErr;
    }
    if (MIDIObjectTable::KindOf(object) == MIDIObjectKind::Endpoint &&
        IsProperty(property, kMIDIPropertyAdvanceScheduleTimeMuSec)) {
        if (value < 0)
            return kAudio_ParamError;
        record->mAdvanceMicros.store(value);
        return noErr;
    }
    if (IsProperty(property, kMIDIPropertyName) || IsProperty(property, kMIDIPropertyDisplayName) ||
        IsProperty(property, kMIDIPropertyIsEmbeddedEntity))
        return kMIDIWrongPropertyType;
    return kMIDIUnknownProperty;
}

OSStatus MIDIServer::Send(MIDIPortRef port, MIDIEndpointRef destination, const MIDIPacketList* list)
{
    if (mTable.Find(port, MIDIObjectKind::Port) == nullptr)
        return kMIDIInvalidPort;
    const MIDIObjectRecord* record = mTable.Find(destination, MIDIObjectKind::Endpoint);
    if (record == nullptr)
        return mTable.Find(destination) ? kMIDIWrongEndpointType : kMIDIUnknownEndpoint;
    if (list == nullptr)
        return kAudio_ParamError;
    const SInt32 advanceMicros = record->mAdvanceMicros.load(std::memory_order_relaxed);
    return mScheduler.Submit(destination, advanceMicros, *list) ? OSStatus(noErr)
                                                                : OSStatus(kMIDIMessageSendErr);
}
