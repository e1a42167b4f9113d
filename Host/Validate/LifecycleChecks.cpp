// Opening and closing as hosts do it: cold and warm, with and without initializing, twice over.
#include "CheckBodies.h"
#include "UnitUnderTest.h"

#include <chrono>
#include <cstdio>

namespace {

constexpr int kCycles = 100;

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Milliseconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", value);
    return text;
}

// Expects `status` to be `expected`, naming the call.
void ExpectStatus(ValidationContext& context, OSStatus status, OSStatus expected,
                  const std::string& call)
{
    context.Expect(status == expected, call + " returned " + std::to_string(status) +
                                           ", expected " + std::to_string(expected));
}

} // namespace

void CheckOpenClose(ValidationContext& context)
{
    auto start = Clock::now();
    {
        UnitUnderTest cold(context.Component());
    }
    const double coldOpen = MillisecondsSince(start);
    start = Clock::now();
    {
        UnitUnderTest warm(context.Component());
    }
    const double warmOpen = MillisecondsSince(start);

    UnitUnderTest unit(context.Component());
    ExpectStatus(context, unit.Render(64), kAudioUnitErr_Uninitialized,
                 "a render call before initialize");
    ExpectStatus(context, unit.Initialize(), noErr, "initialize");
    ExpectStatus(context, unit.Initialize(), noErr, "initialize of an initialized unit");
    ExpectStatus(context, unit.Uninitialize(), noErr, "uninitialize");
    ExpectStatus(context, unit.Uninitialize(), noErr, "uninitialize of an uninitialized unit");
    unit.Prepare();
    ExpectStatus(context, unit.Render(512), noErr,
                 "a render call after uninitialize and initialize again");
    context.Note("cold open and close " + Milliseconds(coldOpen) + ", warm " +
                 Milliseconds(warmOpen));
}

void CheckInfo(ValidationContext& context)
{
    const AudioComponent component = context.Component();
    AudioComponentDescription description{};
    if (context.Expect(AudioComponentGetDescription(component, &description) == noErr,
                       "the component's description cannot be read")) {
        context.Expect(description.componentType != 0 && description.componentSubType != 0 &&
                           description.componentManufacturer != 0,
                       "the component's description has a zero code");
    }
    CFStringRef name = nullptr;
    const OSStatus nameStatus = AudioComponentCopyName(component, &name);
    if (context.Expect(nameStatus == noErr && name != nullptr,
                       "the component's name cannot be read (status " + std::to_string(nameStatus) +
                           ")")) {
        context.Expect(CFStringGetLength(name) > 0, "the component's name is empty");
        CFRelease(name);
    }
    UInt32 version = 0;
    const OSStatus versionStatus = AudioComponentGetVersion(component, &version);
    context.Expect(versionStatus == noErr && version != 0,
                   "the component's version is " + std::to_string(version) + " (status " +
                       std::to_string(versionStatus) + ")");

    UnitUnderTest unit(component);
    context.Expect(AudioComponentInstanceGetComponent(unit.Unit()) == component,
                   "an instance does not name the component it was made from");
    char text[64];
    std::snprintf(text, sizeof text, "version %u.%u.%u", version >> 16, (version >> 8) & 0xFF,
                  version & 0xFF);
    context.Note(text);
}

void CheckOpenCloseCycles(ValidationContext& context)
{
    double longest = 0;
    double total = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        const auto start = Clock::now();
        UnitUnderTest unit(context.Component());
        const double open = MillisecondsSince(start);
        total += open;
        longest = std::max(longest, open);
        unit.Prepare(44100, 512);
        const OSStatus status = unit.Render(512);
        if (!context.Expect(status == noErr, "cycle " + std::to_string(cycle + 1) +
                                                 ": render returned " + std::to_string(status)))
            return;
    }
    context.Note(std::to_string(kCycles) + " cycles, open " + Milliseconds(total / kCycles) +
                 " on average, " + Milliseconds(longest) + " at most");
}
