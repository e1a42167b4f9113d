// Plays a MIDI sequence through a unit as a host's audio thread does: a render thread that, for
// each slice of blockFrames samples, hands the unit every event falling in that slice with its
// sample offset and then renders the slice. In real time each slice is rendered at the absolute
// deadline on the host clock where the slice before it starts, one slice ahead, so waking late
// never accumulates into drift; offline slices follow each other as fast as the destination
// takes them. At the end, or when asked to stop, everything still sounding is silenced in one
// last rendered slice (SoundingState).
#pragma once

#include "MIDIFile/MIDISequence.h"
#include "Play/SoundingState.h"
#include "Units/UnitInstance.h"

#include <atomic>
#include <thread>

class Player {
public:
    // Offline play waits while more than this many messages are on their way to the destination,
    // which keeps the MIDI services' queue and the destination's own buffers from filling.
    static constexpr UInt64 kMaxInFlight = 1000;
    // Offline play to a destination that delivers at the stamps renders at most this far ahead
    // of them, so that a stop is heard at once and not after what was sent ahead of it.
    static constexpr UInt64 kMaxPacedLeadNanos = 1000000000;

    struct Settings {
        UInt32 mSampleRate = 44100;
        UInt32 mBlockFrames = 512;
        bool mOffline = false;
        // Offline, the destination delivers each message at its stamp, not when it is sent.
        bool mPacedByStamps = false;
        // Samples rendered before the song's first, so that every message is sent at least this
        // long before its stamp: how a host makes room for a destination that is to deliver
        // earlier than the stamps.
        UInt64 mLeadSamples = 0;
        // Messages the unit sends of its own besides those it is handed (bank and program).
        UInt64 mUnitMessages = 0;
        // Offline: the count of messages the destination has delivered or counted as lost, to
        // wait for; null when it cannot be known.
        const std::atomic<UInt64>* mSettled = nullptr;
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
    // The host time of the song's start: the start time plus the lead. [any-thread]
    UInt64 SongStartTime() const;
    // Samples of the song rendered so far, the lead not counted. [any-thread]
    UInt64 SongPosition() const;
    // Samples rendered so far, the lead counted. [any-thread]
    UInt64 Position() const { return mPosition.load(std::memory_order_relaxed); }
    // MIDI messages handed to the unit (the closing ones among them), SysEx and escaped events
    // handed to it, and render calls the unit refused. [any-thread]
    UInt64 EventsSent() const { return mSent.load(std::memory_order_relaxed); }
    UInt64 SysExEvents() const { return mSysEx.load(std::memory_order_relaxed); }
    UInt64 FailedRenders() const { return mFailedRenders.load(std::memory_order_relaxed); }
    // True while offline play waits for the destination. [any-thread]
    bool Waiting() const { return mWaiting.load(std::memory_order_relaxed); }
    // Whether the render thread got real-time scheduling; known once StartTime is. [any-thread]
    bool RealTime() const { return mRealTime.load(std::memory_order_relaxed); }

private:
    void Run();
    // Sleeps until the slice from sample is to be rendered. [render-thread]
    void WaitForSlice(UInt64 sample);
    void WaitForDelivery();
    // Hands the unit every event before sliceEnd. [render-thread]
    void SendEvents(UInt64 sliceStart, UInt64 sliceEnd);
    void Send(Byte status, Byte data1, Byte data2, UInt32 offset);
    void Render(UInt64 sliceStart);
    UInt64 Nanoseconds(UInt64 samples) const;

    UnitInstance& mUnit;
    const MIDISequence& mSong;
    const Settings mSettings;
    size_t mNext = 0; // the next event of mSong to send
    SoundingState mSounding;

    std::atomic<bool> mStopRequested{false};
    std::atomic<bool> mFinished{false};
    std::atomic<bool> mWaiting{false};
    std::atomic<bool> mRealTime{false};
    std::atomic<UInt64> mStartTime{0};
    std::atomic<UInt64> mPosition{0};
    std::atomic<UInt64> mSent{0};
    std::atomic<UInt64> mSysEx{0};
    std::atomic<UInt64> mFailedRenders{0};
    std::thread mThread;
};
