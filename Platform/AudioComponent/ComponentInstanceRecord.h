// What an instance handle points to: the plug-in interface record of the open instance, the
// component it was made from, whether a dispose has claimed it, and its render method.
#pragma once

#include <AudioUnit/AudioComponent.h>

struct ComponentInstanceRecord {
    AudioComponentPlugInInterface* mPlugIn;
    AudioComponent mComponent;
    bool mClosing = false; // guarded by the registry's mutex
    // The record's answer for the render selector, asked once when the instance has opened (and
    // before its handle is handed out), so that the calls made many times a second skip the
    // lookup. Null when the record gave none: each render call then asks it, as other calls do.
    AudioComponentMethod mRenderMethod = nullptr;
};
