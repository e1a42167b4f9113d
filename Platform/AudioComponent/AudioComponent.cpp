// The component calls of the host: registration, search, description and instance lifetime.
#include "CFStringText.h"
#include "ComponentRegistry.h"

#include <AudioUnit/AUComponent.h>
#include <CoreAudio/CoreAudioTypes.h>
#include <CoreFoundation/CoreFoundation.h>
#include <ExceptionStatus.h>

#include <new>
#include <optional>
#include <string>

namespace {

bool IsKnown(AudioComponent component)
{
    return component != nullptr && ComponentRegistry::Shared().Contains(component);
}

// A new string of the text in *out, or -108 when it cannot be made.
OSStatus CopyText(const std::string& text, CFStringRef* out)
{
    *out = CFStringCreateWithCString(kCFAllocatorDefault, text.c_str(), kCFStringEncodingUTF8);
    return *out != nullptr ? OSStatus(noErr) : OSStatus(kAudio_MemFullError);
}

// The record's render method, or null when it answers none (or its lookup throws: the render
// calls then ask again and report what they get).
AudioComponentMethod RenderMethodOf(AudioComponentPlugInInterface& plugIn) noexcept
{
    if (plugIn.Lookup == nullptr) {
        return nullptr;
    }
    try {
        return plugIn.Lookup(kAudioUnitRenderSelect);
    } catch (...) {
        return nullptr;
    }
}

} // namespace

extern "C" {

AudioComponent AudioComponentRegister(const AudioComponentDescription* inDesc, CFStringRef inName,
                                      UInt32 inVersion, AudioComponentFactoryFunction inFactory)
{
    if (inDesc == nullptr || inFactory == nullptr) {
        return nullptr;
    }
    try {
        return ComponentRegistry::Shared().Register(*inDesc, CFStringText(inName).value_or(""),
                                                    inVersion, inFactory);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

AudioComponent AudioComponentFindNext(AudioComponent inComponent,
                                      const AudioComponentDescription* inDesc)
{
    try {
        return ComponentRegistry::Shared().FindNext(inComponent, inDesc);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

UInt32 AudioComponentCount(const AudioComponentDescription* inDesc)
{
    try {
        return ComponentRegistry::Shared().Count(inDesc);
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

AudioComponent AudioComponentFindInBundle(CFStringRef inBundlePath,
                                          const AudioComponentDescription* inDesc)
{
    const std::optional<std::string> path = CFStringText(inBundlePath);
    if (!path || path->empty()) {
        return nullptr;
    }
    try {
        return ComponentRegistry::Shared().FindInBundle(*path, inDesc);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void AudioComponentRescanBundles(void)
{
    try {
        ComponentRegistry::Shared().Rescan();
    } catch (const std::bad_alloc&) {
        // What was scanned before the allocation failed stays registered.
    }
}

OSStatus AudioComponentCopyName(AudioComponent inComponent, CFStringRef* outName)
{
    if (!IsKnown(inComponent) || outName == nullptr) {
        return kAudio_ParamError;
    }
    return CopyText(inComponent->mName, outName);
}

OSStatus AudioComponentGetDescription(AudioComponent inComponent,
                                      AudioComponentDescription* outDesc)
{
    if (!IsKnown(inComponent) || outDesc == nullptr) {
        return kAudio_ParamError;
    }
    *outDesc = inComponent->mDescription;
    return noErr;
}

OSStatus AudioComponentGetVersion(AudioComponent inComponent, UInt32* outVersion)
{
    if (!IsKnown(inComponent) || outVersion == nullptr) {
        return kAudio_ParamError;
    }
    *outVersion = inComponent->mVersion;
    return noErr;
}

OSStatus AudioComponentCopyBundlePath(AudioComponent inComponent, CFStringRef* outPath)
{
    if (!IsKnown(inComponent) || outPath == nullptr) {
        return kAudio_ParamError;
    }
    if (inComponent->mBundlePath.empty()) {
        *outPath = nullptr;
        return noErr;
    }
    return CopyText(inComponent->mBundlePath, outPath);
}

OSStatus AudioComponentInstanceNew(AudioComponent inComponent, AudioComponentInstance* outInstance)
{
    if (outInstance == nullptr) {
        return kAudio_ParamError;
    }
    *outInstance = nullptr;
    if (!IsKnown(inComponent)) {
        return kAudio_ParamError;
    }
    OSStatus status = noErr;
    AudioComponentFactoryFunction factory = inComponent->Factory(status);
    if (factory == nullptr) {
        return status;
    }
    // The handle is known before the open, which hands it to the unit's constructor.
    auto* instance = new (std::nothrow) ComponentInstanceRecord{nullptr, inComponent};
    if (instance == nullptr) {
        return kAudio_MemFullError;
    }
    ComponentRegistry& registry = ComponentRegistry::Shared();
    try {
        registry.AddInstance(instance);
    } catch (const std::bad_alloc&) {
        delete instance;
        return kAudio_MemFullError;
    }
    try {
        instance->mPlugIn = factory(&inComponent->mDescription);
        // A factory that gives no record could not allocate its instance.
        status = instance->mPlugIn != nullptr ? instance->mPlugIn->Open(instance->mPlugIn, instance)
                                              : kAudio_MemFullError;
    } catch (...) {
        status = kUnknownExceptionStatus;
    }
    if (status != noErr) {
        registry.RemoveInstance(instance);
        delete instance;
        return status;
    }
    instance->mRenderMethod = RenderMethodOf(*instance->mPlugIn);
    *outInstance = instance;
    return noErr;
}

OSStatus AudioComponentInstanceDispose(AudioComponentInstance inInstance)
{
    ComponentRegistry& registry = ComponentRegistry::Shared();
    // The claim makes a second dispose, racing this one or made from inside the close, answer
    // -50; the handle stays whole (its component known) until the close has returned, so that a
    // unit's cleanup and destructor can still ask for their description.
    if (inInstance == nullptr || !registry.ClaimForClose(inInstance)) {
        return kAudio_ParamError;
    }
    OSStatus status = kUnknownExceptionStatus;
    try {
        status = inInstance->mPlugIn->Close(inInstance->mPlugIn);
    } catch (...) {
        // Against its contract: the close did not finish, so it failed.
    }
    // A unit whose close failed is still alive: its handle stays valid for another try.
    registry.EndClose(inInstance, status == noErr);
    if (status != noErr) {
        return status;
    }
    delete inInstance;
    return noErr;
}

AudioComponent AudioComponentInstanceGetComponent(AudioComponentInstance inInstance)
{
    if (inInstance == nullptr) {
        return nullptr;
    }
    return ComponentRegistry::Shared().ComponentOf(inInstance);
}

} // extern "C"
