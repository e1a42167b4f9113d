#include "SynthElement.h"

#include "AUInstrumentBase.h"

SynthElement::SynthElement(AUInstrumentBase* audioUnit, UInt32 inElement)
    : AUElement(audioUnit), mElementIndex(inElement)
{
}

AUInstrumentBase* SynthElement::GetAUInstrument() const
{
    return static_cast<AUInstrumentBase*>(GetAudioUnit());
}
