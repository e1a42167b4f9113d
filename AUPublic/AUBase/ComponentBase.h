// The root of every unit class: the instance handle the host opened it with, how it was
// created, and the open and close entries of the plug-in interface record.
#pragma once

#include <AudioUnit/AudioComponent.h>

class ComponentBase {
public:
    // The instance type of an object created through the plug-in interface.
    static constexpr SInt32 kPlugInInstanceType = 1;

    // Records the handle and the instance type of the construction under way, then checks that
    // the platform can describe the component (a failure is only logged).
    explicit ComponentBase(AudioComponentInstance inInstance);
    virtual ~ComponentBase() = default;
    ComponentBase(const ComponentBase&) = delete;
    ComponentBase& operator=(const ComponentBase&) = delete;

    // Runs once after construction, inside open. [host-thread]
    virtual void PostConstructor() {}
    // Runs once before destruction, inside close. [host-thread]
    virtual void PreDestructor() {}

    AudioComponentInstance GetComponentInstance() const { return mComponentInstance; }
    bool IsPluginObject() const { return mInstanceType == kPlugInInstanceType; }

    // The platform's description of this object's component; all fields 0 when the object was
    // not created through the plug-in interface or the platform cannot describe it. [any-thread]
    AudioComponentDescription GetComponentDescription() const;

    // The plug-in interface record's open: constructs and post-constructs the object in the
    // block's storage; on failure frees the block and returns the status. [any-thread]
    static OSStatus AP_Open(void* self, AudioComponentInstance compInstance);
    // The record's close: pre-destructs and destroys the object and frees the block. A NULL
    // block does nothing. On failure the block stays allocated. [host-thread]
    static OSStatus AP_Close(void* self);

    // The instance type the object under construction takes: set by open while it holds the
    // open lock, 0 otherwise.
    static SInt32 sNewInstanceType;

protected:
    AudioComponentInstance mComponentInstance;
    SInt32 mInstanceType;
};

// Asks the platform for the description of the instance's component; -50 when the platform
// knows no component for it. [any-thread]
OSStatus CB_GetComponentDescription(AudioComponentInstance inInstance,
                                    AudioComponentDescription* outDesc);
