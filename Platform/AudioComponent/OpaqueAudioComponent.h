// One component the registry knows, the object behind the platform's AudioComponent handle: its
// description, name and version, and where its factory comes from (registered in-process, or a
// bundle's library loaded on first instantiation and kept loaded for the life of the process).
#pragma once

#include <AudioUnit/AudioComponent.h>

#include <mutex>
#include <string>

struct OpaqueAudioComponent {
    // A component whose factory is already in the process.
    OpaqueAudioComponent(const AudioComponentDescription& description, std::string name,
                         UInt32 version, AudioComponentFactoryFunction factory);
    // A component of the bundle at bundlePath whose library is not loaded yet.
    OpaqueAudioComponent(const AudioComponentDescription& description, std::string name,
                         UInt32 version, std::string bundlePath, std::string libraryPath,
                         std::string factorySymbol);
    OpaqueAudioComponent(const OpaqueAudioComponent&) = delete;
    OpaqueAudioComponent& operator=(const OpaqueAudioComponent&) = delete;

    // The factory, loading the bundle's library the first time. On failure writes one line to
    // standard error, returns NULL and sets status: -43 when the library cannot be opened, -4
    // when it has no such factory. A later call tries again. [any-thread]
    AudioComponentFactoryFunction Factory(OSStatus& status);

    const AudioComponentDescription mDescription;
    const std::string mName;
    const UInt32 mVersion;
    const std::string mBundlePath; // empty for a component registered in-process

private:
    const std::string mLibraryPath;
    const std::string mFactorySymbol;
    std::mutex mLoadMutex;
    AudioComponentFactoryFunction mFactory = nullptr;
};
