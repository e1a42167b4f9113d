#include "AUInputElement.h"

OSStatus AUInputElement::SetStreamFormat(const CAStreamBasicDescription& format)
{
    const OSStatus result = AUIOElement::SetStreamFormat(format);
    if (result == noErr)
        AllocateBuffer();
    return result;
}

void AUInputElement::SetConnection(const AudioUnitConnection& connection)
{
    if (connection.sourceAudioUnit == nullptr) {
        Disconnect();
        return;
    }
    mInputType = kFromConnection;
    mConnection = connection;
    AllocateBuffer();
}

void AUInputElement::SetInputCallback(AURenderCallback proc, void* refCon)
{
    if (proc == nullptr) {
        Disconnect();
        return;
    }
    mInputType = kFromCallback;
    mInputProc = proc;
    mInputProcRefCon = refCon;
    AllocateBuffer();
}

void AUInputElement::Disconnect()
{
    mInputType = kNoInput;
    DeallocateBuffer();
}

OSStatus AUInputElement::PullInput(AudioUnitRenderActionFlags& ioActionFlags,
                                   const AudioTimeStamp& timeStamp, AudioUnitElement element,
                                   UInt32 frames)
{
    if (!IsActive())
        return kAudioUnitErr_NoConnection;
    AudioBufferList& list = HasConnection() || !WillAllocateBuffer()
                                ? IOBufferList().PrepareNullBuffer(GetStreamFormat(), frames)
                                : IOBufferList().PrepareBuffer(GetStreamFormat(), frames);
    return PullInputWithBufferList(ioActionFlags, timeStamp, element, frames, &list);
}

OSStatus AUInputElement::PullInputWithBufferList(AudioUnitRenderActionFlags& ioActionFlags,
                                                 const AudioTimeStamp& timeStamp,
                                                 AudioUnitElement element, UInt32 frames,
                                                 AudioBufferList* list)
{
    if (!IsActive())
        return kAudioUnitErr_NoConnection;
    const OSStatus result =
        HasConnection()
            ? AudioUnitRender(mConnection.sourceAudioUnit, &ioActionFlags, &timeStamp,
                              mConnection.sourceOutputNumber, frames, list)
            : mInputProc(mInputProcRefCon, &ioActionFlags, &timeStamp, element, frames, list);
    // The source may have been disconnected while it rendered.
    return mInputType == kNoInput ? OSStatus(kAudioUnitErr_NoConnection) : result;
}
