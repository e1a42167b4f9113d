#include "Player.h"

#include <CoreAudio/HostTime.h>

#include <cerrno>
#include <pthread.h>
#include <time.h>

namespace {

constexpr UInt64 kNanosPerSecond = 1000000000;
constexpr Byte kAllNotesOff = 123;

// Asks for the scheduling an audio thread gets; without the privilege the thread plays on at
// normal priority.
void TryRealTimePriority()
{
    sched_param parameter{};
    parameter.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameter);
}

void SleepUntil(UInt64 hostTime)
{
    const timespec deadline{time_t(hostTime / kNanosPerSecond), long(hostTime % kNanosPerSecond)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

} // namespace

Player::Player(UnitInstance& unit, const MIDISequence& song, const Settings& settings)
    : mUnit(unit), mSong(song), mSettings(settings)
{
}

Player::~Player()
{
    RequestStop();
    Join();
}

void Player::Start()
{
    mThread = std::thread(&Player::Run, this);
}

void Player::Join()
{
    if (mThread.joinable()) {
        mThread.join();
    }
}

void Player::Run()
{
    if (!mSettings.mOffline) {
        TryRealTimePriority();
    }
    const UInt64 block = mSettings.mBlockFrames;
    UInt64 sliceStart = 0;
    for (; !mStopRequested.load(std::memory_order_relaxed); sliceStart += block) {
        if (mNext == mSong.mEvents.size() && sliceStart >= mSong.mLengthSamples) {
            break;
        }
        WaitForSlice(sliceStart);
        SendEvents(sliceStart, sliceStart + block);
        Render(sliceStart);
    }
    WaitForSlice(sliceStart);
    SendClosingMessages();
    Render(sliceStart);
    mFinished.store(true, std::memory_order_release);
}

void Player::WaitForSlice(UInt64 sample) const
{
    if (mSettings.mOffline) {
        WaitForDelivery();
        return;
    }
    // A slice is rendered while the one before it plays, as an audio thread fills the next
    // buffer ahead of the hardware: its messages reach the destination at least a slice before
    // they are due, so a late wake-up of this thread (which seldom gets real-time priority) does
    // not make them late. The first slice starts the clock, and the second follows at once.
    const UInt64 block = mSettings.mBlockFrames;
    if (sample <= block) {
        return;
    }
    // Exact to the nanosecond from the start, however long the piece: no step is added up.
    __extension__ typedef unsigned __int128 UInt128;
    const auto offset = UInt64(UInt128(sample - block) * kNanosPerSecond / mSettings.mSampleRate);
    SleepUntil(mStartTime.load(std::memory_order_relaxed) + offset);
}

void Player::WaitForDelivery() const
{
    if (mSettings.mDelivered == nullptr) {
        return;
    }
    constexpr timespec kPause{0, 1000000};
    while (mSent.load(std::memory_order_relaxed) >
               mSettings.mDelivered->load(std::memory_order_acquire) + kMaxInFlight &&
           !mStopRequested.load(std::memory_order_relaxed)) {
        nanosleep(&kPause, nullptr);
    }
}

void Player::SendEvents(UInt64 sliceStart, UInt64 sliceEnd)
{
    for (; mNext < mSong.mEvents.size() && mSong.mEvents[mNext].mSample < sliceEnd; ++mNext) {
        const MIDIFileEvent& event = mSong.mEvents[mNext];
        const auto offset = UInt32(event.mSample > sliceStart ? event.mSample - sliceStart : 0);
        if (event.mStatus == kSysExStatus) {
            // As the file has it; the unit decides what becomes of it.
            mUnit.SysEx(mSong.Payload(event), event.mPayloadLength);
        } else if (event.IsChannelMessage()) {
            Send(event.mStatus, event.mData1, event.mData2, offset);
        }
    }
}

void Player::Send(Byte status, Byte data1, Byte data2, UInt32 offset)
{
    const Byte channel = status & 0x0F;
    const Byte type = status & 0xF0;
    mChannelUsed[channel] = true;
    Byte& sounding = mSounding[channel][data1 & 0x7F];
    if (type == 0x90 && data2 != 0) {
        sounding = Byte(sounding < 0xFF ? sounding + 1 : sounding);
    } else if ((type == 0x80 || type == 0x90) && sounding > 0) {
        --sounding;
    }
    mUnit.MIDIEvent(status, data1, data2, offset);
    mSent.fetch_add(1, std::memory_order_relaxed);
}

void Player::SendClosingMessages()
{
    for (Byte channel = 0; channel < 16; ++channel) {
        for (Byte key = 0; key < 128; ++key) {
            // A key struck twice without its note off between gets as many note offs.
            while (mSounding[channel][key] > 0) {
                Send(Byte(0x80 | channel), key, 0, 0);
            }
        }
    }
    for (Byte channel = 0; channel < 16; ++channel) {
        if (mChannelUsed[channel]) {
            Send(Byte(0xB0 | channel), kAllNotesOff, 0, 0);
        }
    }
}

void Player::Render(UInt64 sliceStart)
{
    if (sliceStart == 0) {
        // As close as the host can come to the moment the unit anchors its clock.
        mStartTime.store(AudioGetCurrentHostTime(), std::memory_order_release);
    }
    if (mUnit.Render(Float64(sliceStart), mSettings.mBlockFrames) != noErr) {
        mFailedRenders.fetch_add(1, std::memory_order_relaxed);
    }
    mPosition.store(sliceStart + mSettings.mBlockFrames, std::memory_order_relaxed);
}
