// A bus: an element of the input or output scope with a stream format, the buffers its audio
// passes through during a render call, and channel-layout hooks.
#pragma once

#include "AUBuffer.h"
#include "AUElement.h"
#include "CAStreamBasicDescription.h"

class AUIOElement : public AUElement {
public:
    // Starts as canonical stereo at 44100 Hz.
    explicit AUIOElement(AUBase* audioUnit);

    // Stores the format. [host-thread]
    virtual OSStatus SetStreamFormat(const CAStreamBasicDescription& format);
    // Sizes the buffers for `frames` (0: the unit's maximum slice) once the unit has begun
    // initializing; without leave to allocate, or without need, no sample memory is made.
    // [host-thread]
    virtual void AllocateBuffer(UInt32 frames = 0);
    // Whether the bus needs memory of its own for its audio. [any-thread]
    virtual bool NeedsBufferSpace() const = 0;

    // Channel layouts: a plain bus supports none. [host-thread]
    virtual UInt32 GetChannelLayoutTags(AudioChannelLayoutTag* outLayoutTags);
    virtual UInt32 GetAudioChannelLayout(AudioChannelLayout* outLayout, Boolean& outWritable);
    virtual OSStatus SetAudioChannelLayout(const AudioChannelLayout& layout);
    virtual OSStatus RemoveAudioChannelLayout();

    // [any-thread]
    AUIOElement* AsIOElement() override { return this; }

    // [any-thread]
    const CAStreamBasicDescription& GetStreamFormat() const { return mStreamFormat; }

    // [host-thread]
    void DeallocateBuffer() { mIOBuffer.Deallocate(); }
    // Throws -10851 when the bus may not allocate, else as AUBufferList. [render-thread]
    AudioBufferList& PrepareBuffer(UInt32 frames);
    // [render-thread]
    AudioBufferList& GetBufferList() const { return mIOBuffer.GetBufferList(); }
    AudioBufferList& SetBufferList(AudioBufferList& list) { return mIOBuffer.SetBufferList(list); }
    void CopyBufferListTo(AudioBufferList& list) const { mIOBuffer.CopyBufferListTo(list); }
    void CopyBufferContentsTo(AudioBufferList& list) const { mIOBuffer.CopyBufferContentsTo(list); }
    void InvalidateBufferList() { mIOBuffer.InvalidateBufferList(); }
    bool HoldsCallersMemory() const { return mIOBuffer.HoldsCallersMemory(); }
    // [host-thread & initialized]
    void UseExternalBuffer(const AudioUnitExternalBuffer& buffer)
    {
        mIOBuffer.UseExternalBuffer(mStreamFormat, buffer);
    }

    // [host-thread & !initialized]
    bool WillAllocateBuffer() const { return mWillAllocate; }
    void SetWillAllocateBuffer(bool willAllocate) { mWillAllocate = willAllocate; }

    // For inspection of the allocation. [host-thread]
    const AUBufferList& IOBuffer() const { return mIOBuffer; }

protected:
    AUBufferList& IOBufferList() { return mIOBuffer; }

private:
    CAStreamBasicDescription mStreamFormat;
    AUBufferList mIOBuffer;
    bool mWillAllocate = true;
};
