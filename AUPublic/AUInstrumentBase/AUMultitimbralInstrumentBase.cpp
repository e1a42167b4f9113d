#include "AUMultitimbralInstrumentBase.h"

namespace {

// Getting and setting the part-group property is not supported in the group scope.
constexpr OSStatus kPartGroupNotSupported = -1;

} // namespace

OSStatus AUMultitimbralInstrumentBase::GetPropertyInfo(AudioUnitPropertyID inID,
                                                       AudioUnitScope inScope,
                                                       AudioUnitElement inElement,
                                                       UInt32& outDataSize, Boolean& outWritable)
{
    if (inID != kMusicDeviceProperty_PartGroup)
        return AUInstrumentBase::GetPropertyInfo(inID, inScope, inElement, outDataSize,
                                                 outWritable);
    if (inScope != kAudioUnitScope_Part)
        return kAudioUnitErr_InvalidScope;
    outDataSize = sizeof(UInt32);
    outWritable = true;
    return noErr;
}

OSStatus AUMultitimbralInstrumentBase::GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                                   AudioUnitElement inElement, void* outData)
{
    if (inID != kMusicDeviceProperty_PartGroup)
        return AUInstrumentBase::GetProperty(inID, inScope, inElement, outData);
    return inScope == kAudioUnitScope_Group ? kPartGroupNotSupported
                                            : OSStatus(kAudioUnitErr_InvalidScope);
}

OSStatus AUMultitimbralInstrumentBase::SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                                   AudioUnitElement inElement, const void* inData,
                                                   UInt32 inDataSize)
{
    if (inID != kMusicDeviceProperty_PartGroup)
        return AUInstrumentBase::SetProperty(inID, inScope, inElement, inData, inDataSize);
    return inScope == kAudioUnitScope_Group ? kPartGroupNotSupported
                                            : OSStatus(kAudioUnitErr_InvalidScope);
}
