#include "AUOutputElement.h"

AUOutputElement::AUOutputElement(AUBase* audioUnit) : AUIOElement(audioUnit)
{
    AllocateBuffer();
}

OSStatus AUOutputElement::SetStreamFormat(const CAStreamBasicDescription& format)
{
    const OSStatus result = AUIOElement::SetStreamFormat(format);
    if (result == noErr)
        AllocateBuffer();
    return result;
}
