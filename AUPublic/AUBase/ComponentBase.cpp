#include "ComponentBase.h"

#include "CatchAsStatus.h"
#include "ComponentInitLocker.h"
#include "PlugInInstanceBlock.h"

#include <cstdio>
#include <cstdlib>

SInt32 ComponentBase::sNewInstanceType = 0;

ComponentBase::ComponentBase(AudioComponentInstance inInstance)
    : mComponentInstance(inInstance), mInstanceType(sNewInstanceType)
{
    GetComponentDescription();
}

AudioComponentDescription ComponentBase::GetComponentDescription() const
{
    AudioComponentDescription desc{};
    OSStatus result = 1;
    if (IsPluginObject()) {
        result = CB_GetComponentDescription(mComponentInstance, &desc);
        if (result != noErr) {
            std::fprintf(stderr, "ca_require_noerr: [%s, %d] (goto %s;) %s:%d\n",
                         "result = CB_GetComponentDescription (mComponentInstance, &desc)",
                         static_cast<int>(result), "home", "AUPublic/AUBase/ComponentBase.cpp",
                         __LINE__);
        }
    }
    if (result != noErr) {
        return AudioComponentDescription{};
    }
    return desc;
}

OSStatus ComponentBase::AP_Open(void* self, AudioComponentInstance compInstance)
{
    PlugInInstanceBlock* block = PlugInInstanceBlock::FromRecord(self);
    ComponentBase* object = nullptr;
    const OSStatus result = CatchAsStatus([&] {
        ComponentInitLocker openLock;
        sNewInstanceType = kPlugInInstanceType;
        object = block->mConstruct(block->Storage(), compInstance);
        object->PostConstructor();
        return noErr;
    });
    if (result != noErr) {
        // A failed PostConstructor leaves a complete object whose members own resources.
        if (object != nullptr) {
            CatchAsStatus([&] {
                block->mDestruct(block->Storage());
                return noErr;
            });
        }
        std::free(block);
    }
    return result;
}

OSStatus ComponentBase::AP_Close(void* self)
{
    PlugInInstanceBlock* block = PlugInInstanceBlock::FromRecord(self);
    if (block == nullptr) {
        return noErr;
    }
    return CatchAsStatus([&] {
        block->Object()->PreDestructor();
        block->mDestruct(block->Storage());
        std::free(block);
        return noErr;
    });
}

OSStatus CB_GetComponentDescription(AudioComponentInstance inInstance,
                                    AudioComponentDescription* outDesc)
{
    AudioComponent component = AudioComponentInstanceGetComponent(inInstance);
    if (component == nullptr) {
        return kAudio_ParamError;
    }
    return AudioComponentGetDescription(component, outDesc);
}
