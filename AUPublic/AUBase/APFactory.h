// The factory of a bundle's unit class: allocates one instance block per instance, wired to the
// open and close of ComponentBase, the lookup of the unit kind and the unit class's own
// construction and destruction.
#pragma once

#include "ComponentBase.h"
#include "PlugInInstanceBlock.h"

#include <cstdlib>
#include <new>
#include <type_traits>

template <class Lookup, class Implementor> class APFactory {
    static_assert(std::is_base_of_v<ComponentBase, Implementor>,
                  "a unit class derives from ComponentBase");
    static_assert(alignof(Implementor) <= 16, "the block's storage is only 16-byte aligned");

public:
    // Returns a fresh block with raw storage, or NULL when it cannot be allocated. [any-thread]
    static AudioComponentPlugInInterface* Factory(const AudioComponentDescription* /*inDesc*/)
    {
        void* memory = std::malloc(PlugInInstanceBlock::kStorageOffset + sizeof(Implementor));
        if (memory == nullptr) {
            return nullptr;
        }
        auto* block = new (memory) PlugInInstanceBlock{
            {ComponentBase::AP_Open, ComponentBase::AP_Close, Lookup::Lookup, nullptr},
            Construct,
            Destruct,
            {nullptr, nullptr}};
        return &block->mPlugInInterface;
    }

    // Builds the unit object in place in the storage.
    static ComponentBase* Construct(void* storage, AudioComponentInstance instance)
    {
        return new (storage) Implementor(instance);
    }

    // Runs the unit object's destructor in place; the block is freed by its owner.
    static void Destruct(void* storage)
    {
        std::launder(static_cast<Implementor*>(storage))->~Implementor();
    }
};
