// The listeners a host registered for unit events, and the delivery of an event to them on the
// notifying thread. Delivery takes no lock: it reads an immutable list of registrations that each
// change replaces whole, and a replaced list is freed only when no delivery is running.
#pragma once

#include <AudioToolbox/AudioUnitUtilities.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class EventListenerRegistry {
public:
    static EventListenerRegistry& Shared();

    // [host-thread] Throws std::bad_alloc.
    AUEventListenerRef Create(AUEventListenerProc proc, void* refCon);
    // [host-thread] Throws std::bad_alloc.
    OSStatus AddEventType(AUEventListenerRef listener, void* object, const AudioUnitEvent& event);
    // When these return, deliveries on other threads have finished calling what was removed and
    // none calls it again. A listener may call them from inside its own delivery. [host-thread]
    // Throw std::bad_alloc.
    OSStatus RemoveEventType(AUEventListenerRef listener, void* object,
                             const AudioUnitEvent& event);
    OSStatus Dispose(AUEventListenerRef listener);
    // Calls every matching registration; takes no lock and allocates nothing. [any-thread]
    void Notify(AUEventListenerRef sendingListener, void* sendingObject,
                const AudioUnitEvent& event);

private:
    struct Registration;
    using Registrations = std::vector<Registration*>;

    EventListenerRegistry();

    bool IsLive(AUEventListenerRef listener) const;
    template <class Predicate> void Withdraw(Predicate isWithdrawn);
    void Publish(std::unique_ptr<Registrations> next);
    void AwaitOtherDeliveries();
    void ReclaimIfNoDelivery();

    // Serialises changes; never held while a listener is called.
    std::mutex mChangeMutex;
    std::vector<std::unique_ptr<AUListenerBase>> mListeners;
    std::atomic<Registrations*> mPublished;
    // Low half: deliveries running; high half: those of them whose thread waits in a change.
    std::atomic<UInt64> mDeliveries{0};
    // Replaced lists and withdrawn registrations that a running delivery may still read.
    std::vector<Registrations*> mRetiredLists;
    std::vector<Registration*> mRetiredRegistrations;
};
