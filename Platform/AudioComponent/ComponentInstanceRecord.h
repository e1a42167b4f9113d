// What an instance handle points to: the plug-in interface record of the open instance, the
// component it was made from, and whether a dispose has claimed it.
#pragma once

#include <AudioUnit/AudioComponent.h>

struct ComponentInstanceRecord {
    AudioComponentPlugInInterface* mPlugIn;
    AudioComponent mComponent;
    bool mClosing = false; // guarded by the registry's mutex
};
