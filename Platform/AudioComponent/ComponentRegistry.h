// The process's one list of components, registered in-process or found in bundle folders, and
// the set of open instance handles. Thread-safe; the bundle folders are scanned on first search.
#pragma once

#include "ComponentInstanceRecord.h"
#include "OpaqueAudioComponent.h"

#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

class ComponentRegistry {
public:
    // The registry of the process; it lives until the process ends.
    static ComponentRegistry& Shared();

    // [any-thread]
    AudioComponent Register(const AudioComponentDescription& description, std::string name,
                            UInt32 version, AudioComponentFactoryFunction factory);
    // The next matching component after `after` (NULL: from the start). [any-thread]
    AudioComponent FindNext(AudioComponent after, const AudioComponentDescription* pattern);
    UInt32 Count(const AudioComponentDescription* pattern); // [any-thread]
    bool Contains(AudioComponent component);                // [any-thread]
    // Scans the bundle folders again: new bundles are added, broken ones reported. [any-thread]
    void Rescan();
    // The first matching component of the bundle at bundlePath, which is read if it is new.
    // [any-thread]
    AudioComponent FindInBundle(const std::string& bundlePath,
                                const AudioComponentDescription* pattern);

    // Open instances: a handle is known from just before its open until its close has returned.
    void AddInstance(ComponentInstanceRecord* instance); // throws std::bad_alloc
    void RemoveInstance(ComponentInstanceRecord* instance);
    // Claims a known instance for its close; false when it is unknown or already claimed.
    bool ClaimForClose(ComponentInstanceRecord* instance);
    // Ends a claimed close: a closed instance is forgotten, one whose close failed stays open.
    void EndClose(ComponentInstanceRecord* instance, bool closed);
    AudioComponent ComponentOf(ComponentInstanceRecord* instance);

private:
    ComponentRegistry() = default;

    void ScanIfFirstUse();
    void ScanBundleFolders();
    // Reads the bundle unless it is known; its path as the registry keeps it, empty when it
    // cannot be read.
    std::string AddBundle(const std::string& bundlePath);

    std::mutex mMutex;
    bool mScanned = false;
    std::vector<std::unique_ptr<OpaqueAudioComponent>> mComponents;
    std::unordered_set<std::string> mKnownBundles;
    std::unordered_set<ComponentInstanceRecord*> mInstances;
};
