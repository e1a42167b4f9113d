#include "AUElement.h"

#include "AUBase.h"

#include <CoreFoundation/CFByteOrder.h>

#include <cstdio>
#include <cstring>

namespace {

UInt32 ReadBigEndian32(const UInt8*& position)
{
    UInt32 value;
    std::memcpy(&value, position, sizeof(value));
    position += sizeof(value);
    return CFSwapInt32BigToHost(value);
}

void AppendBigEndian32(CFMutableDataRef data, UInt32 value)
{
    const UInt32 bigEndian = CFSwapInt32HostToBig(value);
    CFDataAppendBytes(data, reinterpret_cast<const UInt8*>(&bigEndian), sizeof(bigEndian));
}

UInt32 FloatBits(Float32 value)
{
    UInt32 bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

Float32 FloatFromBits(UInt32 bits)
{
    Float32 value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

} // namespace

AUElement::~AUElement()
{
    if (mElementName != nullptr)
        CFRelease(mElementName);
}

UInt32 AUElement::GetNumberOfParameters()
{
    return static_cast<UInt32>(mUseIndexedParameters ? mIndexedParameters.size()
                                                     : mParameters.size());
}

void AUElement::GetParameterList(AudioUnitParameterID* outList)
{
    if (mUseIndexedParameters) {
        for (UInt32 i = 0; i < mIndexedParameters.size(); ++i)
            *outList++ = i;
        return;
    }
    for (const auto& entry : mParameters)
        *outList++ = entry.first;
}

void AUElement::UseIndexedParameters(int numberOfParameters)
{
    mIndexedParameters.resize(numberOfParameters > 0 ? size_t(numberOfParameters) : 0);
    mUseIndexedParameters = true;
}

const ParameterMapEvent& AUElement::FindEvent(AudioUnitParameterID paramID) const
{
    if (mUseIndexedParameters) {
        if (paramID >= mIndexedParameters.size())
            throw static_cast<int>(kAudioUnitErr_InvalidParameter);
        return mIndexedParameters[paramID];
    }
    const auto found = mParameters.find(paramID);
    if (found == mParameters.end())
        throw static_cast<int>(kAudioUnitErr_InvalidParameter);
    return found->second;
}

ParameterMapEvent& AUElement::FindEvent(AudioUnitParameterID paramID)
{
    return const_cast<ParameterMapEvent&>(static_cast<const AUElement*>(this)->FindEvent(paramID));
}

bool AUElement::HasParameterID(AudioUnitParameterID paramID) const
{
    if (mUseIndexedParameters)
        return paramID < mIndexedParameters.size();
    return mParameters.count(paramID) != 0;
}

AudioUnitParameterValue AUElement::GetParameter(AudioUnitParameterID paramID) const
{
    return FindEvent(paramID).GetValue();
}

AudioUnitParameterValue AUElement::GetEndValue(AudioUnitParameterID paramID) const
{
    return FindEvent(paramID).GetEndValue();
}

void AUElement::GetRampSliceStartEnd(AudioUnitParameterID paramID,
                                     AudioUnitParameterValue& outStart,
                                     AudioUnitParameterValue& outEnd,
                                     AudioUnitParameterValue& outValuePerFrameDelta) const
{
    FindEvent(paramID).GetRampSliceStartEnd(outStart, outEnd, outValuePerFrameDelta);
}

ParameterMapEvent* AUElement::EventForWrite(AudioUnitParameterID paramID, bool okWhenInitialized,
                                            const char* operation)
{
    if (mUseIndexedParameters)
        return &FindEvent(paramID);
    const auto found = mParameters.find(paramID);
    if (found != mParameters.end())
        return &found->second;
    // Inserting would change the map's shape under a render thread that reads it.
    if (mAudioUnit->IsInitialized() && !okWhenInitialized) {
        fprintf(stderr, "WARNING: %s %s for undefined param ID %d while initialized. Ignoring..\n",
                mAudioUnit->GetLoggingString(), operation, static_cast<int>(paramID));
        return nullptr;
    }
    return &mParameters[paramID];
}

void AUElement::SetParameter(AudioUnitParameterID paramID, AudioUnitParameterValue value,
                             bool okWhenInitialized)
{
    if (ParameterMapEvent* event = EventForWrite(paramID, okWhenInitialized, "SetParameter"))
        event->SetValue(value);
}

void AUElement::SetScheduledEvent(AudioUnitParameterID paramID,
                                  const AudioUnitParameterEvent& scheduled, UInt32 sliceOffset,
                                  UInt32 sliceDuration, bool okWhenInitialized)
{
    if (ParameterMapEvent* event = EventForWrite(paramID, okWhenInitialized, "SetScheduledEvent"))
        event->SetScheduledEvent(scheduled, sliceOffset, sliceDuration);
}

void AUElement::SetName(CFStringRef name)
{
    // Retain first: the new name may be the one held, with this element its only owner.
    if (name != nullptr)
        CFRetain(name);
    if (mElementName != nullptr)
        CFRelease(mElementName);
    mElementName = name;
}

void AUElement::SaveState(CFMutableDataRef data)
{
    const UInt32 count = GetNumberOfParameters();
    std::vector<AudioUnitParameterID> ids(count);
    GetParameterList(ids.data());
    AppendBigEndian32(data, count);
    for (AudioUnitParameterID paramID : ids) {
        AppendBigEndian32(data, paramID);
        AppendBigEndian32(data, FloatBits(GetParameter(paramID)));
    }
}

const UInt8* AUElement::RestoreState(const UInt8* state)
{
    const UInt32 count = ReadBigEndian32(state);
    for (UInt32 i = 0; i < count; ++i) {
        const AudioUnitParameterID paramID = ReadBigEndian32(state);
        const Float32 value = FloatFromBits(ReadBigEndian32(state));
        SetParameter(paramID, value);
    }
    return state;
}
