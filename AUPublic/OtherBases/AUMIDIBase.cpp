#include "AUMIDIBase.h"

#include "AUBase.h"
#include "AUDiagnostics.h"
#include "AUPropertyValue.h"
#include "CAAUMIDIMapManager.h"

#include <cstring>

namespace {

constexpr const char* kSourceFile = "AUPublic/OtherBases/AUMIDIBase.cpp";
constexpr UInt32 kMapSize = sizeof(AUParameterMIDIMapping);

enum : UInt8 {
    kNoteOff = 0x80,
    kNoteOn = 0x90,
    kPolyPressure = 0xA0,
    kControlChange = 0xB0,
    kProgramChange = 0xC0,
    kChannelPressure = 0xD0,
    kPitchWheel = 0xE0,
    kSystem = 0xF0
};

enum : UInt8 { kAllSoundOff = 120, kResetAllControllers = 121, kAllNotesOff = 123 };

bool IsDelegated(AudioUnitPropertyID id)
{
    switch (id) {
    case kAudioUnitProperty_AllParameterMIDIMappings:
    case kAudioUnitProperty_AddParameterMIDIMapping:
    case kAudioUnitProperty_RemoveParameterMIDIMapping:
    case kAudioUnitProperty_HotMapParameterMIDIMapping:
    case kMusicDeviceProperty_MIDIXMLNames:
        return true;
    default:
        return false;
    }
}

// -10879 for a property that is not delegated here; every delegated property lives in the global
// scope, element 0, and a call elsewhere writes its check line (`line` is the caller's).
OSStatus CheckDelegated(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                        int line)
{
    if (!IsDelegated(id))
        return kAudioUnitErr_InvalidProperty;
    if (scope != kAudioUnitScope_Global)
        return AURequireFailed("inScope == kAudioUnitScope_Global", "InvalidScope", kSourceFile,
                               line, kAudioUnitErr_InvalidScope);
    if (element != 0)
        return AURequireFailed("inElement == 0", "InvalidElement", kSourceFile, line,
                               kAudioUnitErr_InvalidElement);
    return noErr;
}

} // namespace

AUMIDIBase::AUMIDIBase(AUBase* inBase)
    : mOwnerUnit(inBase), mMIDIMaps(std::make_unique<CAAUMIDIMapManager>())
{
}

AUMIDIBase::~AUMIDIBase() = default;

OSStatus AUMIDIBase::MIDIEvent(UInt32 inStatus, UInt32 inData1, UInt32 inData2,
                               UInt32 inOffsetSampleFrame)
{
    return HandleMidiEvent(UInt8(inStatus & 0xF0), UInt8(inStatus & 0x0F), UInt8(inData1 & 0xFF),
                           UInt8(inData2 & 0xFF), inOffsetSampleFrame);
}

OSStatus AUMIDIBase::SysEx(const UInt8* inData, UInt32 inLength)
{
    if (!mOwnerUnit->IsInitialized())
        return kAudioUnitErr_Uninitialized;
    return HandleSysEx(inData, inLength);
}

// ---- Properties ----

OSStatus AUMIDIBase::DelegateGetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                             AudioUnitElement inElement, UInt32& outDataSize,
                                             Boolean& outWritable)
{
    if (const OSStatus status = CheckDelegated(inID, inScope, inElement, __LINE__))
        return status;
    switch (inID) {
    case kAudioUnitProperty_AllParameterMIDIMappings:
        outDataSize = kMapSize * mMIDIMaps->NumMaps();
        outWritable = true;
        return noErr;
    case kMusicDeviceProperty_MIDIXMLNames:
        if (GetXMLNames(nullptr) != noErr)
            return kAudioUnitErr_InvalidProperty;
        outDataSize = sizeof(CFURLRef);
        outWritable = false;
        return noErr;
    default:
        outDataSize = kMapSize;
        outWritable = true;
        return noErr;
    }
}

OSStatus AUMIDIBase::DelegateGetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement, void* outData,
                                         UInt32& ioDataSize)
{
    if (const OSStatus status = CheckDelegated(inID, inScope, inElement, __LINE__))
        return status;
    switch (inID) {
    case kAudioUnitProperty_AllParameterMIDIMappings:
        // Other threads may have changed the maps since the host asked for their size.
        ioDataSize = kMapSize * mMIDIMaps->GetMaps(static_cast<AUParameterMIDIMapping*>(outData),
                                                   ioDataSize / kMapSize);
        return noErr;
    case kAudioUnitProperty_HotMapParameterMIDIMapping: {
        AUParameterMIDIMapping map;
        mMIDIMaps->GetHotParameterMap(map);
        WriteValue(outData, map);
        return noErr;
    }
    case kMusicDeviceProperty_MIDIXMLNames: {
        CFURLRef document = nullptr;
        const OSStatus status = GetXMLNames(&document);
        WriteValue(outData, document);
        return status;
    }
    default:
        return kAudioUnitErr_InvalidProperty;
    }
}

OSStatus AUMIDIBase::DelegateSetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement, const void* inData,
                                         UInt32 inDataSize)
{
    if (const OSStatus status = CheckDelegated(inID, inScope, inElement, __LINE__))
        return status;
    // Whole records only: bytes short of a record at the end are not read.
    const auto* maps = static_cast<const AUParameterMIDIMapping*>(inData);
    const UInt32 count = inDataSize / kMapSize;
    switch (inID) {
    case kAudioUnitProperty_AllParameterMIDIMappings:
        return mMIDIMaps->ReplaceAllMaps(maps, count, *mOwnerUnit);
    case kAudioUnitProperty_AddParameterMIDIMapping: {
        const OSStatus status = mMIDIMaps->SortedInsertToParamaterMaps(maps, count, *mOwnerUnit);
        mOwnerUnit->PropertyChanged(kAudioUnitProperty_AllParameterMIDIMappings,
                                    kAudioUnitScope_Global, 0);
        return status;
    }
    case kAudioUnitProperty_RemoveParameterMIDIMapping: {
        bool changed = false;
        mMIDIMaps->SortedRemoveFromParameterMaps(maps, count, changed);
        if (changed)
            mOwnerUnit->PropertyChanged(kAudioUnitProperty_AllParameterMIDIMappings,
                                        kAudioUnitScope_Global, 0);
        return noErr;
    }
    case kAudioUnitProperty_HotMapParameterMIDIMapping: {
        if (inDataSize < kMapSize)
            return AURequireFailed("inDataSize >= sizeof(AUParameterMIDIMapping)",
                                   "InvalidPropertyValue", kSourceFile, __LINE__,
                                   kAudioUnitErr_InvalidPropertyValue);
        AUParameterMIDIMapping map;
        std::memcpy(&map, inData, kMapSize);
        mMIDIMaps->SetHotMapping(map, *mOwnerUnit);
        return noErr;
    }
    default:
        return kAudioUnitErr_InvalidProperty;
    }
}

// ---- Messages ----

OSStatus AUMIDIBase::HandleMidiEvent(UInt8 inStatus, UInt8 inChannel, UInt8 inData1, UInt8 inData2,
                                     UInt32 inStartFrame)
{
    if (!mOwnerUnit->IsInitialized())
        return kAudioUnitErr_Uninitialized;
    if (mMIDIMaps->HandleHotMapping(inStatus, inChannel, inData1, *mOwnerUnit))
        mOwnerUnit->PropertyChanged(kAudioUnitProperty_HotMapParameterMIDIMapping,
                                    kAudioUnitScope_Global, 0);
    else
        mMIDIMaps->FindParameterMapEventMatch(inStatus, inChannel, inData1, inData2, inStartFrame,
                                              *mOwnerUnit);

    switch (inStatus) {
    case kNoteOff:
        HandleNoteOff(inChannel, inData1, inData2, inStartFrame);
        break;
    case kNoteOn:
        if (inData2 != 0)
            HandleNoteOn(inChannel, inData1, inData2, inStartFrame);
        else
            HandleNoteOff(inChannel, inData1, inData2, inStartFrame);
        break;
    default:
        HandleNonNoteEvent(inStatus, inChannel, inData1, inData2, inStartFrame);
        break;
    }
    return noErr;
}

OSStatus AUMIDIBase::HandleNonNoteEvent(UInt8 inStatus, UInt8 inChannel, UInt8 inData1,
                                        UInt8 inData2, UInt32 inStartFrame)
{
    switch (inStatus) {
    case kPolyPressure:
        return HandlePolyPressure(inChannel, inData1, inData2, inStartFrame);
    case kControlChange:
        switch (inData1) {
        case kAllSoundOff:
            return HandleAllSoundOff(inChannel);
        case kResetAllControllers:
            return HandleResetAllControllers(inChannel);
        case kAllNotesOff:
            return HandleAllNotesOff(inChannel);
        default:
            return HandleControlChange(inChannel, inData1, inData2, inStartFrame);
        }
    case kProgramChange:
        return HandleProgramChange(inChannel, inData1);
    case kChannelPressure:
        return HandleChannelPressure(inChannel, inData1, inStartFrame);
    case kPitchWheel:
        return HandlePitchWheel(inChannel, inData1, inData2, inStartFrame);
    default:
        return noErr;
    }
}

OSStatus AUMIDIBase::HandleMIDIPacketList(const MIDIPacketList* inList)
{
    if (inList == nullptr)
        return kAudio_ParamError;
    if (!mOwnerUnit->IsInitialized())
        return kAudioUnitErr_Uninitialized;
    const MIDIPacket* packet = &inList->packet[0];
    for (UInt32 i = 0; i < inList->numPackets; ++i) {
        const Byte* end = packet->data + packet->length;
        const auto startFrame = UInt32(packet->timeStamp);
        for (const Byte* event = packet->data; event < end; event = NextMIDIEvent(event, end)) {
            if ((*event & 0x80) == 0)
                continue;
            HandleMidiEvent(UInt8(*event & 0xF0), UInt8(*event & 0x0F),
                            event + 1 < end ? event[1] : 0, event + 2 < end ? event[2] : 0,
                            startFrame);
        }
        if (i + 1 < inList->numPackets)
            packet = MIDIPacketNext(packet);
    }
    return noErr;
}

const Byte* AUMIDIBase::NextMIDIEvent(const Byte* inEvent, const Byte* inEnd)
{
    if (inEvent >= inEnd)
        return inEnd;
    const Byte first = *inEvent;
    // SysEx and stray data bytes run to the next status byte; there is no running status.
    if (first < 0x80 || first == kSystem) {
        const Byte* next = inEvent + 1;
        while (next < inEnd && (*next & 0x80) == 0)
            ++next;
        return next;
    }
    ptrdiff_t length = 1;
    switch (first & 0xF0) {
    case kProgramChange:
    case kChannelPressure:
        length = 2;
        break;
    case kSystem:
        length = (first == 0xF1 || first == 0xF3) ? 2 : first == 0xF2 ? 3 : 1;
        break;
    default:
        length = 3;
        break;
    }
    return inEnd - inEvent <= length ? inEnd : inEvent + length;
}

OSStatus AUMIDIBase::GetXMLNames(CFURLRef* /*outNameDocument*/)
{
    return kAudioUnitErr_InvalidProperty;
}
