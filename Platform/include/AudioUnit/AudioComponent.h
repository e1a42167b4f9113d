// Components: descriptions of loadable units, the registry that finds them, and the instances a
// host opens from them. A component's code is reached only through its plug-in interface record.
#pragma once

#include <CoreFoundation/CFBase.h>
#include <MacTypes.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct OpaqueAudioComponent* AudioComponent;
typedef struct ComponentInstanceRecord* AudioComponentInstance;

// What a component is. In a search, 0 in type, subtype or manufacturer matches anything.
struct AudioComponentDescription {
    OSType componentType;
    OSType componentSubType;
    OSType componentManufacturer;
    UInt32 componentFlags;
    UInt32 componentFlagsMask;
};
typedef struct AudioComponentDescription AudioComponentDescription;

// Every method a lookup hands out takes the plug-in interface record first; the rest of its
// parameters are those of the host call whose selector was looked up.
typedef OSStatus (*AudioComponentMethod)(void* self, ...);

// The record a factory returns. The host opens the instance through Open, reaches each call
// through Lookup and ends the instance with Close.
struct AudioComponentPlugInInterface {
    OSStatus (*Open)(void* self, AudioComponentInstance mInstance);
    OSStatus (*Close)(void* self);
    AudioComponentMethod (*Lookup)(SInt16 selector);
    void* reserved;
};
typedef struct AudioComponentPlugInInterface AudioComponentPlugInInterface;

// Creates one plug-in interface record for one instance, or returns NULL when it cannot.
typedef AudioComponentPlugInInterface* (*AudioComponentFactoryFunction)(
    const AudioComponentDescription* inDesc);

// Registers a component implemented inside this process. The name is copied. Returns NULL when
// the description or the factory is missing. [any-thread]
AudioComponent AudioComponentRegister(const AudioComponentDescription* inDesc, CFStringRef inName,
                                      UInt32 inVersion, AudioComponentFactoryFunction inFactory);

// The next component after inComponent (NULL: the first) matching inDesc (NULL: any), or NULL.
// The first search scans the bundle folders. [any-thread]
AudioComponent AudioComponentFindNext(AudioComponent inComponent,
                                      const AudioComponentDescription* inDesc);
// The number of components matching inDesc (NULL: all). [any-thread]
UInt32 AudioComponentCount(const AudioComponentDescription* inDesc);

// The component's name; the caller releases it. [any-thread]
OSStatus AudioComponentCopyName(AudioComponent inComponent, CFStringRef* outName);
OSStatus AudioComponentGetDescription(AudioComponent inComponent,
                                      AudioComponentDescription* outDesc);         // [any-thread]
OSStatus AudioComponentGetVersion(AudioComponent inComponent, UInt32* outVersion); // [any-thread]
// Our own extension: the path of the bundle folder the component comes from (as found on the
// search path, links resolved), which the caller releases; NULL for a component registered
// in-process. [any-thread]
OSStatus AudioComponentCopyBundlePath(AudioComponent inComponent, CFStringRef* outPath);

// Loads the component's code if needed, calls its factory and opens the new instance. When the
// open fails its status is returned and nothing stays allocated. [any-thread]
OSStatus AudioComponentInstanceNew(AudioComponent inComponent, AudioComponentInstance* outInstance);
// Closes the instance and frees the handle. When the close fails its status is returned and the
// handle stays valid, so that the host may dispose it again. [host-thread]
OSStatus AudioComponentInstanceDispose(AudioComponentInstance inInstance);
// The component an instance was made from, NULL for a NULL instance. [any-thread]
AudioComponent AudioComponentInstanceGetComponent(AudioComponentInstance inInstance);

// Our own extension: the first component of the bundle folder at inBundlePath (a NAME.component
// folder, wherever it lies) that matches inDesc (NULL: any). A bundle the registry has not seen is
// read now, whether or not it is on the search path; one it has seen is not added twice. NULL
// when the bundle is broken (reported on standard error as a scan reports it) or has no such
// component. This is how a plug-in of another kind opens the unit it carries inside its own
// folder without a search path. [any-thread]
AudioComponent AudioComponentFindInBundle(CFStringRef inBundlePath,
                                          const AudioComponentDescription* inDesc);

// Our own extension: scans the bundle folders again, adding the components of bundles not seen
// before and reporting every broken bundle again. Components found earlier stay valid.
// [any-thread]
void AudioComponentRescanBundles(void);

#ifdef __cplusplus
}
#endif
