#include "CommandLine/StatusText.h"

#include <AudioUnit/AUComponent.h>
#include <CoreAudio/CoreAudioTypes.h>
#include <CoreMIDI/MIDIServices.h>

namespace {

struct Meaning {
    OSStatus mStatus;
    const char* mReason;
};

constexpr Meaning kMeanings[] = {
    {kAudio_UnimplementedError, "it does not do that"},
    {kAudio_ParamError, "an argument was unusable"},
    {kAudio_MemFullError, "there was not enough memory"},
    {kAudioUnitErr_InvalidProperty, "it has no such property"},
    {kAudioUnitErr_InvalidParameter, "it has no such parameter"},
    {kAudioUnitErr_InvalidElement, "it has no such element"},
    {kAudioUnitErr_NoConnection, "it has no connection"},
    {kAudioUnitErr_FailedInitialization, "it could not initialize"},
    {kAudioUnitErr_TooManyFramesToProcess, "that is more frames than it was set up for"},
    {kAudioUnitErr_FormatNotSupported, "it does not support that format"},
    {kAudioUnitErr_Uninitialized, "it is not initialized"},
    {kAudioUnitErr_InvalidScope, "it has no such scope"},
    {kAudioUnitErr_PropertyNotWritable, "that property cannot be written"},
    {kAudioUnitErr_CannotDoInCurrentContext, "it cannot do that now"},
    {kAudioUnitErr_InvalidPropertyValue, "it does not take that value"},
    {kAudioUnitErr_Initialized, "it is initialized already"},
    {kMIDIInvalidClient, "the MIDI client is not valid"},
    {kMIDIInvalidPort, "the MIDI port is not valid"},
    {kMIDIWrongEndpointType, "that is no destination"},
    {kMIDINoConnection, "the destination is gone"},
    {kMIDIUnknownEndpoint, "the destination is unknown"},
    {kMIDIUnknownProperty, "the destination has no such property"},
    {kMIDIWrongPropertyType, "the property is of another type"},
    {kMIDIMessageSendErr, "the MIDI services had no room"},
    {kMIDIServerStartErr, "the MIDI services could not start"},
    {kMIDIIDNotUnique, "the unique id is taken"},
    {kMIDINotPermitted, "that is not permitted"},
};

} // namespace

std::string StatusReason(OSStatus status)
{
    for (const Meaning& meaning : kMeanings) {
        if (meaning.mStatus == status) {
            return meaning.mReason;
        }
    }
    return "it failed with status " + std::to_string(status);
}
