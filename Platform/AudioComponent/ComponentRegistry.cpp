#include "ComponentRegistry.h"

#include "BundleManifest.h"
#include "ComponentSearchPath.h"

#include <cstdio>
#include <filesystem>

namespace {

// 0 in a searched field matches anything.
bool Matches(const AudioComponentDescription& description, const AudioComponentDescription* pattern)
{
    auto fieldMatches = [](OSType wanted, OSType actual) {
        return wanted == 0 || wanted == actual;
    };
    return pattern == nullptr ||
           (fieldMatches(pattern->componentType, description.componentType) &&
            fieldMatches(pattern->componentSubType, description.componentSubType) &&
            fieldMatches(pattern->componentManufacturer, description.componentManufacturer));
}

void ReportSkippedBundle(const std::string& bundlePath, const std::string& reason)
{
    std::fprintf(stderr, "AudioComponent: skipping bundle %s: %s\n", bundlePath.c_str(),
                 reason.c_str());
}

} // namespace

ComponentRegistry& ComponentRegistry::Shared()
{
    // Never destroyed: instances and loaded libraries may outlive every static object.
    static ComponentRegistry* registry = new ComponentRegistry;
    return *registry;
}

AudioComponent ComponentRegistry::Register(const AudioComponentDescription& description,
                                           std::string name, UInt32 version,
                                           AudioComponentFactoryFunction factory)
{
    auto component =
        std::make_unique<OpaqueAudioComponent>(description, std::move(name), version, factory);
    std::lock_guard<std::mutex> lock(mMutex);
    mComponents.push_back(std::move(component));
    return mComponents.back().get();
}

AudioComponent ComponentRegistry::FindNext(AudioComponent after,
                                           const AudioComponentDescription* pattern)
{
    std::lock_guard<std::mutex> lock(mMutex);
    ScanIfFirstUse();
    auto position = mComponents.begin();
    if (after != nullptr) {
        while (position != mComponents.end() && position->get() != after) {
            ++position;
        }
        if (position == mComponents.end()) {
            return nullptr;
        }
        ++position;
    }
    for (; position != mComponents.end(); ++position) {
        if (Matches((*position)->mDescription, pattern)) {
            return position->get();
        }
    }
    return nullptr;
}

UInt32 ComponentRegistry::Count(const AudioComponentDescription* pattern)
{
    std::lock_guard<std::mutex> lock(mMutex);
    ScanIfFirstUse();
    UInt32 count = 0;
    for (const auto& component : mComponents) {
        count += Matches(component->mDescription, pattern) ? 1 : 0;
    }
    return count;
}

bool ComponentRegistry::Contains(AudioComponent component)
{
    std::lock_guard<std::mutex> lock(mMutex);
    for (const auto& known : mComponents) {
        if (known.get() == component) {
            return true;
        }
    }
    return false;
}

void ComponentRegistry::Rescan()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mScanned = true;
    ScanBundleFolders();
}

void ComponentRegistry::AddInstance(ComponentInstanceRecord* instance)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mInstances.insert(instance);
}

void ComponentRegistry::RemoveInstance(ComponentInstanceRecord* instance)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mInstances.erase(instance);
}

bool ComponentRegistry::ClaimForClose(ComponentInstanceRecord* instance)
{
    std::lock_guard<std::mutex> lock(mMutex);
    if (mInstances.count(instance) == 0 || instance->mClosing)
        return false;
    instance->mClosing = true;
    return true;
}

void ComponentRegistry::EndClose(ComponentInstanceRecord* instance, bool closed)
{
    std::lock_guard<std::mutex> lock(mMutex);
    instance->mClosing = false;
    if (closed)
        mInstances.erase(instance);
}

AudioComponent ComponentRegistry::ComponentOf(ComponentInstanceRecord* instance)
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mInstances.count(instance) == 1 ? instance->mComponent : nullptr;
}

AudioComponent ComponentRegistry::FindInBundle(const std::string& bundlePath,
                                               const AudioComponentDescription* pattern)
{
    std::lock_guard<std::mutex> lock(mMutex);
    const std::string bundle = AddBundle(bundlePath);
    if (bundle.empty()) {
        return nullptr;
    }
    for (const auto& component : mComponents) {
        if (component->mBundlePath == bundle && Matches(component->mDescription, pattern)) {
            return component.get();
        }
    }
    return nullptr;
}

void ComponentRegistry::ScanIfFirstUse()
{
    if (!mScanned) {
        mScanned = true;
        ScanBundleFolders();
    }
}

void ComponentRegistry::ScanBundleFolders()
{
    for (const std::string& folder : ComponentSearchFolders()) {
        for (const std::string& bundle : ComponentBundlesIn(folder)) {
            AddBundle(bundle);
        }
    }
}

// Reads one bundle; a broken one is reported in one line and left out entirely.
std::string ComponentRegistry::AddBundle(const std::string& bundlePath)
{
    std::error_code error;
    // Without a trailing separator, whose empty last element would name no bundle.
    std::filesystem::path bundle =
        std::filesystem::weakly_canonical(bundlePath, error).lexically_normal();
    if (!bundle.has_filename()) {
        bundle = bundle.parent_path();
    }
    if (error || bundle.empty()) {
        return "";
    }
    if (mKnownBundles.count(bundle.string()) != 0) {
        return bundle.string();
    }
    std::vector<ManifestComponent> entries;
    std::string problem;
    if (!ReadBundleManifest((bundle / "Contents" / "Info.plist").string(), entries, problem)) {
        ReportSkippedBundle(bundlePath, problem);
        return "";
    }
    const std::filesystem::path library =
        bundle / "Contents" / "x86_64-linux" / (bundle.stem().string() + ".so");
    if (!std::filesystem::is_regular_file(library, error)) {
        ReportSkippedBundle(bundlePath, "no library " + library.string());
        return "";
    }
    for (ManifestComponent& entry : entries) {
        mComponents.push_back(std::make_unique<OpaqueAudioComponent>(
            entry.mDescription, std::move(entry.mName), entry.mVersion, bundle.string(),
            library.string(), std::move(entry.mFactoryFunction)));
    }
    mKnownBundles.insert(bundle.string());
    return bundle.string();
}
