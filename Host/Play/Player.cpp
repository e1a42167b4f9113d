#include "Play/Player.h"

#include <CoreAudio/HostTime.h>
#include <RealTimeScheduling.h>

#include <cerrno>
#include <time.h>

namespace {

constexpr UInt64 kNanosPerSecond = 1000000000;

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

UInt64 Player::SongStartTime() const
{
    const UInt64 start = StartTime();
    return start == 0 ? 0 : start + Nanoseconds(mSettings.mLeadSamples);
}

UInt64 Player::SongPosition() const
{
    const UInt64 position = Position();
    return position > mSettings.mLeadSamples ? position - mSettings.mLeadSamples : 0;
}

UInt64 Player::Nanoseconds(UInt64 samples) const
{
    // Exact to the nanosecond from the start, however long the piece: no step is added up.
    __extension__ typedef unsigned __int128 UInt128;
    return UInt64(UInt128(samples) * kNanosPerSecond / mSettings.mSampleRate);
}

void Player::Run()
{
    if (!mSettings.mOffline) {
        // The scheduling an audio thread gets, below the JACK server's own threads; without the
        // privilege the thread plays on at normal priority.
        mRealTime.store(RequestRealTimeScheduling(kRealTimePriorityRender) != 0,
                        std::memory_order_relaxed);
    }
    const UInt64 block = mSettings.mBlockFrames;
    const UInt64 songEnd = mSong.mLengthSamples + mSettings.mLeadSamples;
    UInt64 sliceStart = 0;
    for (; !mStopRequested.load(std::memory_order_relaxed); sliceStart += block) {
        if (mNext == mSong.mEvents.size() && sliceStart >= songEnd) {
            break;
        }
        WaitForSlice(sliceStart);
        SendEvents(sliceStart, sliceStart + block);
        Render(sliceStart);
    }
    WaitForSlice(sliceStart);
    mSounding.Silence([this](Byte status, Byte data1, Byte data2) {
        mUnit.MIDIEvent(status, data1, data2, 0);
        mSent.fetch_add(1, std::memory_order_relaxed);
    });
    Render(sliceStart);
    mFinished.store(true, std::memory_order_release);
}

void Player::WaitForSlice(UInt64 sample)
{
    const UInt64 lead = mSettings.mLeadSamples;
    const UInt64 start = mStartTime.load(std::memory_order_relaxed);
    if (mSettings.mOffline) {
        WaitForDelivery();
        if (mSettings.mPacedByStamps && sample > 0 && !mStopRequested.load()) {
            // The slice's messages are delivered a lead earlier than their stamps.
            const UInt64 ahead = Nanoseconds(lead) + kMaxPacedLeadNanos;
            const UInt64 due = start + Nanoseconds(sample);
            mWaiting.store(true, std::memory_order_relaxed);
            SleepUntil(due > ahead ? due - ahead : 0);
            mWaiting.store(false, std::memory_order_relaxed);
        }
        return;
    }
    // A slice is rendered while the one before it plays, as an audio thread fills the next
    // buffer ahead of the hardware, and a lead earlier still: its messages reach the destination
    // at least a slice before they are to be delivered, so a late wake-up of this thread does
    // not make them late. The first slice starts the clock, and those up to the lead and one more
    // follow at once.
    const UInt64 ahead = mSettings.mBlockFrames + lead;
    if (sample <= ahead) {
        return;
    }
    SleepUntil(start + Nanoseconds(sample - ahead));
}

void Player::WaitForDelivery()
{
    if (mSettings.mSettled == nullptr) {
        return;
    }
    constexpr timespec kPause{0, 200000};
    const auto inFlight = [this] {
        const UInt64 sent = mSettings.mUnitMessages + mSent.load(std::memory_order_relaxed);
        const UInt64 settled = mSettings.mSettled->load(std::memory_order_acquire);
        return sent > settled ? sent - settled : 0;
    };
    while (inFlight() > kMaxInFlight && !mStopRequested.load(std::memory_order_relaxed)) {
        mWaiting.store(true, std::memory_order_relaxed);
        nanosleep(&kPause, nullptr);
    }
    mWaiting.store(false, std::memory_order_relaxed);
}

void Player::SendEvents(UInt64 sliceStart, UInt64 sliceEnd)
{
    const UInt64 lead = mSettings.mLeadSamples;
    for (; mNext < mSong.mEvents.size() && mSong.mEvents[mNext].mSample + lead < sliceEnd;
         ++mNext) {
        const MIDIFileEvent& event = mSong.mEvents[mNext];
        const UInt64 sample = event.mSample + lead;
        const auto offset = UInt32(sample > sliceStart ? sample - sliceStart : 0);
        if (event.IsSysEx()) {
            // As the file has it; the unit decides what becomes of it.
            if (event.mStatus == kSysExStatus) {
                mUnit.SysEx(mSong.Payload(event), event.mPayloadLength);
            }
            mSysEx.fetch_add(1, std::memory_order_relaxed);
        } else if (event.IsChannelMessage()) {
            Send(event.mStatus, event.mData1, event.mData2, offset);
        }
    }
}

void Player::Send(Byte status, Byte data1, Byte data2, UInt32 offset)
{
    mSounding.Track(status, data1, data2);
    mUnit.MIDIEvent(status, data1, data2, offset);
    mSent.fetch_add(1, std::memory_order_relaxed);
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
