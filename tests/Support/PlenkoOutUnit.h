// The project's unit as tests, benchmarks and fuzz targets drive it: PlenkoOut.component from the
// build tree (PLENKO_BINARY_DIR), opened through the component host, with recording destinations
// made before it so that it lists them.
#pragma once

#include "CFText.h"
#include "MIDIRecorder.h"
#include "OutputCapture.h"
#include "Units/HostedUnit.h"

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

constexpr AudioComponentDescription kPlenkoOutDescription{
    0x61756D75 /* aumu */, 0x506F7574 /* Pout */, 0x506C6E6B /* Plnk */, 0, 0};

enum : AudioUnitParameterID { kTXDevice, kTXChannel, kPrgChange, kBankMSB, kBankLSB };

using Bytes = std::vector<Byte>;

// Puts the folder on the component host's search path and looks through it again, as a host
// started with AUDIO_COMPONENT_PATH set finds the bundles in it.
inline void FindBundlesIn(const std::string& folder)
{
    setenv("AUDIO_COMPONENT_PATH", folder.c_str(), 1);
    AudioComponentRescanBundles();
}

class PlenkoOutRig {
public:
    // `destinations` recording destinations named "Synth 1", "Synth 2", ..., then the unit,
    // initialized unless asked not to.
    explicit PlenkoOutRig(size_t destinations = 1, bool initialize = true)
    {
        for (size_t i = 1; i <= destinations; ++i)
            mDestinations.push_back(std::make_unique<MIDIRecorder>("Synth " + std::to_string(i)));
        FindBundlesIn(PLENKO_BINARY_DIR);
        mUnit = std::make_unique<HostedUnit>(kPlenkoOutDescription, initialize);
    }

    HostedUnit& Unit() { return *mUnit; }
    MIDIRecorder& Destination(size_t index) { return *mDestinations[index]; }
    void DisposeDestination(size_t index) { mDestinations[index].reset(); }
    // Sends to destination `index` from now on ("TX Device" index + 1).
    OSStatus Choose(size_t index) { return mUnit->SetParameter(kTXDevice, Float32(index + 1)); }

private:
    std::vector<std::unique_ptr<MIDIRecorder>> mDestinations;
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

// The text with every host time of the unit's log ("1:02:03 22050") written as "<time>", so that
// lines compare exactly.
inline std::string WithoutTimes(const std::string& text)
{
    const auto digits = [&](size_t at) {
        size_t end = at;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
            ++end;
        return end - at;
    };
    std::string out;
    for (size_t at = 0; at < text.size();) {
        size_t end = at + digits(at);
        const bool time = end > at && text.compare(end, 1, ":") == 0 && digits(end + 1) == 2 &&
                          text.compare(end + 3, 1, ":") == 0 && digits(end + 4) == 2 &&
                          text.compare(end + 6, 1, " ") == 0 && digits(end + 7) > 0;
        if (time) {
            out += "<time>";
            at = end + 7 + digits(end + 7);
        } else {
            out += text.substr(at, std::max<size_t>(end - at, 1));
            at = std::max(end, at + 1);
        }
    }
    return out;
}
