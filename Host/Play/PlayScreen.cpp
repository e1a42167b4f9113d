#include "Play/PlayScreen.h"

#include <CoreAudio/HostTime.h>

namespace {

constexpr UInt64 kNanosPerMilli = 1000000;
constexpr const char* kClearLine = "\r\033[K";

} // namespace

PlayScreen::PlayScreen(std::ostream& out, bool progress, bool inPlace, bool arrivals)
    : mOut(out), mProgress(progress), mInPlace(inPlace), mArrivals(arrivals)
{
}

size_t PlayScreen::Update(MonitorCapture& capture, const std::string& progressText, bool force)
{
    mArrived.str("");
    const size_t count = capture.Drain(mArrivals ? &mArrived : nullptr);
    // Lines printed above the progress line take its place: it is drawn again below them.
    const bool displaced = count != 0 && mArrivals && mDrawn;
    if (count != 0 && mArrivals) {
        Clear();
        mOut << mArrived.str();
    }
    const UInt64 now = AudioGetCurrentHostTime();
    const UInt64 interval = (mInPlace ? 250 : 1000) * kNanosPerMilli;
    if (mProgress && !progressText.empty() &&
        (force || displaced || now - mLastDrawn >= interval)) {
        mLastDrawn = now;
        if (mInPlace) {
            mOut << kClearLine << progressText;
            mDrawn = true;
        } else {
            mOut << progressText << '\n';
        }
    }
    mOut.flush();
    return count;
}

void PlayScreen::Clear()
{
    if (mDrawn) {
        mOut << kClearLine;
        mDrawn = false;
    }
}
