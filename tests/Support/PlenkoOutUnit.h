// The project's unit as tests, benchmarks and fuzz targets drive it: PlenkoOut.component from the
// build tree (PLENKO_BINARY_DIR), opened through the component host, with recording destinations
// made before it so that it lists them.
#pragma once

#include "HostedUnit.h"
#include "OutputCapture.h"
#include "RecordingDestination.h"

#include <memory>
#include <string>
#include <vector>

constexpr AudioComponentDescription kPlenkoOutDescription{
    0x61756D75 /* aumu */, 0x506F7574 /* Pout */, 0x506C6E6B /* Plnk */, 0, 0};

enum : AudioUnitParameterID { kTXDevice, kTXChannel, kPrgChange, kBankMSB, kBankLSB };

using Bytes = std::vector<Byte>;

class PlenkoOutRig {
public:
    // `destinations` recording destinations named "Synth 1", "Synth 2", ..., then the unit,
    // initialized unless asked not to.
    explicit PlenkoOutRig(size_t destinations = 1, bool initialize = true)
    {
        for (size_t i = 1; i <= destinations; ++i)
            mDestinations.push_back(
                std::make_unique<RecordingDestination>("Synth " + std::to_string(i)));
        mUnit = std::make_unique<HostedUnit>(PLENKO_BINARY_DIR, kPlenkoOutDescription, initialize);
    }

    HostedUnit& Unit() { return *mUnit; }
    RecordingDestination& Destination(size_t index) { return *mDestinations[index]; }
    void DisposeDestination(size_t index) { mDestinations[index].reset(); }
    // Sends to destination `index` from now on ("TX Device" index + 1).
    OSStatus Choose(size_t index) { return mUnit->SetParameter(kTXDevice, Float32(index + 1)); }

private:
    std::vector<std::unique_ptr<RecordingDestination>> mDestinations;
    std::unique_ptr<HostedUnit> mUnit;
};

// What the unit writes to standard output while `steps` run. The capture ends before the caller
// checks the text, so that the test framework's reports reach the real output.
template <typename Steps> std::string StdoutOf(Steps&& steps)
{
    OutputCapture out(OutputCapture::kStdout);
    steps();
    return out.Take();
}
