// The elements of an instrument's group and part scopes: an element that knows its own index
// and the instrument it belongs to.
#pragma once

#include "AUElement.h"

class AUInstrumentBase;

class SynthElement : public AUElement {
public:
    SynthElement(AUInstrumentBase* audioUnit, UInt32 inElement);
    ~SynthElement() override = default;

    // [any-thread]
    UInt32 GetIndex() const { return mElementIndex; }
    AUInstrumentBase* GetAUInstrument() const;

private:
    UInt32 mElementIndex;
};
