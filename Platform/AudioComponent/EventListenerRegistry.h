// The listeners a host registered for unit events, and the delivery of an event to them on the
// notifying thread. A listener disposed while an event is being delivered is freed afterwards.
#pragma once

#include <AudioToolbox/AudioUnitUtilities.h>

#include <mutex>
#include <vector>

class EventListenerRegistry {
public:
    static EventListenerRegistry& Shared();

    AUEventListenerRef Create(AUEventListenerProc proc, void* refCon); // throws std::bad_alloc
    OSStatus AddEventType(AUEventListenerRef listener, void* object, const AudioUnitEvent& event);
    OSStatus RemoveEventType(AUEventListenerRef listener, void* object,
                             const AudioUnitEvent& event);
    OSStatus Dispose(AUEventListenerRef listener);
    // Calls every matching registration; allocates nothing. [any-thread]
    void Notify(AUEventListenerRef sendingListener, void* sendingObject,
                const AudioUnitEvent& event);

private:
    EventListenerRegistry() = default;

    bool IsLive(AUEventListenerRef listener) const;
    void FreeDisposedListeners();

    // Recursive: a listener may add, remove or dispose registrations from inside its delivery.
    std::recursive_mutex mMutex;
    std::vector<AUEventListenerRef> mListeners;
    int mDeliveryDepth = 0;
};
