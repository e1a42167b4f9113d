// Plays a MIDI sequence through a unit as a host's audio thread does: a render thread that, for
// each slice of blockFrames samples, hands the unit every event falling in that slice with its
// sample offset and then renders the slice. In real time each slice is rendered at the absolute
// deadline on the host clock where the slice before it starts, one slice ahead, so waking late
// never accumulates into drift; offline slices follow each other at once. At the end, or when asked
// to stop, every note still sounding gets its note off and each channel used gets controller 123,
// in one last rendered slice.
#pragma once

#include "MIDISequence.h"
#include "UnitInstance.h"

#include <atomic>
#include <thread>

class Player {
public:
    // Offline play waits while more than this many messages are on their way to the monitor,
    // which keeps the MIDI services' queue and the monitor's ring from filling.
    static constexpr UInt64 kMaxInFlight = 1024;

    struct Settings {
        UInt32 mSampleRate = 44100;
        UInt32 mBlockFrames = 512;
        bool mOffline = false;
        // Offline: the count of messages taken at the destination, to wait for; null when what
        // arrives cannot be counted.
        const std::atomic<UInt64>* mDelivered = nullptr;
    };

    Player(UnitInstance& unit, const MIDISequence& song, const Settings& settings);
    // Stops the render thread if it still runs.
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Starts the render thread. Throws std::system_error when it cannot. [host-thread]
    void Start();
    // Ends play at the next slice, with the closing messages. [any-thread]
    void RequestStop() { mStopRequested.store(true, std::memory_order_relaxed); }
    // True once the last slice is rendered. [any-thread]
    bool Finished() const { return mFinished.load(std::memory_order_acquire); }
    // Waits for the render thread. [host-thread]
    void Join();

    // The host time just before the first render call, where the unit anchors its clock, and
    // the time from which every slice's deadline counts; 0 before it. [any-thread]
    UInt64 StartTime() const { return mStartTime.load(std::memory_order_acquire); }
    // Samples rendered so far. [any-thread]
    UInt64 Position() const { return mPosition.load(std::memory_order_relaxed); }
    // MIDI messages handed to the unit, and render calls the unit refused. [any-thread]
    UInt64 EventsSent() const { return mSent.load(std::memory_order_relaxed); }
    UInt64 FailedRenders() const { return mFailedRenders.load(std::memory_order_relaxed); }

private:
    void Run();
    // Sleeps until the host time at which the slice from sample is to be rendered: where the
    // slice before it starts. [render-thread]
    void WaitForSlice(UInt64 sample) const;
    void WaitForDelivery() const;
    // Hands the unit every event before sliceEnd. [render-thread]
    void SendEvents(UInt64 sliceStart, UInt64 sliceEnd);
    void Send(Byte status, Byte data1, Byte data2, UInt32 offset);
    void SendClosingMessages();
    void Render(UInt64 sliceStart);

    UnitInstance& mUnit;
    const MIDISequence& mSong;
    const Settings mSettings;
    size_t mNext = 0; // the next event of mSong to send
    // Note ons not yet matched by a note off, per channel and key; the channels used.
    Byte mSounding[16][128] = {};
    bool mChannelUsed[16] = {};

    std::atomic<bool> mStopRequested{false};
    std::atomic<bool> mFinished{false};
    std::atomic<UInt64> mStartTime{0};
    std::atomic<UInt64> mPosition{0};
    std::atomic<UInt64> mSent{0};
    std::atomic<UInt64> mFailedRenders{0};
    std::thread mThread;
};
