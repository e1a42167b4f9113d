// The unit a plug-in carries inside its own folder, opened through the component host from that
// bundle (no search path involved) and ended with it. Everything else the adapter asks of it goes
// through the host calls on Unit().
#pragma once

#include <AudioUnit/AudioComponent.h>
#include <AudioUnit/AudioUnit.h>

#include <string>

class BundledUnit {
public:
    // Opens the component described from the bundle folder. Throws std::runtime_error naming the
    // bundle and what failed. [host-thread]
    BundledUnit(const std::string& componentBundle, const AudioComponentDescription& description);
    // Uninitializes the unit if it is initialized, then disposes it. [host-thread]
    ~BundledUnit();
    BundledUnit(const BundledUnit&) = delete;
    BundledUnit& operator=(const BundledUnit&) = delete;

    AudioUnit Unit() const { return mUnit; }
    AudioComponent Component() const { return mComponent; }

    // Sample rate of the output and the largest render call, then Initialize. Throws
    // std::runtime_error. [host-thread]
    void Initialize(Float64 sampleRate, UInt32 maxFrames);

private:
    std::string mBundle;
    AudioComponent mComponent = nullptr;
    AudioUnit mUnit = nullptr;
    bool mInitialized = false;
};
