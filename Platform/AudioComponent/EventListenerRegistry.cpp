#include "EventListenerRegistry.h"

#include <CoreAudio/HostTime.h>

#include <algorithm>
#include <thread>

// What the host holds: the procedure and its reference constant. Deliveries never read it, so a
// disposed listener is freed at once.
struct AUListenerBase {
    AUEventListenerProc mProc;
    void* mRefCon;
};

// One added event type, with copies of its listener's procedure and reference constant.
struct EventListenerRegistry::Registration {
    AUEventListenerRef mListener;
    AUEventListenerProc mProc;
    void* mRefCon;
    void* mObject;
    AudioUnitEvent mEvent;
    // Set before the registration leaves the list: a delivery already walking the old list on the
    // thread that removed it (a listener removing registrations) skips it from then on.
    std::atomic<bool> mRemoved{false};
};

namespace {

constexpr UInt64 kWaitingDelivery = UInt64{1} << 32;
constexpr UInt64 kRunningMask = kWaitingDelivery - 1;

// Deliveries running on this thread, nested when a listener notifies.
thread_local UInt32 tDeliveryDepth = 0;

bool SameEvent(const AudioUnitEvent& a, const AudioUnitEvent& b)
{
    if (a.mEventType != b.mEventType) {
        return false;
    }
    if (a.mEventType == kAudioUnitEvent_PropertyChange) {
        const AudioUnitProperty& p = a.mArgument.mProperty;
        const AudioUnitProperty& q = b.mArgument.mProperty;
        return p.mAudioUnit == q.mAudioUnit && p.mPropertyID == q.mPropertyID &&
               p.mScope == q.mScope && p.mElement == q.mElement;
    }
    const AudioUnitParameter& p = a.mArgument.mParameter;
    const AudioUnitParameter& q = b.mArgument.mParameter;
    return p.mAudioUnit == q.mAudioUnit && p.mParameterID == q.mParameterID &&
           p.mScope == q.mScope && p.mElement == q.mElement;
}

// The value a parameter-change event carries: the parameter as the unit now reports it.
AudioUnitParameterValue ValueOf(const AudioUnitEvent& event)
{
    AudioUnitParameterValue value = 0;
    if (event.mEventType == kAudioUnitEvent_ParameterValueChange) {
        const AudioUnitParameter& parameter = event.mArgument.mParameter;
        if (AudioUnitGetParameter(parameter.mAudioUnit, parameter.mParameterID, parameter.mScope,
                                  parameter.mElement, &value) != noErr) {
            value = 0;
        }
    }
    return value;
}

} // namespace

EventListenerRegistry& EventListenerRegistry::Shared()
{
    static EventListenerRegistry* registry = new EventListenerRegistry;
    return *registry;
}

EventListenerRegistry::EventListenerRegistry() : mPublished(new Registrations) {}

AUEventListenerRef EventListenerRegistry::Create(AUEventListenerProc proc, void* refCon)
{
    auto listener = std::make_unique<AUListenerBase>(AUListenerBase{proc, refCon});
    std::lock_guard<std::mutex> lock(mChangeMutex);
    mListeners.push_back(std::move(listener));
    return mListeners.back().get();
}

OSStatus EventListenerRegistry::AddEventType(AUEventListenerRef listener, void* object,
                                             const AudioUnitEvent& event)
{
    std::lock_guard<std::mutex> lock(mChangeMutex);
    if (!IsLive(listener)) {
        return kAudio_ParamError;
    }
    std::unique_ptr<Registration> registration(
        new Registration{listener, listener->mProc, listener->mRefCon, object, event});
    auto next = std::make_unique<Registrations>(*mPublished.load());
    next->push_back(registration.get());
    mRetiredLists.reserve(mRetiredLists.size() + 1);
    Publish(std::move(next));
    registration.release();
    ReclaimIfNoDelivery();
    return noErr;
}

OSStatus EventListenerRegistry::RemoveEventType(AUEventListenerRef listener, void* object,
                                                const AudioUnitEvent& event)
{
    {
        std::lock_guard<std::mutex> lock(mChangeMutex);
        if (!IsLive(listener)) {
            return kAudio_ParamError;
        }
        const Registrations& current = *mPublished.load();
        auto found = std::find_if(current.begin(), current.end(), [&](const Registration* r) {
            return r->mListener == listener && r->mObject == object && SameEvent(r->mEvent, event);
        });
        if (found == current.end()) {
            return kAudio_ParamError;
        }
        const Registration* removed = *found;
        Withdraw([removed](const Registration* r) { return r == removed; });
    }
    AwaitOtherDeliveries();
    return noErr;
}

OSStatus EventListenerRegistry::Dispose(AUEventListenerRef listener)
{
    {
        std::lock_guard<std::mutex> lock(mChangeMutex);
        if (!IsLive(listener)) {
            return kAudio_ParamError;
        }
        Withdraw([listener](const Registration* r) { return r->mListener == listener; });
        mListeners.erase(std::find_if(mListeners.begin(), mListeners.end(),
                                      [listener](const auto& l) { return l.get() == listener; }));
    }
    AwaitOtherDeliveries();
    return noErr;
}

void EventListenerRegistry::Notify(AUEventListenerRef sendingListener, void* sendingObject,
                                   const AudioUnitEvent& event)
{
    // Read once, for the first listener that hears the event: an event nobody listens to (a unit
    // announcing every MIDI-mapped change, say) costs no parameter read and no clock read.
    bool stamped = false;
    AudioUnitParameterValue value = 0;
    UInt64 hostTime = 0;
    // Counted before the list is read, so that no change frees the list under this delivery.
    mDeliveries.fetch_add(1);
    ++tDeliveryDepth;
    for (Registration* registration : *mPublished.load()) {
        if (registration->mListener == sendingListener ||
            (sendingObject != nullptr && registration->mObject == sendingObject) ||
            !SameEvent(registration->mEvent, event) || registration->mRemoved.load()) {
            continue;
        }
        if (!stamped) {
            value = ValueOf(event);
            hostTime = AudioGetCurrentHostTime();
            stamped = true;
        }
        try {
            registration->mProc(registration->mRefCon, registration->mObject, &event, hostTime,
                                value);
        } catch (...) {
            // A listener's failure is its own; the others still hear the event.
        }
    }
    --tDeliveryDepth;
    mDeliveries.fetch_sub(1);
}

bool EventListenerRegistry::IsLive(AUEventListenerRef listener) const
{
    return std::any_of(mListeners.begin(), mListeners.end(),
                       [listener](const auto& l) { return l.get() == listener; });
}

// Takes the registrations out of the published list and marks them removed. Everything that can
// throw runs before the first change.
template <class Predicate> void EventListenerRegistry::Withdraw(Predicate isWithdrawn)
{
    const Registrations& current = *mPublished.load();
    auto next = std::make_unique<Registrations>();
    Registrations withdrawn;
    for (Registration* registration : current) {
        (isWithdrawn(registration) ? withdrawn : *next).push_back(registration);
    }
    mRetiredRegistrations.reserve(mRetiredRegistrations.size() + withdrawn.size());
    mRetiredLists.reserve(mRetiredLists.size() + 1);
    for (Registration* registration : withdrawn) {
        registration->mRemoved.store(true);
        mRetiredRegistrations.push_back(registration);
    }
    Publish(std::move(next));
}

// Replaces the published list; the caller has reserved room to retire the old one.
void EventListenerRegistry::Publish(std::unique_ptr<Registrations> next)
{
    mRetiredLists.push_back(mPublished.exchange(next.release()));
}

// Waits until every delivery on another thread has ended, except those whose thread is itself
// waiting here: a listener removing registrations calls nothing until its change returns, and two
// such listeners must not wait for each other. This thread's own deliveries check the removed
// mark before each call.
void EventListenerRegistry::AwaitOtherDeliveries()
{
    const UInt64 waiting = UInt64{tDeliveryDepth} * kWaitingDelivery;
    UInt64 deliveries = mDeliveries.fetch_add(waiting) + waiting;
    while ((deliveries & kRunningMask) != (deliveries >> 32)) {
        std::this_thread::yield();
        deliveries = mDeliveries.load();
    }
    mDeliveries.fetch_sub(waiting);
    std::lock_guard<std::mutex> lock(mChangeMutex);
    ReclaimIfNoDelivery();
}

// Frees what was retired once no delivery runs: a delivery that starts later reads the list
// published now, which holds none of it.
void EventListenerRegistry::ReclaimIfNoDelivery()
{
    if ((mDeliveries.load() & kRunningMask) != 0) {
        return;
    }
    for (Registrations* list : mRetiredLists) {
        delete list;
    }
    for (Registration* registration : mRetiredRegistrations) {
        delete registration;
    }
    mRetiredLists.clear();
    mRetiredRegistrations.clear();
}
