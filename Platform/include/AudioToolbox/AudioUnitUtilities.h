// Unit events: a unit or a host announces a parameter change with AUEventListenerNotify, and
// every listener registered for that event receives it, on the notifying thread.
#pragma once

#include <AudioUnit/AUComponent.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef UInt32 AudioUnitEventType;
enum {
    kAudioUnitEvent_ParameterValueChange = 0,
    kAudioUnitEvent_BeginParameterChangeGesture = 1,
    kAudioUnitEvent_EndParameterChangeGesture = 2,
    kAudioUnitEvent_PropertyChange = 3
};

struct AudioUnitParameter {
    AudioUnit mAudioUnit;
    AudioUnitParameterID mParameterID;
    AudioUnitScope mScope;
    AudioUnitElement mElement;
};
typedef struct AudioUnitParameter AudioUnitParameter;

struct AudioUnitProperty {
    AudioUnit mAudioUnit;
    AudioUnitPropertyID mPropertyID;
    AudioUnitScope mScope;
    AudioUnitElement mElement;
};
typedef struct AudioUnitProperty AudioUnitProperty;

struct AudioUnitEvent {
    AudioUnitEventType mEventType;
    union {
        AudioUnitParameter mParameter; // the three parameter events
        AudioUnitProperty mProperty;   // kAudioUnitEvent_PropertyChange
    } mArgument;
};
typedef struct AudioUnitEvent AudioUnitEvent;

typedef struct AUListenerBase* AUEventListenerRef;

// Receives one event. inObject is the object given when the event type was added. For a
// parameter value change, inParameterValue is the parameter's value read from the unit when the
// event was sent (0 when it could not be read).
typedef void (*AUEventListenerProc)(void* inCallbackRefCon, void* inObject,
                                    const AudioUnitEvent* inEvent, UInt64 inEventHostTime,
                                    AudioUnitParameterValue inParameterValue);

// A listener that calls inProc on the notifying thread: there is no run loop to deliver on.
// Events sent on several threads at once reach inProc on each of them at once. [host-thread]
OSStatus AUEventListenerCreate(AUEventListenerProc inProc, void* inCallbackRefCon,
                               AUEventListenerRef* outListener);
// Starts delivering events equal to inEvent (same type, unit, id, scope and element). [host-thread]
OSStatus AUEventListenerAddEventType(AUEventListenerRef inListener, void* inObject,
                                     const AudioUnitEvent* inEvent);
// Stops delivering what the same arguments added; -50 when nothing matches. Waits like
// AUListenerDispose. [host-thread]
OSStatus AUEventListenerRemoveEventType(AUEventListenerRef inListener, void* inObject,
                                        const AudioUnitEvent* inEvent);
// Ends the listener. A delivery running on another thread finishes first; afterwards inProc is
// never called again. The one call that may still be under way is one that is itself waiting in
// a removal or dispose. [host-thread]
OSStatus AUListenerDispose(AUEventListenerRef inListener);

// Sends the event to every listener registered for it, except inSendingListener and the
// registrations made with inSendingObject. Takes no lock and allocates nothing. [any-thread]
OSStatus AUEventListenerNotify(AUEventListenerRef inSendingListener, void* inSendingObject,
                               const AudioUnitEvent* inEvent);

#ifdef __cplusplus
}
#endif
