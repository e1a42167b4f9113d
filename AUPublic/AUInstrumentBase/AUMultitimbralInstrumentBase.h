// An instrument of several timbres: it declares the part-group property on its parts.
#pragma once

#include "AUInstrumentBase.h"

class AUMultitimbralInstrumentBase : public AUInstrumentBase {
public:
    // [host-thread]
    using AUInstrumentBase::AUInstrumentBase;

    // The part-group property: described in the part scope, not readable or writable in the
    // group scope (-1), -10866 in any other. [host-thread]
    OSStatus GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                             AudioUnitElement inElement, UInt32& outDataSize,
                             Boolean& outWritable) override;
    OSStatus GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                         AudioUnitElement inElement, void* outData) override;
    OSStatus SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                         AudioUnitElement inElement, const void* inData,
                         UInt32 inDataSize) override;
};
