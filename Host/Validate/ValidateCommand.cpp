#include "ValidateCommand.h"

#include "CheckRunner.h"
#include "ValidationChecks.h"
#include "ValidationReport.h"

#include <CoreFoundation/CoreFoundation.h>

#include <chrono>
#include <iomanip>
#include <stdexcept>

namespace {

// Longer than any check takes on a sound unit, even in a sanitizer build.
constexpr std::chrono::seconds kTimeLimit{120};

std::string CodeText(OSType code)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text += char((code >> shift) & 0xFF);
    return text;
}

std::string ComponentName(AudioComponent component)
{
    CFStringRef name = nullptr;
    char text[256] = "";
    if (AudioComponentCopyName(component, &name) == noErr && name != nullptr) {
        CFStringGetCString(name, text, sizeof text, kCFStringEncodingUTF8);
        CFRelease(name);
    }
    return text;
}

void ListChecks(std::ostream& out)
{
    for (const ValidationCheck& check : ValidationChecks())
        out << std::setw(2) << check.mStrictness << "  " << std::left << std::setw(24)
            << check.mName << std::right << check.mDescription << '\n';
}

} // namespace

int RunValidation(const ValidateOptions& options, std::ostream& out)
{
    if (options.mList) {
        ListChecks(out);
        return 0;
    }
    const AudioComponentDescription& unit = options.mUnit;
    const std::string unitText = CodeText(unit.componentType) + " " +
                                 CodeText(unit.componentSubType) + " " +
                                 CodeText(unit.componentManufacturer);
    const AudioComponent component = AudioComponentFindNext(nullptr, &unit);
    if (component == nullptr)
        throw std::runtime_error("validate: no component " + unitText +
                                 " is installed (see auhost list)");
    const std::uint64_t seed =
        options.mSeed ? *options.mSeed
                      : std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    out << "Validating " << unitText << " \"" << ComponentName(component) << "\", strictness "
        << options.mStrictness << ", seed " << seed << '\n';

    const CheckRunner runner(component, seed, kTimeLimit, options.mUnitOutput);
    ValidationReport report(out);
    for (const ValidationCheck& check : ValidationChecks()) {
        const bool chosen = options.mOnly ? *options.mOnly == check.mName
                                          : check.mStrictness <= options.mStrictness;
        if (chosen)
            report.Add(check, runner.Run(check));
    }
    report.Summarize();
    return report.AllPassed() ? 0 : 1;
}
