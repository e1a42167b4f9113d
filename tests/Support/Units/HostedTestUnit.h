// A unit class opened the way a host opens any unit: registered as an in-process component
// whose factory is APFactory, instantiated and driven only through the host calls. It counts the
// hooks the framework calls and can be told what to answer. Shared by the property, preset-state
// and dispatch tests and by the host-call and class-info fuzz targets.
#pragma once

#include "APFactory.h"
#include "AUBase.h"
#include "AUPlugInDispatch.h"
#include "CAMutex.h"
#include "ThrownStatus.h"
#include "Units/HostedUnit.h"

#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CFString.h>

#include <new>

namespace hosted_test {

constexpr OSType FourCC(const char (&code)[5])
{
    return (OSType(UInt8(code[0])) << 24) | (OSType(UInt8(code[1])) << 16) |
           (OSType(UInt8(code[2])) << 8) | OSType(UInt8(code[3]));
}

constexpr AudioComponentDescription kBaseUnitDesc{FourCC("aumu"), FourCC("Prop"), FourCC("Plnk"), 0,
                                                  0};
constexpr AudioComponentDescription kMusicUnitDesc{FourCC("aumu"), FourCC("Pmus"), FourCC("Plnk"),
                                                   0, 0};

// Properties of the unit class's own, served by its hooks.
constexpr AudioUnitPropertyID kThrowingProperty = 64000; // every hook throws mThrowKind
constexpr UInt32 kGlobalParameters = 6;

// A mutex that counts, for checking which host calls hold the unit's mutex.
class CountingMutex : public CAMutex {
public:
    bool Lock() override
    {
        ++mLocks;
        mHeld = true;
        return true;
    }
    void Unlock() override
    {
        ++mUnlocks;
        mHeld = false;
    }
    int mLocks = 0;
    int mUnlocks = 0;
    bool mHeld = false;
};

class HostedTestUnit : public AUBase {
public:
    using ThrowKind = ::ThrowKind;

    explicit HostedTestUnit(AudioComponentInstance instance) : AUBase(instance, 1, 1, 1)
    {
        CreateElements();
        Globals()->UseIndexedParameters(kGlobalParameters);
        sLastCreated = this;
    }
    ~HostedTestUnit() override
    {
        if (sLastCreated == this)
            sLastCreated = nullptr;
    }

    bool CanScheduleParameters() const override { return false; }
    bool StreamFormatWritable(AudioUnitScope, AudioUnitElement) override
    {
        return mStreamFormatWritable;
    }
    bool BusCountWritable(AudioUnitScope scope) override
    {
        return scope == kAudioUnitScope_Input || scope == kAudioUnitScope_Output;
    }
    OSStatus ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                const CAStreamBasicDescription& previous,
                                const CAStreamBasicDescription& format) override
    {
        ++mFormatChanges;
        return AUBase::ChangeStreamFormat(scope, element, previous, format);
    }
    UInt32 SupportedNumChannels(const AUChannelInfo** outInfo) override
    {
        static const AUChannelInfo kChannels[2] = {{-1, -1}, {0, 2}};
        if (outInfo != nullptr)
            *outInfo = kChannels;
        return mChannelEntries;
    }
    OSStatus NewFactoryPresetSet(const AUPreset& preset) override
    {
        ++mFactoryPresetCalls;
        return AUBase::NewFactoryPresetSet(preset);
    }
    OSStatus Initialize() override { return noErr; }
    OSStatus MIDIEvent(UInt32, UInt32, UInt32, UInt32) override
    {
        ++mMIDIEvents;
        return AUBase::MIDIEvent(0, 0, 0, 0);
    }

    OSStatus GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                             UInt32& size, Boolean& writable) override
    {
        switch (id) {
        case kAudioUnitProperty_RenderQuality:
        case kAudioUnitProperty_CPULoad:
            if (!mOffersQualityAndLoad)
                break;
            size = 4;
            writable = true;
            return noErr;
        case kThrowingProperty:
            Throw();
        }
        return AUBase::GetPropertyInfo(id, scope, element, size, writable);
    }
    OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         void* data) override
    {
        switch (id) {
        case kAudioUnitProperty_RenderQuality:
            if (!mOffersQualityAndLoad)
                break;
            *static_cast<UInt32*>(data) = mRenderQuality;
            return noErr;
        case kAudioUnitProperty_CPULoad:
            if (!mOffersQualityAndLoad)
                break;
            *static_cast<Float32*>(data) = mCPULoad;
            return noErr;
        case kThrowingProperty:
            Throw();
        }
        return AUBase::GetProperty(id, scope, element, data);
    }
    OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         const void* data, UInt32 size) override
    {
        switch (id) {
        case kAudioUnitProperty_RenderQuality:
            if (!mOffersQualityAndLoad || size != 4)
                break;
            mRenderQuality = *static_cast<const UInt32*>(data);
            return noErr;
        case kAudioUnitProperty_CPULoad:
            if (!mOffersQualityAndLoad || size != 4)
                break;
            mCPULoad = *static_cast<const Float32*>(data);
            return noErr;
        case kThrowingProperty:
            Throw();
        }
        return AUBase::SetProperty(id, scope, element, data, size);
    }
    OSStatus RemovePropertyValue(AudioUnitPropertyID id, AudioUnitScope scope,
                                 AudioUnitElement element) override
    {
        ++mRemoveHookCalls;
        return AUBase::RemovePropertyValue(id, scope, element);
    }

    using AUBase::SetMutex;
    using AUBase::SetRenderError;

    bool mStreamFormatWritable = true;
    bool mOffersQualityAndLoad = false;
    UInt32 mChannelEntries = 0;
    UInt32 mRenderQuality = 0;
    Float32 mCPULoad = 0;
    ThrowKind mThrowKind = ThrowKind::kStatus;
    int mFormatChanges = 0;
    int mFactoryPresetCalls = 0;
    int mRemoveHookCalls = 0;
    int mMIDIEvents = 0;

    static inline HostedTestUnit* sLastCreated = nullptr;

private:
    [[noreturn]] void Throw() const { ThrowAs(mThrowKind, kAudioUnitErr_InvalidElement); }
};

inline AudioComponent RegisterOnce(const AudioComponentDescription& desc, CFStringRef name,
                                   AudioComponentFactoryFunction factory)
{
    AudioComponent component = AudioComponentFindNext(nullptr, &desc);
    return component != nullptr ? component : AudioComponentRegister(&desc, name, 1, factory);
}

// Registered before any test runs, so the registry's copies of the names are not counted as
// a test's leaks.
inline const AudioComponent kBaseComponent =
    RegisterOnce(kBaseUnitDesc, CFSTR("Plenko: Property Test"),
                 &APFactory<AUBaseLookup, HostedTestUnit>::Factory);
inline const AudioComponent kMusicComponent =
    RegisterOnce(kMusicUnitDesc, CFSTR("Plenko: Music Test"),
                 &APFactory<AUMusicLookup, HostedTestUnit>::Factory);

// One open instance of the test unit, a hosted unit that also gives the unit's object.
class HostedInstance : public HostedUnit {
public:
    explicit HostedInstance(AudioComponent component = kBaseComponent)
        : HostedUnit(component), mObject(HostedTestUnit::sLastCreated)
    {
    }

    HostedTestUnit& Object() const { return *mObject; }

private:
    HostedTestUnit* mObject;
};

} // namespace hosted_test
