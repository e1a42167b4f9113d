#include "CycleClock.h"

#include <algorithm>
#include <cmath>

CycleClock::CycleClock(Float64 sampleRate, Float64 ticksPerSecond)
    : mSampleRate(sampleRate), mNominalTicksPerFrame(ticksPerSecond / sampleRate),
      mTicksPerFrame(mNominalTicksPerFrame)
{
}

CycleClock::Cycle CycleClock::Next(UInt64 arrival, UInt32 frames)
{
    const Float64 now = Float64(arrival);
    Float64 error = 0;
    Float64 start = now;
    if (mRunning) {
        error = now - mPredicted;
        if (frames != mCoefficientFrames)
            SetCoefficients(frames);
        const Float64 restartTicks = mRestartFrames * mTicksPerFrame;
        if (std::fabs(error) > restartTicks) {
            // Never before the end of the cycle before: a host that runs ahead of real time
            // gets stamps at the audio clock's rate, in order.
            start = std::fmax(now, mEnd);
            error = 0;
        } else {
            start = mPredicted;
        }
    }
    mRunning = true;
    // Host times are positive: adding a half and truncating rounds them.
    const Cycle cycle{mSampleTime, UInt64(start + 0.5), mTicksPerFrame};

    mEnd = start + frames * mTicksPerFrame;
    // The second-order loop, its coefficients for this cycle's length.
    if (frames > 0) {
        if (frames != mCoefficientFrames)
            SetCoefficients(frames);
        mPredicted = start + mPhaseGain * error + frames * mTicksPerFrame;
        // No audio clock runs a tenth off the host clock: a host that renders faster than real
        // time must not drag the rate anywhere, let alone below zero.
        mTicksPerFrame = std::clamp(mTicksPerFrame + mRateGain * error,
                                    mNominalTicksPerFrame * (1 - kMaxRateError),
                                    mNominalTicksPerFrame * (1 + kMaxRateError));
    } else {
        mPredicted = start;
    }
    mSampleTime += frames;
    return cycle;
}

void CycleClock::SetCoefficients(UInt32 frames)
{
    const Float64 omega = 2 * M_PI * kBandwidthHz * frames / mSampleRate;
    mPhaseGain = std::sqrt(2.0) * omega;
    mRateGain = omega * omega / frames;
    mRestartFrames = std::fmax(kRestartSeconds * mSampleRate, kRestartCycles * frames);
    mCoefficientFrames = frames;
}
