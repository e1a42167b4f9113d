#include "EventListenerRegistry.h"

#include <CoreAudio/HostTime.h>

#include <algorithm>

struct AUListenerBase {
    struct Registration {
        void* mObject;
        AudioUnitEvent mEvent;
    };

    AUEventListenerProc mProc;
    void* mRefCon;
    std::vector<Registration> mRegistrations;
    bool mDisposed = false;
};

namespace {

// Marks a registration removed while a delivery may still be walking the list.
constexpr AudioUnitEventType kRemovedEventType = ~0U;

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

AUEventListenerRef EventListenerRegistry::Create(AUEventListenerProc proc, void* refCon)
{
    auto* listener = new AUListenerBase{proc, refCon, {}};
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    try {
        mListeners.push_back(listener);
    } catch (...) {
        delete listener;
        throw;
    }
    return listener;
}

OSStatus EventListenerRegistry::AddEventType(AUEventListenerRef listener, void* object,
                                             const AudioUnitEvent& event)
{
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    if (!IsLive(listener)) {
        return kAudio_ParamError;
    }
    listener->mRegistrations.push_back({object, event});
    return noErr;
}

OSStatus EventListenerRegistry::RemoveEventType(AUEventListenerRef listener, void* object,
                                                const AudioUnitEvent& event)
{
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    if (!IsLive(listener)) {
        return kAudio_ParamError;
    }
    auto& registrations = listener->mRegistrations;
    auto found = std::find_if(registrations.begin(), registrations.end(), [&](const auto& r) {
        return r.mObject == object && SameEvent(r.mEvent, event);
    });
    if (found == registrations.end()) {
        return kAudio_ParamError;
    }
    found->mEvent.mEventType = kRemovedEventType;
    if (mDeliveryDepth == 0) {
        registrations.erase(found);
    }
    return noErr;
}

OSStatus EventListenerRegistry::Dispose(AUEventListenerRef listener)
{
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    if (!IsLive(listener)) {
        return kAudio_ParamError;
    }
    listener->mDisposed = true;
    if (mDeliveryDepth == 0) {
        FreeDisposedListeners();
    }
    return noErr;
}

void EventListenerRegistry::Notify(AUEventListenerRef sendingListener, void* sendingObject,
                                   const AudioUnitEvent& event)
{
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    const AudioUnitParameterValue value = ValueOf(event);
    const UInt64 hostTime = AudioGetCurrentHostTime();
    ++mDeliveryDepth;
    // Indices, not iterators: a listener may register more while it is being called.
    for (size_t l = 0; l < mListeners.size(); ++l) {
        AUListenerBase* listener = mListeners[l];
        if (listener == sendingListener) {
            continue;
        }
        for (size_t r = 0; r < listener->mRegistrations.size() && !listener->mDisposed; ++r) {
            const AUListenerBase::Registration registration = listener->mRegistrations[r];
            if ((sendingObject == nullptr || registration.mObject != sendingObject) &&
                SameEvent(registration.mEvent, event)) {
                try {
                    listener->mProc(listener->mRefCon, registration.mObject, &event, hostTime,
                                    value);
                } catch (...) {
                    // A listener's failure is its own; the others still hear the event.
                }
            }
        }
    }
    if (--mDeliveryDepth == 0) {
        FreeDisposedListeners();
    }
}

bool EventListenerRegistry::IsLive(AUEventListenerRef listener) const
{
    // Membership first: a disposed and freed listener must not be dereferenced.
    return std::find(mListeners.begin(), mListeners.end(), listener) != mListeners.end() &&
           !listener->mDisposed;
}

void EventListenerRegistry::FreeDisposedListeners()
{
    auto disposed = std::stable_partition(mListeners.begin(), mListeners.end(),
                                          [](AUListenerBase* l) { return !l->mDisposed; });
    for (auto it = disposed; it != mListeners.end(); ++it) {
        delete *it;
    }
    mListeners.erase(disposed, mListeners.end());
    for (AUListenerBase* listener : mListeners) {
        auto& registrations = listener->mRegistrations;
        registrations.erase(
            std::remove_if(registrations.begin(), registrations.end(),
                           [](const auto& r) { return r.mEvent.mEventType == kRemovedEventType; }),
            registrations.end());
    }
}
