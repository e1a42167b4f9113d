// What an instance handle points to: the plug-in interface record of the open instance and the
// component it was made from.
#pragma once

#include <AudioUnit/AudioComponent.h>

struct ComponentInstanceRecord {
    AudioComponentPlugInInterface* mPlugIn;
    AudioComponent mComponent;
};
