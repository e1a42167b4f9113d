// The messages waiting for the unit's next send, shared by the thread that makes the host's MIDI
// calls, the render thread and a host thread that sends at once. A sender takes the whole queue
// in one swap with a batch of its own, so a message is either in that send or still waiting.
// The lock is held only for an append into existing room, a swap, or moving the waiting
// messages into larger storage made beforehand; nothing allocates, logs or writes while it is
// held.
#pragma once

#include <CoreMIDI/MIDIServices.h>

#include <atomic>
#include <mutex>
#include <vector>

// One message as the host handed it over.
struct MIDIMessageInfoStruct {
    UInt8 status;  // the status byte's high nibble, 0x80 to 0xF0
    UInt8 channel; // the status byte's low nibble
    UInt8 data1;
    UInt8 data2;
    UInt32 startFrame; // offset into the render slice that follows
};

// A queued message with what became of it when it was sent, kept for the log written after the
// send.
struct QueuedMIDIMessage {
    MIDIMessageInfoStruct message;
    MIDITimeStamp stamp = 0;
    // True for the last message of a packet list; sendStatus is then MIDISend's answer.
    bool endsList = false;
    OSStatus sendStatus = noErr;
};

class MIDIMessageQueue {
public:
    using Batch = std::vector<QueuedMIDIMessage>;

    explicit MIDIMessageQueue(size_t reserved);

    // Appends at the back; when the storage is full, larger storage is made outside the lock.
    // [any-thread]
    void Append(const MIDIMessageInfoStruct& message);
    // Moves every waiting message, in arrival order, into `batch`, which must be empty; the queue
    // keeps the batch's storage for what comes next. [any-thread]
    void TakeAll(Batch& batch);
    // Without taking the lock: a render call with nothing to send costs no more. [any-thread]
    bool IsEmpty() const { return mWaiting.load(std::memory_order_acquire) == 0; }

private:
    std::mutex mLock;
    Batch mPending;
    // The size of mPending, published after each change made under the lock.
    std::atomic<size_t> mWaiting{0};
};
