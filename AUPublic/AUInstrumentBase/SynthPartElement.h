// An element of the instrument's part scope: what a note is started with. It keeps nothing of
// its own beyond what every element keeps.
#pragma once

#include "SynthElement.h"

class SynthPartElement : public SynthElement {
public:
    SynthPartElement(AUInstrumentBase* audioUnit, UInt32 inElement)
        : SynthElement(audioUnit, inElement)
    {
    }
};
