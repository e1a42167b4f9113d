// The unit-event calls of the host toolbox, over the process's listener registry.
#include "EventListenerRegistry.h"

#include <new>

namespace {

// Registration changes allocate: running out of memory leaves the registrations as they were.
template <class Change> OSStatus ChangeStatus(Change change)
{
    try {
        return change();
    } catch (const std::bad_alloc&) {
        return kAudio_MemFullError;
    }
}

using EventTypeChange = OSStatus (EventListenerRegistry::*)(AUEventListenerRef, void*,
                                                            const AudioUnitEvent&);

// Adding and removing an event type check the same argument and fail the same way.
OSStatus ChangeEventType(EventTypeChange change, AUEventListenerRef inListener, void* inObject,
                         const AudioUnitEvent* inEvent)
{
    if (inEvent == nullptr) {
        return kAudio_ParamError;
    }
    return ChangeStatus(
        [&] { return (EventListenerRegistry::Shared().*change)(inListener, inObject, *inEvent); });
}

} // namespace

extern "C" {

OSStatus AUEventListenerCreate(AUEventListenerProc inProc, void* inCallbackRefCon,
                               AUEventListenerRef* outListener)
{
    if (inProc == nullptr || outListener == nullptr) {
        return kAudio_ParamError;
    }
    *outListener = nullptr;
    return ChangeStatus([&] {
        *outListener = EventListenerRegistry::Shared().Create(inProc, inCallbackRefCon);
        return OSStatus(noErr);
    });
}

OSStatus AUEventListenerAddEventType(AUEventListenerRef inListener, void* inObject,
                                     const AudioUnitEvent* inEvent)
{
    return ChangeEventType(&EventListenerRegistry::AddEventType, inListener, inObject, inEvent);
}

OSStatus AUEventListenerRemoveEventType(AUEventListenerRef inListener, void* inObject,
                                        const AudioUnitEvent* inEvent)
{
    return ChangeEventType(&EventListenerRegistry::RemoveEventType, inListener, inObject, inEvent);
}

OSStatus AUListenerDispose(AUEventListenerRef inListener)
{
    return ChangeStatus([&] { return EventListenerRegistry::Shared().Dispose(inListener); });
}

OSStatus AUEventListenerNotify(AUEventListenerRef inSendingListener, void* inSendingObject,
                               const AudioUnitEvent* inEvent)
{
    if (inEvent == nullptr) {
        return kAudio_ParamError;
    }
    EventListenerRegistry::Shared().Notify(inSendingListener, inSendingObject, *inEvent);
    return noErr;
}

} // extern "C"
