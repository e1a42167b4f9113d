// Feeds arbitrary bytes to the format parser as text and, read as a raw description, to the
// printing, naming and comparison operations, with output buffers of every small size.
#include "CAStreamBasicDescription.h"
#include "FuzzTarget.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Writes through an exactly sized heap buffer, so that AddressSanitizer catches any byte
// written past it, and checks that the text is terminated inside it.
template <typename Write> void CheckBounded(size_t size, Write write)
{
    std::vector<char> buffer(size);
    write(buffer.data(), size);
    if (size > 0 && std::memchr(buffer.data(), '\0', size) == nullptr) {
        abort();
    }
}

void ExerciseDescription(const CAStreamBasicDescription& desc, size_t size)
{
    for (bool brief : {false, true}) {
        CheckBounded(size, [&](char* buffer, size_t n) { desc.AsString(buffer, n, brief); });
    }
    for (int variant = 0; variant < 4; ++variant) {
        CheckBounded(size, [&](char* buffer, size_t n) {
            CAStreamBasicDescription::GetSimpleName(desc, buffer, static_cast<UInt32>(n),
                                                    (variant & 1) != 0, (variant & 2) != 0);
        });
    }
    CheckBounded(size,
                 [&](char* buffer, size_t n) { CAStringForOSType(desc.mFormatID, buffer, n); });

    CAStreamBasicDescription::CommonPCMFormat format;
    bool interleaved;
    desc.IdentifyCommonPCMFormat(format, &interleaved);
    SanityCheck(desc);
    desc.AlignmentIsSignificant();

    // Equality with wildcards is symmetric, and reflexive but for a NaN rate, which equals
    // nothing; ordering is irreflexive.
    CAStreamBasicDescription canonical = desc;
    canonical.SetAUCanonical(2, false);
    const bool reflexive = std::isnan(desc.mSampleRate) || desc == desc;
    if (!reflexive || (desc == canonical) != (canonical == desc) || desc < desc) {
        abort();
    }
    CAStreamBasicDescription::IsFunctionallyEquivalent(desc, canonical);
}

} // namespace

PLENKO_FUZZ_CLOSE_OUTPUT(false)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    AudioStreamBasicDescription parsed;
    if (CAStreamBasicDescription::FromText(text.c_str(), parsed)) {
        ExerciseDescription(parsed, 1 + size % 96);
    }

    if (size >= sizeof(AudioStreamBasicDescription) + 1) {
        AudioStreamBasicDescription raw;
        std::memcpy(&raw, data, sizeof(raw));
        ExerciseDescription(raw, data[sizeof(raw)] % 160);
    }
    return 0;
}
