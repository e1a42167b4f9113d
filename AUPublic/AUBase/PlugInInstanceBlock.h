// The heap block that carries one open instance: the plug-in interface record the host calls
// through, the hooks that build and destroy the unit object, and the object's storage after them.
#pragma once

#include <AudioUnit/AudioComponent.h>

#include <cstddef>

class ComponentBase;

struct PlugInInstanceBlock {
    // The unit object starts this far into the block; the adapters rely on it.
    static constexpr std::size_t kStorageOffset = 64;

    AudioComponentPlugInInterface mPlugInInterface; // open, close, lookup, reserved
    ComponentBase* (*mConstruct)(void* storage, AudioComponentInstance instance);
    void (*mDestruct)(void* storage);
    void* mReserved[2];

    void* Storage() { return reinterpret_cast<char*>(this) + kStorageOffset; }
    // The unit object of an open block; every unit class has ComponentBase as its first base.
    ComponentBase* Object() { return static_cast<ComponentBase*>(Storage()); }

    static PlugInInstanceBlock* FromRecord(void* record)
    {
        return static_cast<PlugInInstanceBlock*>(record);
    }
};

static_assert(offsetof(PlugInInstanceBlock, mPlugInInterface) == 0,
              "the host calls through the record at the start of the block");
static_assert(sizeof(PlugInInstanceBlock) == PlugInInstanceBlock::kStorageOffset,
              "the object storage follows the header, 64 bytes into the block");
static_assert(PlugInInstanceBlock::kStorageOffset % 16 == 0 && alignof(std::max_align_t) >= 16,
              "malloc'ed blocks put the storage on a 16-byte boundary");
