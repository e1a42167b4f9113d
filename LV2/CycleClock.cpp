#include "CycleClock.h"

#include <algorithm>
#include <cmath>

CycleClock::CycleClock(Float64 sampleRate, Float64 ticksPerSecond)
    : mSampleRate(sampleRate), mNominalTicksPerFrame(ticksPerSecond / sampleRate),
      mOffLineTicks(kOffLineSeconds * ticksPerSecond), mTicksPerFrame(mNominalTicksPerFrame)
{
}

CycleClock::Cycle CycleClock::Next(UInt64 arrival, UInt32 frames)
{
    if (frames > 0 && frames != mCoefficientFrames)
        SetCoefficients(frames);
    const Float64 now = Float64(arrival);
    Float64 loopError = 0;
    Float64 start = now;
    if (mRunning)
        start = StartOf(now, loopError);
    else
        mOffLineRun = 0;
    mRunning = true;
    // Host times are positive: adding a half and truncating rounds them.
    const Cycle cycle{mSampleTime, UInt64(start + 0.5), mTicksPerFrame};

    mEnd = start + frames * mTicksPerFrame;
    mLastSpan = frames * mTicksPerFrame;
    mLastArrival = now;
    // The second-order loop, its coefficients for this cycle's length.
    mPredicted = mEnd + (frames > 0 ? mPhaseGain * loopError : 0);
    if (frames > 0) {
        // No audio clock runs a tenth off the host clock: nothing must drag the rate anywhere,
        // let alone below zero.
        mTicksPerFrame = std::clamp(mTicksPerFrame + mRateGain * loopError,
                                    mNominalTicksPerFrame * (1 - kMaxRateError),
                                    mNominalTicksPerFrame * (1 + kMaxRateError));
    }
    mSampleTime += frames;
    return cycle;
}

Float64 CycleClock::StartOf(Float64 now, Float64& loopError)
{
    const Float64 error = now - mPredicted;
    if (std::fabs(error) <= mOffLineTicks) {
        mOffLineRun = 0;
        loopError = error;
        return mPredicted;
    }
    if (error < 0 && now - mLastArrival < mLastSpan / 2) {
        // A host that renders faster than real time (an export, a benchmark): its cycles follow
        // each other at the audio clock's rate from the end of the one before, in order.
        mOffLineRun = 0;
        return std::fmax(now, mEnd);
    }
    if (std::fabs(error) > mPauseTicks) {
        // The host stopped calling for a while, or came back to real time after running ahead of
        // it: its timeline starts again here.
        mOffLineRun = 0;
        return now;
    }
    Float64 move = 0;
    return OffLine(error, move) ? mPredicted + move : mPredicted;
}

bool CycleClock::OffLine(Float64 error, Float64& move)
{
    const int side = error > 0 ? 1 : -1;
    if (mOffLineRun == 0 || side != mOffLineSide) {
        mOffLineRun = 0;
        mOffLineSide = side;
        mOffLineNearest = error;
    }
    mOffLineNearest =
        side > 0 ? std::fmin(mOffLineNearest, error) : std::fmax(mOffLineNearest, error);
    if (++mOffLineRun < kCyclesToMove)
        return false;
    move = mOffLineNearest;
    mOffLineRun = 0;
    return true;
}

void CycleClock::SetCoefficients(UInt32 frames)
{
    const Float64 omega = 2 * M_PI * kBandwidthHz * frames / mSampleRate;
    mPhaseGain = std::sqrt(2.0) * omega;
    mRateGain = omega * omega / frames;
    mPauseTicks =
        std::fmax(kPauseSeconds * mSampleRate, kPauseCycles * frames) * mNominalTicksPerFrame;
    mCoefficientFrames = frames;
}
