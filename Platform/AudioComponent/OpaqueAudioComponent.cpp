#include "OpaqueAudioComponent.h"

#include "DynamicLibrary.h"

#include <CoreAudio/CoreAudioTypes.h>

#include <cstdio>

OpaqueAudioComponent::OpaqueAudioComponent(const AudioComponentDescription& description,
                                           std::string name, UInt32 version,
                                           AudioComponentFactoryFunction factory)
    : mDescription(description), mName(std::move(name)), mVersion(version), mFactory(factory)
{
}

OpaqueAudioComponent::OpaqueAudioComponent(const AudioComponentDescription& description,
                                           std::string name, UInt32 version, std::string bundlePath,
                                           std::string libraryPath, std::string factorySymbol)
    : mDescription(description), mName(std::move(name)), mVersion(version),
      mBundlePath(std::move(bundlePath)), mLibraryPath(std::move(libraryPath)),
      mFactorySymbol(std::move(factorySymbol))
{
}

AudioComponentFactoryFunction OpaqueAudioComponent::Factory(OSStatus& status)
{
    // Loading runs the library's static constructors, which may register components: the
    // registry's own lock is not held here.
    std::lock_guard<std::mutex> lock(mLoadMutex);
    if (mFactory != nullptr) {
        status = noErr;
        return mFactory;
    }
    std::string error;
    void* library = DynamicLibrary::Open(mLibraryPath, error);
    if (library == nullptr) {
        std::fprintf(stderr, "AudioComponent: cannot load \"%s\": %s\n", mName.c_str(),
                     error.c_str());
        status = kAudio_FileNotFoundError;
        return nullptr;
    }
    void* symbol = DynamicLibrary::FindSymbol(library, mFactorySymbol, error);
    if (symbol == nullptr) {
        std::fprintf(stderr, "AudioComponent: \"%s\" has no factory function %s in %s\n",
                     mName.c_str(), mFactorySymbol.c_str(), mLibraryPath.c_str());
        DynamicLibrary::Close(library);
        status = kAudio_UnimplementedError;
        return nullptr;
    }
    mFactory = reinterpret_cast<AudioComponentFactoryFunction>(symbol);
    status = noErr;
    return mFactory;
}
