// What the instrument tests share: an initialized test instrument with render calls on the
// test's thread (which makes it the render thread), and what a call writes to standard output.
#pragma once

#include "OutputCapture.h"
#include "TestBuffers.h"
#include "TestInstrument.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace instrument_test {

constexpr UInt32 kFrames = 512;

// What `call` writes to standard output, captured only while it runs so that the failure of a
// check after it still reaches the test's output.
template <class Call> std::string Lines(Call&& call)
{
    OutputCapture out(OutputCapture::kStdout);
    call();
    return out.Take();
}

class InstrumentTest : public ::testing::Test {
protected:
    // One render call of kFrames frames at the next sample time, on this thread.
    OSStatus Render()
    {
        AudioUnitRenderActionFlags flags = 0;
        return mUnit->DoRender(flags, test_support::SampleTime(mSampleTime += kFrames), 0, kFrames,
                               mBuffers.List());
    }
    // Makes this thread the render thread, as a host's first render call does.
    void BecomeRenderThread() { ASSERT_EQ(Render(), noErr); }

    std::unique_ptr<TestInstrument> mUnit = MakeInitialized(std::make_unique<TestInstrument>());
    test_support::TestBuffers mBuffers{kFrames};
    Float64 mSampleTime = 0;
};

} // namespace instrument_test
