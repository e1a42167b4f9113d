// An input bus and where its audio comes from: nothing, another unit's output (a connection)
// or a host procedure (an input callback).
#pragma once

#include "AUIOElement.h"

class AUInputElement : public AUIOElement {
public:
    enum EInputType { kNoInput = 0, kFromConnection = 1, kFromCallback = 2 };

    explicit AUInputElement(AUBase* audioUnit) : AUIOElement(audioUnit) {}

    // Stores the format and re-sizes the buffers for it. [host-thread]
    OSStatus SetStreamFormat(const CAStreamBasicDescription& format) override;
    // Only a callback input needs memory of its own; a source unit renders into its own.
    // [any-thread]
    bool NeedsBufferSpace() const override { return mInputType == kFromCallback; }

    // A null source unit disconnects. [host-thread]
    void SetConnection(const AudioUnitConnection& connection);
    // A null procedure disconnects. [host-thread]
    void SetInputCallback(AURenderCallback proc, void* refCon);
    // Back to no input; frees the buffers. [host-thread]
    void Disconnect();

    // [any-thread]
    bool IsActive() const { return mInputType != kNoInput; }
    bool HasConnection() const { return mInputType == kFromConnection; }
    bool IsCallback() const { return mInputType == kFromCallback; }

    // Fetches `frames` frames of input into this bus's buffers (or the source's own); -10876
    // when nothing is connected. [render-thread]
    OSStatus PullInput(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                       AudioUnitElement element, UInt32 frames);
    // The same into a given list; only for an active input. [render-thread]
    OSStatus PullInputWithBufferList(AudioUnitRenderActionFlags& ioActionFlags,
                                     const AudioTimeStamp& timeStamp, AudioUnitElement element,
                                     UInt32 frames, AudioBufferList* list);

private:
    EInputType mInputType = kNoInput;
    AURenderCallback mInputProc = nullptr;
    void* mInputProcRefCon = nullptr;
    AudioUnitConnection mConnection{};
};
