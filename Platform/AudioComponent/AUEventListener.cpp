// The unit-event calls of the host toolbox, over the process's listener registry.
#include "EventListenerRegistry.h"

#include <new>

extern "C" {

OSStatus AUEventListenerCreate(AUEventListenerProc inProc, void* inCallbackRefCon,
                               AUEventListenerRef* outListener)
{
    if (inProc == nullptr || outListener == nullptr) {
        return kAudio_ParamError;
    }
    try {
        *outListener = EventListenerRegistry::Shared().Create(inProc, inCallbackRefCon);
        return noErr;
    } catch (const std::bad_alloc&) {
        *outListener = nullptr;
        return kAudio_MemFullError;
    }
}

OSStatus AUEventListenerAddEventType(AUEventListenerRef inListener, void* inObject,
                                     const AudioUnitEvent* inEvent)
{
    if (inEvent == nullptr) {
        return kAudio_ParamError;
    }
    try {
        return EventListenerRegistry::Shared().AddEventType(inListener, inObject, *inEvent);
    } catch (const std::bad_alloc&) {
        return kAudio_MemFullError;
    }
}

OSStatus AUEventListenerRemoveEventType(AUEventListenerRef inListener, void* inObject,
                                        const AudioUnitEvent* inEvent)
{
    if (inEvent == nullptr) {
        return kAudio_ParamError;
    }
    return EventListenerRegistry::Shared().RemoveEventType(inListener, inObject, *inEvent);
}

OSStatus AUListenerDispose(AUEventListenerRef inListener)
{
    return EventListenerRegistry::Shared().Dispose(inListener);
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
