// Access to the test bundles built beside the tests: puts their folder on the search path,
// rescans, and finds a fixture's component by subtype.
#pragma once

#include "OutputCapture.h"
#include "TinyUnit.h"

#include <AudioUnit/AudioComponent.h>

#include <cstdlib>
#include <string>

// What the scan of the fixture folder wrote to standard error.
inline std::string ScanFixtureBundles()
{
    setenv("AUDIO_COMPONENT_PATH", "/nonexistent/folder::" FIXTURE_BUNDLES_DIR, 1);
    OutputCapture errors(OutputCapture::kStderr);
    AudioComponentRescanBundles();
    return errors.Take();
}

inline AudioComponentDescription FixtureDescription(OSType subtype)
{
    return AudioComponentDescription{kTinyUnitType, subtype, kTinyUnitManufacturer, 0, 0};
}

inline AudioComponent FindFixture(OSType subtype)
{
    const AudioComponentDescription description = FixtureDescription(subtype);
    return AudioComponentFindNext(nullptr, &description);
}
